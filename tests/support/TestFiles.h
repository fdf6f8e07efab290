#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

/// Writes bytes into path, its folders made as needed; a test failure when it cannot.
void WriteBytes(const QString& path, const QByteArray& bytes);
/// The bytes of path, or "<missing>" when it cannot be read.
QByteArray ReadBytes(const QString& path);

/// A fresh folder for one test, removed with everything in it at the end.
class TTestFolder : public QTemporaryDir {
public:
    /// The full path of name inside the folder.
    QString Path(const QString& name) const { return filePath(name); }
    /// Writes bytes into name inside the folder (folders made as needed) and gives its full path.
    QString Write(const QString& name, const QByteArray& bytes) const;
};
