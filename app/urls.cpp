#include "app/urls.h"

#include "platform/Shell.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>

#include <chrono>
#include <future>
#include <mutex>

namespace {

QStringList FolderList(const char* variable, const QString& fallback)
{
    QString value = qEnvironmentVariable(variable);
    if (value.isEmpty()) {
        value = fallback;
    }
    QStringList folders;
    for (const QString& folder : value.split(':', Qt::SkipEmptyParts)) {
        // The XDG rules ignore relative entries.
        if (QDir::isAbsolutePath(folder)) {
            folders << QDir::cleanPath(folder);
        }
    }
    return folders;
}

QString SingleFolder(const char* variable, const QString& fallback)
{
    const QStringList folders = FolderList(variable, fallback);
    return folders.isEmpty() ? QDir::cleanPath(fallback) : folders.first();
}

// The general string escapes of desktop entries.
QString Unescape(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c != '\\' || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar next = value[++i];
        switch (next.unicode()) {
        case 's':
            out += ' ';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        case '\\':
            out += '\\';
            break;
        default:
            out += c;
            out += next;
            break;
        }
    }
    return out;
}

// Reads "key=value" lines of one [group] of a desktop-entry style file, in file order.
QList<std::pair<QString, QString>> ReadGroup(const QString& path, const QString& group)
{
    QList<std::pair<QString, QString>> entries;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return entries;
    }
    QTextStream in(&file);
    bool inGroup = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith('#')) {
            continue;
        }
        if (line.startsWith('[')) {
            inGroup = line == '[' + group + ']';
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (inGroup && equals > 0) {
            entries.append({line.left(equals).trimmed(), line.mid(equals + 1).trimmed()});
        }
    }
    return entries;
}

QStringList MimeAppsFiles(const TXdgFolders& folders)
{
    QStringList configFolders{folders.ConfigHome};
    configFolders += folders.ConfigDirs;
    QStringList dataFolders{folders.DataHome};
    dataFolders += folders.DataDirs;
    for (QString& folder : dataFolders) {
        folder += "/applications";
    }
    QStringList files;
    for (const QString& folder : configFolders + dataFolders) {
        for (const QString& desktop : folders.CurrentDesktops) {
            files << folder + '/' + desktop + "-mimeapps.list";
        }
        files << folder + "/mimeapps.list";
    }
    return files;
}

bool NamesProgram(const QString& path)
{
    if (path.isEmpty()) {
        return false;
    }
    if (path.contains('/')) {
        return QFileInfo(path).isFile();
    }
    return !QStandardPaths::findExecutable(path).isEmpty();
}

// The shell service splits its command into words; a path with blanks must stay one word.
QString AsCommand(const QString& program)
{
    if (!program.contains(' ') && !program.contains('\t') && !program.contains('"')) {
        return program;
    }
    QString quoted = program;
    quoted.replace("\"", "\"\"\"");
    return '"' + quoted + '"';
}

} // namespace

std::function<QString()> DesktopBrowserQuestion = AskXdgSettings;

TXdgFolders TXdgFolders::FromEnvironment()
{
    const QString home = QDir::homePath();
    TXdgFolders folders;
    folders.ConfigHome = SingleFolder("XDG_CONFIG_HOME", home + "/.config");
    folders.ConfigDirs = FolderList("XDG_CONFIG_DIRS", "/etc/xdg");
    folders.DataHome = SingleFolder("XDG_DATA_HOME", home + "/.local/share");
    folders.DataDirs = FolderList("XDG_DATA_DIRS", "/usr/local/share:/usr/share");
    for (const QString& desktop :
         qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(':', Qt::SkipEmptyParts)) {
        folders.CurrentDesktops << desktop.toLower();
    }
    return folders;
}

QString StripFieldCodes(const QString& exec)
{
    static const QString codes = QStringLiteral("uUfFickdDnNvm");
    QString out;
    out.reserve(exec.size());
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (c != '%' || i + 1 == exec.size()) {
            out += c;
            continue;
        }
        const QChar code = exec[i + 1];
        ++i;
        if (code == '%') {
            out += '%';
        } else if (codes.contains(code)) {
            // A code standing as its own word takes the space before it along.
            const bool wordEnds = i + 1 == exec.size() || exec[i + 1].isSpace();
            if (wordEnds) {
                while (out.endsWith(' ') || out.endsWith('\t')) {
                    out.chop(1);
                }
            }
        } else {
            out += c;
            out += code;
        }
    }
    return out.trimmed();
}

