#include "platform/IniFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

struct TLine {
    qsizetype Start = 0; // first byte
    qsizetype End = 0; // one past the last byte before the line end
    qsizetype Next = 0; // first byte of the next line
};

enum class TKind { Other, Section, Key };

struct TParsed {
    TKind Kind = TKind::Other;
    QByteArray Name; // section or key name, trimmed
    qsizetype ValueStart = 0; // key lines: first byte of the value (after '=' and blanks)
};

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

char FoldAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Only ASCII letters fold, as in the rest of the program.
bool SameName(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

QByteArray Trimmed(const QByteArray& content, qsizetype from, qsizetype to)
{
    while (from < to && IsBlank(content[from])) {
        ++from;
    }
    while (to > from && IsBlank(content[to - 1])) {
        --to;
    }
    return content.mid(from, to - from);
}

std::vector<TLine> SplitLines(const QByteArray& content)
{
    std::vector<TLine> lines;
    qsizetype start = 0;
    while (start < content.size()) {
        const qsizetype newline = content.indexOf('\n', start);
        TLine line;
        line.Start = start;
        if (newline < 0) {
            line.End = line.Next = content.size();
        } else {
            line.End = newline > start && content[newline - 1] == '\r' ? newline - 1 : newline;
            line.Next = newline + 1;
        }
        lines.push_back(line);
        start = line.Next;
    }
    return lines;
}

TParsed Parse(const QByteArray& content, const TLine& line)
{
    qsizetype from = line.Start;
    if (from == 0 && content.startsWith("\xEF\xBB\xBF")) {
        from = 3;
    }
    while (from < line.End && IsBlank(content[from])) {
        ++from;
    }
    TParsed parsed;
    if (from >= line.End || content[from] == ';' || content[from] == '#') {
        return parsed;
    }
    if (content[from] == '[') {
        qsizetype close = content.indexOf(']', from);
        if (close < 0 || close > line.End) {
            close = line.End;
        }
        parsed.Kind = TKind::Section;
        parsed.Name = Trimmed(content, from + 1, close);
        return parsed;
    }
    const qsizetype equals = content.indexOf('=', from);
    if (equals < 0 || equals >= line.End) {
        return parsed;
    }
    parsed.Kind = TKind::Key;
    parsed.Name = Trimmed(content, from, equals);
    parsed.ValueStart = equals + 1;
    while (parsed.ValueStart < line.End && IsBlank(content[parsed.ValueStart])) {
        ++parsed.ValueStart;
    }
    return parsed;
}

// Where a key stands: in the first section of that name only (a later one of the same name is not
// read), -1 where there is none. LastKey is the section's last key line before the key or, without
// it, in the whole section.
struct TKeyPlace {
    qsizetype Section = -1;
    qsizetype Key = -1;
    qsizetype LastKey = -1;
    qsizetype ValueStart = 0; // of the key's line
};

TKeyPlace FindKey(const QByteArray& content, const std::vector<TLine>& lines, const QByteArray& section,
                  const QByteArray& key)
{
    TKeyPlace place;
    for (qsizetype i = 0; i < static_cast<qsizetype>(lines.size()); ++i) {
        const TParsed parsed = Parse(content, lines[i]);
        if (parsed.Kind == TKind::Section) {
            if (place.Section >= 0) {
                break;
            }
            if (SameName(parsed.Name, section)) {
                place.Section = i;
            }
            continue;
        }
        if (place.Section < 0 || parsed.Kind != TKind::Key) {
            continue;
        }
        if (SameName(parsed.Name, key)) {
            place.Key = i;
            place.ValueStart = parsed.ValueStart;
            return place;
        }
        place.LastKey = i;
    }
    return place;
}

// A name or value must stay on its line.
QByteArray OneLine(QByteArray text)
{
    text.replace('\r', ' ');
    text.replace('\n', ' ');
    return text;
}

bool ReadWholeFile(const QString& path, QByteArray& content, bool& exists)
{
    QFile file(path);
    exists = file.exists();
    if (!exists) {
        content.clear();
        return true;
    }
    // Only a regular file is a settings file; a device could stream without end.
    struct stat st { };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode) ||
        !file.open(QIODevice::ReadOnly)) {
        return false;
    }
    content = file.readAll();
    return file.error() == QFileDevice::NoError;
}

[[noreturn]] void RefuseWrite(const QString& path)
{
    throw std::runtime_error(("Unable to write to " + path).toLocal8Bit().toStdString());
}

bool WriteAll(int fd, const QByteArray& content)
{
    qsizetype done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.constData() + done, static_cast<size_t>(content.size() - done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += n;
    }
    return true;
}

