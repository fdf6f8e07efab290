#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>
#include <QTemporaryDir>

#include <memory>

/// Copies of compressed files as the text a search reads, for the editor that opens a line of the
/// output pane: line numbers count the lines of that text (UTF-16 files the editor reads itself). They live
/// in one private temporary folder ($TMPDIR/sifton-XXXXXX, the user's alone) that goes with this object, and
/// each is made once per file and change.
class TDecodedCopies final {
public:
    /// The file to open for File: File itself when it is not compressed, else its copy. Throws "Cannot
    /// create file", "Unable to write to" or "Cannot open file" with the path; a damaged file gives its
    /// text up to the damage.
    QString FileFor(const QString& File);

private:
    struct TCopy {
        QString Path;
        QDateTime Modified;
        qint64 Size = 0;
    };
    std::unique_ptr<QTemporaryDir> FFolder;
    QHash<QString, TCopy> FCopies; // by the file's absolute path
};
