#include "platform/FileLocations.h"

#include "platform/Application.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef SIFTON_INSTALL_BINDIR
#define SIFTON_INSTALL_BINDIR "/usr/local/bin"
#endif
#ifndef SIFTON_DATADIR_FROM_BINDIR
#define SIFTON_DATADIR_FROM_BINDIR "../share/sifton"
#endif
#ifndef SIFTON_INSTALL_DATADIR
#define SIFTON_INSTALL_DATADIR "/usr/local/share/sifton"
#endif

namespace {

constexpr const char* FolderName = "sifton";

// The XDG rules ignore a variable that is unset, empty or relative.
QString XdgHome(const char* variable, const QString& fallback)
{
    const QString value = qEnvironmentVariable(variable);
    return QDir::isAbsolutePath(value) ? QDir::cleanPath(value) : QDir::cleanPath(fallback);
}

// Symbolic links (/bin -> /usr/bin) must not make the installed folder look like another one.
QString Canonical(const QString& folder)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(folder) : canonical;
}

bool FolderTakesFiles(const QString& folder)
{
    // access() also answers "no" on a read-only mount, where even root cannot write.
    return ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0;
}

} // namespace

QString TFileLocations::ConfigFile(const QString& ext) const
{
    return ConfigFolder + QLatin1Char('/') + Name + ext;
}

QString TFileLocations::StateFile(const QString& ext) const
{
    return StateFolder + QLatin1Char('/') + Name + ext;
}

TFileLocations TFileLocations::Beside(const QString& programPath)
{
    const QFileInfo program(programPath);
    TFileLocations locations;
    locations.ConfigFolder = program.absolutePath();
    locations.StateFolder = locations.ConfigFolder;
    // The stem of the name: "sifton" for both "sifton" and "sifton.bin".
    locations.Name = Application::ChangeFileExt(program.fileName(), QString());
    return locations;
}

void TFileLocations::MakeFolders() const
{
    if (!BesideProgram) {
        // A folder that cannot be made shows up later as its file's own "Cannot create file" error.
        QDir().mkpath(ConfigFolder);
        QDir().mkpath(StateFolder);
    }
}

TLocationRules TLocationRules::FromEnvironment()
{
    const QString home = QDir::homePath();
    TLocationRules rules;
    rules.InstalledProgramFolder = QString::fromUtf8(SIFTON_INSTALL_BINDIR);
    rules.ConfigHome = XdgHome("XDG_CONFIG_HOME", home + QStringLiteral("/.config"));
    rules.StateHome = XdgHome("XDG_STATE_HOME", home + QStringLiteral("/.local/state"));
    rules.CanWrite = FolderTakesFiles;
    return rules;
}

TFileLocations LocationsFor(const QString& programPath, const TLocationRules& rules)
{
    TFileLocations locations = TFileLocations::Beside(programPath);
    const QString folder = locations.ConfigFolder;
    const bool installed = !rules.InstalledProgramFolder.isEmpty() &&
                           Canonical(folder) == Canonical(rules.InstalledProgramFolder);
    locations.BesideProgram = !installed && (!rules.CanWrite || rules.CanWrite(folder));
    if (!locations.BesideProgram) {
        locations.ConfigFolder = rules.ConfigHome + QLatin1Char('/') + QLatin1String(FolderName);
        locations.StateFolder = rules.StateHome + QLatin1Char('/') + QLatin1String(FolderName);
    }
    return locations;
}

bool HeldByAnotherProcess(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    struct stat info { };
    // flock locks belong to one open file: our own probe collides with any other holder, even in
    // this process, and closing the probe drops only the probe's lock.
    const bool held = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                      ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

QString RuntimeFolder()
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && QFileInfo(runtime).isDir()) {
        return QDir::cleanPath(runtime);
    }
    return QDir::tempPath();
}

QString CreatePrivateFile(const QString& folder, const QString& stem, const QString& ext)
{
    QByteArray name = QFile::encodeName(folder + QLatin1Char('/') + stem + QStringLiteral("-XXXXXX") + ext);
    const int fd = ::mkstemps(name.data(), int(QFile::encodeName(ext).size()));
    if (fd < 0) {
        return {};
    }
    ::close(fd);
    return QFile::decodeName(name);
}

QString InstalledDataFolder()
{
    const QString besideTree =
        QDir::cleanPath(QFileInfo(Application::ExeName()).absolutePath() + QLatin1Char('/') +
                        QString::fromUtf8(SIFTON_DATADIR_FROM_BINDIR));
    return QFileInfo(besideTree).isDir() ? besideTree : QString::fromUtf8(SIFTON_INSTALL_DATADIR);
}

namespace Application {

const TFileLocations& FileLocations()
{
    static const TFileLocations locations = [] {
        TFileLocations found = LocationsFor(ExeName(), TLocationRules::FromEnvironment());
        found.MakeFolders();
        return found;
    }();
    return locations;
}

QString ConfigFolder()
{
    return FileLocations().ConfigFolder;
}

QString ConfigFile(const QString& ext)
{
    return FileLocations().ConfigFile(ext);
}

QString StateFile(const QString& ext)
{
    return FileLocations().StateFile(ext);
}

} // namespace Application