// The new content goes to a temporary file beside the old one, which a rename then replaces in one step:
// a failure at any point leaves the old file as it was.
void ReplaceFile(const QString& path, const QByteArray& content)
{
    std::string target = QFile::encodeName(path).toStdString();
    struct stat link { };
    if (::lstat(target.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        // Replace the file the link points to, not the link.
        if (char* real = ::realpath(target.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }
    struct stat old { };
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists &&
        (!S_ISREG(old.st_mode) || (old.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0)) {
        // A read-only settings file is refused even for root, who could otherwise replace it.
        RefuseWrite(path);
    }
    const std::string::size_type slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temporary = folder + (slash == std::string::npos ? "/." : ".") + name + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        RefuseWrite(path);
    }
    mode_t mode = 0;
    if (exists) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    bool ok = WriteAll(fd, content) && ::fchmod(fd, mode) == 0;
    if (ok && exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())) {
        // Keeping the owner only works for root; anyone else keeps their own file.
        [[maybe_unused]] const int ignored = ::fchown(fd, old.st_uid, old.st_gid);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        RefuseWrite(path);
    }
}

} // namespace

bool ParseProfileInteger(const QByteArray& text, int& value)
{
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        const QByteArray digits = text.mid(2);
        unsigned long long result = 0;
        for (const char c : digits) {
            int digit = 0;
            if (c >= '0' && c <= '9') {
                digit = c - '0';
            } else if (FoldAscii(c) >= 'a' && FoldAscii(c) <= 'f') {
                digit = FoldAscii(c) - 'a' + 10;
            } else {
                return false;
            }
            result = result * 16 + static_cast<unsigned long long>(digit);
            if (result > 0xFFFFFFFFull) {
                return false;
            }
        }
        value = static_cast<int>(static_cast<unsigned int>(result));
        return true;
    }
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size()) {
        return false;
    }
    long long result = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
        result = result * 10 + (text[i] - '0');
        if (result > static_cast<long long>(INT_MAX) + 1) {
            return false;
        }
    }
    result = negative ? -result : result;
    if (result > INT_MAX) {
        return false;
    }
    value = static_cast<int>(result);
    return true;
}

QByteArray SetProfileString(const QByteArray& content, const QByteArray& section, const QByteArray& key,
                            const QByteArray& value)
{
    const QByteArray cleanSection = OneLine(section);
    const QByteArray cleanKey = OneLine(key);
    const QByteArray cleanValue = OneLine(value);
    const qsizetype firstNewline = content.indexOf('\n');
    const QByteArray eol = firstNewline > 0 && content[firstNewline - 1] == '\r' ? "\r\n" : "\n";

    const std::vector<TLine> lines = SplitLines(content);
    const TKeyPlace place = FindKey(content, lines, cleanSection, cleanKey);
    QByteArray result = content;
    if (place.Key >= 0) {
        result.replace(place.ValueStart, lines[place.Key].End - place.ValueStart, cleanValue);
        return result;
    }
    if (place.Section < 0) {
        if (!result.isEmpty() && !result.endsWith('\n')) {
            result += eol;
        }
        return result + '[' + cleanSection + ']' + eol + cleanKey + '=' + cleanValue + eol;
    }
    // A new key goes after the section's last key, before blank lines and comments that lead to the next one.
    const TLine& after = lines[place.LastKey >= 0 ? place.LastKey : place.Section];
    QByteArray inserted = cleanKey + '=' + cleanValue + eol;
    if (after.Next == after.End) {
        inserted.prepend(eol); // the line had no line end: it was the file's last
    }
    result.insert(after.Next, inserted);
    return result;
}

TIniFile::TIniFile(const QString& fileName)
    : FFileName(QFileInfo(fileName).absoluteFilePath())
{
}

QString TIniFile::ReadString(const QString& section, const QString& key, const QString& def) const
{
    QByteArray content;
    bool exists = false;
    if (!ReadWholeFile(FFileName, content, exists) || !exists) {
        return def;
    }
    const std::vector<TLine> lines = SplitLines(content);
    const TKeyPlace place = FindKey(content, lines, section.toLocal8Bit(), key.toLocal8Bit());
    if (place.Key < 0) {
        return def;
    }
    QByteArray value = Trimmed(content, place.ValueStart, lines[place.Key].End);
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
        value = value.mid(1, value.size() - 2);
    }
    return QString::fromLocal8Bit(value.left(ValueBufferSize - 1));
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int def) const
{
    int value = 0;
    return ParseProfileInteger(ReadString(section, key, QString()).toLocal8Bit(), value) ? value : def;
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value)
{
    QByteArray content;
    bool exists = false;
    // A file that exists but cannot be read must not be replaced by one holding only this key.
    if (!ReadWholeFile(FFileName, content, exists)) {
        RefuseWrite(FFileName);
    }
    ReplaceFile(FFileName,
                SetProfileString(content, section.toLocal8Bit(), key.toLocal8Bit(), value.toLocal8Bit()));
}

void TIniFile::WriteStrings(const QString& section, const std::vector<std::pair<QString, QString>>& values)
{
    QByteArray content;
    bool exists = false;
    if (!ReadWholeFile(FFileName, content, exists)) {
        RefuseWrite(FFileName);
    }
    const QByteArray sectionBytes = section.toLocal8Bit();
    for (const auto& [key, value] : values) {
        content = SetProfileString(content, sectionBytes, key.toLocal8Bit(), value.toLocal8Bit());
    }
    ReplaceFile(FFileName, content);
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value)
{
    WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value)
{
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}
