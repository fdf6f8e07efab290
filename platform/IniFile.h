#pragma once

#include <QByteArray>
#include <QString>

#include <utility>
#include <vector>

/// An initialisation file ("[Section]" lines, then "Key=Value" lines) read and written one key at a time,
/// straight on disk. Reading never changes the file; writing changes only the key's value in its line, or
/// adds the key at the end of its section, or the section at the end of the file: every other byte stays.
/// Section and key names compare case-insensitively (ASCII letters).
class TIniFile {
public:
    explicit TIniFile(const QString& fileName);

    /// The file's full path.
    QString FileName() const { return FFileName; }

    /// The key's value (spaces around it and one pair of enclosing quotes removed; at most 1023 bytes),
    /// or def when the file, section or key is missing or unreadable.
    QString ReadString(const QString& section, const QString& key, const QString& def) const;
    /// The value as a signed 32-bit integer, decimal or hexadecimal after "0x"/"0X"; def when not a number.
    int ReadInteger(const QString& section, const QString& key, int def) const;
    /// The value read as an integer (default 1 or 0) compared with 0.
    bool ReadBool(const QString& section, const QString& key, bool def) const;

    /// Writes the value in place; throws std::runtime_error "Unable to write to <full path>" when refused.
    /// The file is replaced whole by a rename, so a failed write leaves the old file exactly as it was.
    void WriteString(const QString& section, const QString& key, const QString& value);
    /// Writes several keys of one section in order, as WriteString would one after the other, but with
    /// one replacement of the file: all of them are written, or (on a refusal) none.
    void WriteStrings(const QString& section, const std::vector<std::pair<QString, QString>>& values);
    /// Writes signed decimal digits.
    void WriteInteger(const QString& section, const QString& key, int value);
    /// Writes "1" or "0".
    void WriteBool(const QString& section, const QString& key, bool value);

    /// The bytes a value is read through, terminator included.
    static constexpr int ValueBufferSize = 1024;

private:
    QString FFileName;
};

/// The integer conversion of ReadInteger: "0x"/"0X" hexadecimal (up to 32 bits, two's complement) or signed
/// decimal within 32 bits; nothing else, no spaces.
bool ParseProfileInteger(const QByteArray& text, int& value);

/// Changes the content of an initialisation file for one written key (the part of WriteString that decides
/// the bytes; exposed for tests).
QByteArray SetProfileString(const QByteArray& content, const QByteArray& section, const QByteArray& key,
                            const QByteArray& value);
