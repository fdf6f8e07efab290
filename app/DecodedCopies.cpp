#include "app/DecodedCopies.h"

#include "search/Decoding.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace {

// The copy's name: the file's without the compressor's extension, so that the editor shows the name
// the text had (and picks its highlighting by it).
QString CopyName(const QString& name)
{
    for (const char* extension : {".gz", ".bz2", ".xz", ".zst"}) {
        const auto size = qsizetype(std::strlen(extension));
        if (name.size() > size && name.endsWith(QLatin1String(extension), Qt::CaseInsensitive)) {
            return name.left(name.size() - size);
        }
    }
    if (name.endsWith(QLatin1String(".tgz"), Qt::CaseInsensitive)) {
        return name.left(name.size() - 4) + QStringLiteral(".tar");
    }
    return name;
}

} // namespace

QString TDecodedCopies::FileFor(const QString& File)
{
    const QByteArray name = QFile::encodeName(File);
    DecodeOptions options;
    options.Decompress = true;
    if (!NeedsDecoding(name.toStdString(), options)) {
        return File;
    }
    const QFileInfo info(File);
    const QString key = info.absoluteFilePath();
    const auto known = FCopies.constFind(key);
    if (known != FCopies.cend() && known->Modified == info.lastModified() && known->Size == info.size() &&
        QFileInfo::exists(known->Path)) {
        return known->Path;
    }
    if (!FFolder) {
        // QTemporaryDir makes it 0700, and removes it with everything in it.
        FFolder = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/sifton-XXXXXX"));
    }
    // A folder of its own per copy: files of one name from different folders never meet.
    const QString folder = FFolder->filePath(QString::number(FCopies.size() + 1));
    const QString copy = folder + QLatin1Char('/') + CopyName(info.fileName());
    const std::string copyPath = QFile::encodeName(copy).toStdString();
    if (!FFolder->isValid() || !QDir().mkpath(folder)) {
        throw std::runtime_error("Cannot create file " + copyPath);
    }
    const int fd = ::open(copyPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        throw std::runtime_error("Cannot create file " + copyPath);
    }
    std::string reason;
    const CopyEnd end = DecodeFile(name.toStdString(), fd, options, reason);
    const bool closed = ::close(fd) == 0;
    // A damaged file still gives its text up to the damage, where the lines of its entries are.
    if (end == CopyEnd::WriteFailed || !closed) {
        throw std::runtime_error("Unable to write to " + copyPath);
    }
    if (end == CopyEnd::ReadFailed) {
        throw std::runtime_error("Cannot open file " + info.absoluteFilePath().toLocal8Bit().toStdString());
    }
    FCopies.insert(key, {copy, info.lastModified(), info.size()});
    return copy;
}