QString CleanBrowserCommand(const QString& command, const std::function<bool(const QString&)>& fileExists)
{
    QString cleaned = command;
    if (cleaned.startsWith('"')) {
        // The path ends at its closing mark. Cutting at the last mark instead would keep
        // the switches of "path" -x "%1" as part of the path.
        cleaned.remove(0, 1);
        if (const qsizetype quote = cleaned.indexOf('"'); quote >= 0) {
            cleaned.truncate(quote);
        }
    } else if (cleaned.endsWith('"')) {
        cleaned.truncate(cleaned.indexOf('"'));
        cleaned = cleaned.trimmed();
        if (!fileExists(cleaned)) {
            if (const qsizetype space = cleaned.lastIndexOf(' '); space >= 1) {
                cleaned.truncate(space);
            }
        }
    } else if (const qsizetype space = cleaned.indexOf(' '); space >= 1 && !fileExists(cleaned)) {
        // Desktop entries often follow the program with switches ("browser --new-window");
        // when the whole line names no program but its first word does, the first word is it.
        if (fileExists(cleaned.left(space))) {
            cleaned.truncate(space);
        }
    }
    if (cleaned.endsWith(" -h")) {
        cleaned.chop(3);
    }
    return cleaned;
}

QString DesktopEntryExec(const QString& desktopFile)
{
    QString exec;
    for (const auto& [key, value] : ReadGroup(desktopFile, "Desktop Entry")) {
        if (key == "Hidden" && value == "true") {
            return {};
        }
        if (key == "Exec") {
            exec = Unescape(value);
        }
    }
    return exec;
}

QString FindDesktopEntry(const QString& desktopId, const TXdgFolders& folders)
{
    // An id is a file name; anything that could walk out of the applications folder is refused.
    if (!desktopId.endsWith(".desktop") || desktopId.contains('/') || desktopId.startsWith('.')) {
        return {};
    }
    QStringList candidates{desktopId};
    // "vendor-name.desktop" may also live at "vendor/name.desktop".
    if (const qsizetype dash = desktopId.indexOf('-'); dash > 0) {
        candidates << desktopId.left(dash) + '/' + desktopId.mid(dash + 1);
    }
    QStringList dataFolders{folders.DataHome};
    dataFolders += folders.DataDirs;
    for (const QString& folder : dataFolders) {
        for (const QString& candidate : candidates) {
            const QString path = folder + "/applications/" + candidate;
            if (QFileInfo(path).isFile()) {
                return path;
            }
        }
    }
    return {};
}

QString MimeAppsBrowserId(const TXdgFolders& folders)
{
    return MimeAppsDefault(folders, "x-scheme-handler/http");
}

QString DesktopEntryValue(const QString& desktopFile, const QString& key)
{
    QString found;
    for (const auto& [name, value] : ReadGroup(desktopFile, "Desktop Entry")) {
        if (name == key) {
            found = Unescape(value);
        }
    }
    return found;
}

QString MimeAppsDefault(const TXdgFolders& folders, const QString& mimeType)
{
    for (const QString& list : MimeAppsFiles(folders)) {
        for (const auto& [key, value] : ReadGroup(list, "Default Applications")) {
            if (key != mimeType) {
                continue;
            }
            for (const QString& id : value.split(';', Qt::SkipEmptyParts)) {
                if (!FindDesktopEntry(id.trimmed(), folders).isEmpty()) {
                    return id.trimmed();
                }
            }
        }
    }
    return {};
}

QString RegisteredBrowserCommand(const TXdgFolders& folders, const std::function<QString()>& askDesktop)
{
    QString entry;
    if (askDesktop) {
        entry = FindDesktopEntry(askDesktop().trimmed(), folders);
    }
    if (entry.isEmpty()) {
        const QString id = MimeAppsBrowserId(folders);
        if (!id.isEmpty()) {
            entry = FindDesktopEntry(id, folders);
        }
    }
    return entry.isEmpty() ? QString() : StripFieldCodes(DesktopEntryExec(entry));
}

