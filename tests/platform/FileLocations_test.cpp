#include "platform/FileLocations.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

TLocationRules Rules(bool folderTakesFiles)
{
    TLocationRules rules;
    rules.InstalledProgramFolder = QStringLiteral("/usr/bin");
    rules.ConfigHome = QStringLiteral("/home/u/.config");
    rules.StateHome = QStringLiteral("/home/u/.local/state");
    rules.CanWrite = [folderTakesFiles](const QString&) { return folderTakesFiles; };
    return rules;
}

struct PlaceCase {
    const char* Name;
    const char* Program;
    bool FolderTakesFiles;
    const char* Settings; // ConfigFile(".ini")
    const char* Log; // StateFile(".out")
};

class FileLocationsTest : public ::testing::TestWithParam<PlaceCase> { };

TEST_P(FileLocationsTest, SettingsAndLogGoWhereTheCopyCanKeepThem)
{
    const PlaceCase& c = GetParam();
    const TFileLocations where = LocationsFor(QString::fromUtf8(c.Program), Rules(c.FolderTakesFiles));
    EXPECT_EQ(where.ConfigFile(".ini"), QString::fromUtf8(c.Settings));
    EXPECT_EQ(where.ConfigFile(".lst"), QFileInfo(QString::fromUtf8(c.Settings)).path() + "/sifton.lst");
    EXPECT_EQ(where.StateFile(".out"), QString::fromUtf8(c.Log));
    EXPECT_EQ(where.BesideProgram,
              where.ConfigFolder == QFileInfo(QString::fromUtf8(c.Program)).absolutePath());
}

INSTANTIATE_TEST_SUITE_P(
    Copies, FileLocationsTest,
    ::testing::Values(
        PlaceCase{"PortableFolder", "/opt/sifton/sifton", true, "/opt/sifton/sifton.ini",
                  "/opt/sifton/sifton.out"},
        PlaceCase{"InstalledEvenWhenWritable", "/usr/bin/sifton", true, "/home/u/.config/sifton/sifton.ini",
                  "/home/u/.local/state/sifton/sifton.out"},
        PlaceCase{"InstalledFolderWrittenUntidily", "/usr//bin/./sifton", true,
                  "/home/u/.config/sifton/sifton.ini", "/home/u/.local/state/sifton/sifton.out"},
        PlaceCase{"FolderThatTakesNoFiles", "/media/cd/sifton", false, "/home/u/.config/sifton/sifton.ini",
                  "/home/u/.local/state/sifton/sifton.out"},
        PlaceCase{"ExtensionIsNotPartOfTheName", "/opt/sifton/sifton.bin", true, "/opt/sifton/sifton.ini",
                  "/opt/sifton/sifton.out"},
        PlaceCase{"OtherPrefixIsPortable", "/usr/local/bin/sifton", true, "/usr/local/bin/sifton.ini",
                  "/usr/local/bin/sifton.out"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(FileLocationsTest, ALinkToTheInstalledFolderIsTheInstalledFolder)
{
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkdir("bin"));
    ASSERT_TRUE(QFile::link(dir.filePath("bin"), dir.filePath("link")));
    TLocationRules rules = Rules(true);
    rules.InstalledProgramFolder = dir.filePath("bin");
    EXPECT_FALSE(LocationsFor(dir.filePath("link/sifton"), rules).BesideProgram);
}

TEST(FileLocationsTest, AMissingFolderTakesNoFilesEvenForRoot)
{
    QTemporaryDir dir;
    TLocationRules rules = TLocationRules::FromEnvironment();
    EXPECT_TRUE(LocationsFor(dir.filePath("sifton"), rules).BesideProgram);
    EXPECT_FALSE(LocationsFor(dir.filePath("missing/sifton"), rules).BesideProgram);
}

TEST(FileLocationsTest, XdgFoldersComeFromTheEnvironmentUnlessRelative)
{
    const QByteArray config = qgetenv("XDG_CONFIG_HOME");
    const QByteArray state = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_CONFIG_HOME", "/srv/conf");
    qputenv("XDG_STATE_HOME", "relative/state");
    const TLocationRules rules = TLocationRules::FromEnvironment();
    EXPECT_EQ(rules.ConfigHome, "/srv/conf");
    EXPECT_EQ(rules.StateHome, QDir::homePath() + "/.local/state");
    qputenv("XDG_CONFIG_HOME", config);
    qputenv("XDG_STATE_HOME", state);
}

TEST(FileLocationsTest, MakeFoldersCreatesBothXdgFolders)
{
    QTemporaryDir dir;
    TLocationRules rules = Rules(false);
    rules.ConfigHome = dir.filePath("c");
    rules.StateHome = dir.filePath("s/deep");
    LocationsFor("/media/cd/sifton", rules).MakeFolders();
    EXPECT_TRUE(QFileInfo(dir.filePath("c/sifton")).isDir());
    EXPECT_TRUE(QFileInfo(dir.filePath("s/deep/sifton")).isDir());
}

TEST(FileLocationsTest, HeldByAnotherProcessSeesALockOnlyWhileItIsHeld)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("sifton.out");
    EXPECT_FALSE(HeldByAnotherProcess(path)) << "missing file";
    QFile(path).open(QIODevice::WriteOnly);
    EXPECT_FALSE(HeldByAnotherProcess(path)) << "nobody holds it";
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_TRUE(HeldByAnotherProcess(path));
    ::close(fd);
    EXPECT_FALSE(HeldByAnotherProcess(path));
    EXPECT_FALSE(HeldByAnotherProcess(dir.path())) << "a folder is no log";
}

TEST(FileLocationsTest, PrivateFilesAreNewAndDistinct)
{
    QTemporaryDir dir;
    const QString a = CreatePrivateFile(dir.path(), "sifton", ".out");
    const QString b = CreatePrivateFile(dir.path(), "sifton", ".out");
    ASSERT_FALSE(a.isEmpty());
    EXPECT_NE(a, b);
    EXPECT_TRUE(QFileInfo(a).isFile());
    EXPECT_TRUE(a.startsWith(dir.filePath("sifton-")) && a.endsWith(".out")) << a.toStdString();
    EXPECT_TRUE(CreatePrivateFile(dir.filePath("missing"), "sifton", ".out").isEmpty());
}

TEST(FileLocationsTest, RuntimeFolderFallsBackToTheTemporaryFolder)
{
    const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
    QTemporaryDir dir;
    qputenv("XDG_RUNTIME_DIR", dir.path().toLocal8Bit());
    EXPECT_EQ(RuntimeFolder(), dir.path());
    qputenv("XDG_RUNTIME_DIR", dir.filePath("gone").toLocal8Bit());
    EXPECT_EQ(RuntimeFolder(), QDir::tempPath());
    qputenv("XDG_RUNTIME_DIR", saved);
}

} // namespace