QString AskXdgSettings()
{
    return AskDesktopTool(QStringLiteral("xdg-settings"),
                          {QStringLiteral("get"), QStringLiteral("default-web-browser")});
}

QString AskDesktopTool(const QString& tool, const QStringList& arguments, const std::atomic<bool>* stop)
{
    const QString path = QStandardPaths::findExecutable(tool);
    if (path.isEmpty()) {
        return {};
    }
    QProcess process;
    process.start(path, arguments);
    QElapsedTimer waited;
    waited.start();
    // Waited for in short steps, so that a question nobody wants answered any more ends at once.
    while (!process.waitForFinished(50)) {
        if (process.state() == QProcess::NotRunning || waited.elapsed() >= 3000 ||
            (stop != nullptr && stop->load())) {
            process.kill();
            process.waitForFinished(500);
            return {};
        }
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        return {};
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
}

namespace {

// The background answer to DesktopBrowserQuestion.
struct TBrowserLookup {
    std::mutex Lock;
    bool Started = false; // guarded by Lock
    std::shared_future<QString> Answer; // guarded by Lock

    ~TBrowserLookup()
    {
        // The question runs with a time-out; its thread must not outlive the program's statics.
        std::lock_guard guard(Lock);
        if (Answer.valid()) {
            Answer.wait();
        }
    }
};

TBrowserLookup& BrowserLookup()
{
    static TBrowserLookup lookup;
    return lookup;
}

// The desktop's answer without waiting: the one in hand, or nothing while the question runs. Never
// started, the question is asked here (tests and programs without a window).
std::function<QString()> DesktopAnswerWithoutWaiting()
{
    TBrowserLookup& lookup = BrowserLookup();
    std::lock_guard guard(lookup.Lock);
    if (!lookup.Started) {
        return DesktopBrowserQuestion;
    }
    if (lookup.Answer.valid() &&
        lookup.Answer.wait_for(std::chrono::seconds(0)) == std::future_status::ready) {
        const QString answer = lookup.Answer.get();
        return [answer] { return answer; };
    }
    return {};
}

} // namespace

void StartBrowserLookup()
{
    TBrowserLookup& lookup = BrowserLookup();
    std::lock_guard guard(lookup.Lock);
    if (lookup.Answer.valid() &&
        lookup.Answer.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        return; // one question at a time
    }
    lookup.Started = true;
    lookup.Answer = std::async(std::launch::async, [question = DesktopBrowserQuestion] {
                        return question ? question() : QString();
                    }).share();
}

bool IsLauncherCommand(const QString& program)
{
    static const QStringList launchers{"env", "flatpak", "snap", "sh", "bash", "dash", "gtk-launch", "gio"};
    return launchers.contains(QFileInfo(program).fileName());
}

void OpenURL(const QString& url)
{
    const QString command =
        RegisteredBrowserCommand(TXdgFolders::FromEnvironment(), DesktopAnswerWithoutWaiting());
    const QString program = command.isEmpty() ? QString() : CleanBrowserCommand(command, NamesProgram);
    // The address is the browser's argument: one that begins like an option goes through the desktop,
    // which hands the browser a URL instead.
    const bool optionLike = url.startsWith(QLatin1Char('-')) || url.startsWith(QLatin1Char('+'));
    const bool started = !program.isEmpty() && !optionLike && NamesProgram(program) &&
                         !IsLauncherCommand(program) && Shell().StartProgram(AsCommand(program), url);
    if (!started) {
        // Snap and Flatpak browsers, wrapped commands, or none registered: the desktop knows how.
        Shell().OpenDocument(url);
    }
    bool lookupStarted = false;
    {
        std::lock_guard guard(BrowserLookup().Lock);
        lookupStarted = BrowserLookup().Started;
    }
    if (lookupStarted) {
        StartBrowserLookup(); // the user may choose another browser while the program runs
    }
}
