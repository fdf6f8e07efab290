// The installed tree as the desktop sees it: the menu entry and the metainfo pass the desktop's own
// validators, and every file lands where the desktop and the program look for it.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString AppId = QStringLiteral("example.quorvale.Sifton");

QString Source(const QString& path)
{
    return qEnvironmentVariable("SIFTON_SOURCE") + QLatin1Char('/') + path;
}

struct TRun {
    int ExitCode = -1;
    QString Output;
};

TRun RunTool(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    TRun run;
    if (!process.waitForFinished(120000)) {
        run.Output = program + QStringLiteral(" did not run: ") + process.errorString();
        return run;
    }
    run.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.Output = QString::fromLocal8Bit(process.readAll());
    return run;
}

QString DesktopEntry(const QString& file, const QString& key)
{
    QSettings entry(file, QSettings::IniFormat);
    return entry.value(QStringLiteral("Desktop Entry/") + key).toString();
}

TEST(DesktopFiles, MenuEntryPassesDesktopFileValidate)
{
    const TRun run =
        RunTool(QStringLiteral("desktop-file-validate"), {Source("resources/desktop/" + AppId + ".desktop")});
    EXPECT_EQ(run.ExitCode, 0) << run.Output.toStdString();
    EXPECT_FALSE(run.Output.contains(QStringLiteral("error"))) << run.Output.toStdString();
}

TEST(DesktopFiles, MetainfoPassesAppstreamValidation)
{
    const TRun run =
        RunTool(QStringLiteral("appstreamcli"), {QStringLiteral("validate"), QStringLiteral("--no-net"),
                                                 Source("resources/desktop/" + AppId + ".metainfo.xml")});
    EXPECT_EQ(run.ExitCode, 0) << run.Output.toStdString();
}

// Every directory of a run path is searched for libraries before the system's; an empty one, or
// one not anchored at / or $ORIGIN, is the folder the program was started in.
QStringList UnsafeRunPaths(const QString& program)
{
    QStringList unsafe;
    const TRun run = RunTool(QStringLiteral("readelf"), {QStringLiteral("-d"), program});
    for (const QString& line : run.Output.split(QLatin1Char('\n'))) {
        if (!line.contains(QStringLiteral("(RUNPATH)")) && !line.contains(QStringLiteral("(RPATH)"))) {
            continue;
        }
        const QString paths = line.section(QLatin1Char('['), 1).section(QLatin1Char(']'), 0, 0);
        for (const QString& path : paths.split(QLatin1Char(':'))) {
            if (!path.startsWith(QLatin1Char('/')) && !path.startsWith(QStringLiteral("$ORIGIN"))) {
                unsafe << QStringLiteral("'%1'").arg(path);
            }
        }
    }
    return unsafe;
}

TEST(DynamicSection, NoBuiltProgramLoadsLibrariesFromTheCurrentFolder)
{
    const QDir bin(qEnvironmentVariable("SIFTON_BIN"));
    const QStringList programs = bin.entryList(QDir::Files | QDir::Executable);
    ASSERT_TRUE(programs.contains(QStringLiteral("sifton")) &&
                programs.contains(QStringLiteral("sifton-cli")));
    for (const QString& program : programs) {
        EXPECT_EQ(UnsafeRunPaths(bin.filePath(program)), QStringList()) << program.toStdString();
    }
}

class InstallTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Root = new QTemporaryDir;
        Result = new TRun(RunTool(QStringLiteral(SIFTON_CMAKE),
                                  {QStringLiteral("--install"), QStringLiteral(SIFTON_BUILD_DIR),
                                   QStringLiteral("--prefix"), Root->filePath("usr")}));
    }
    static void TearDownTestSuite()
    {
        delete Result;
        delete Root;
    }
    void SetUp() override { ASSERT_EQ(Result->ExitCode, 0) << Result->Output.toStdString(); }

    static QString Installed(const QString& path) { return Root->filePath("usr/" + path); }

    static QTemporaryDir* Root;
    static TRun* Result;
};

QTemporaryDir* InstallTest::Root = nullptr;
TRun* InstallTest::Result = nullptr;

TEST_F(InstallTest, ProgramsReadmeManualPagesCopyrightAndChangelog)
{
    for (const char* file : {"bin/sifton", "bin/sifton-cli", "share/sifton/Readme.RTF",
                             "share/doc/sifton/copyright", "share/doc/sifton/changelog.gz"}) {
        EXPECT_TRUE(QFileInfo(Installed(file)).isFile()) << file;
    }
    EXPECT_TRUE(QFileInfo(Installed("bin/sifton")).isExecutable());
    // Debian's checker wants the pages compressed; what matters to a reader is what they say.
    const TRun cli =
        RunTool(QStringLiteral("gzip"), {QStringLiteral("-dc"), Installed("share/man/man1/sifton-cli.1.gz")});
    EXPECT_TRUE(cli.Output.contains(QStringLiteral(".TH SIFTON-CLI \"1\""))) << "a section 1 page";
    EXPECT_TRUE(cli.Output.contains(QStringLiteral("\\-\\-case\\-sensitive")))
        << "made from the program's own --help";
    const TRun window =
        RunTool(QStringLiteral("gzip"), {QStringLiteral("-dc"), Installed("share/man/man1/sifton.1.gz")});
    EXPECT_TRUE(window.Output.contains(QStringLiteral(".TH SIFTON 1"))) << window.Output.toStdString();
    EXPECT_TRUE(window.Output.contains(QStringLiteral("/GO"))) << "the window's command line";
}

TEST_F(InstallTest, InstalledProgramsLoadNoLibraryFromTheCurrentFolder)
{
    for (const char* program : {"bin/sifton", "bin/sifton-cli"}) {
        EXPECT_EQ(UnsafeRunPaths(Installed(program)), QStringList()) << program;
    }
}

TEST_F(InstallTest, MenuEntryStartsAnInstalledProgramWithAnInstalledIcon)
{
    const QString entry = Installed("share/applications/" + AppId + ".desktop");
    const TRun run = RunTool(QStringLiteral("desktop-file-validate"), {entry});
    EXPECT_EQ(run.ExitCode, 0) << run.Output.toStdString();
    const QString program = DesktopEntry(entry, QStringLiteral("Exec")).section(QLatin1Char(' '), 0, 0);
    EXPECT_TRUE(QFileInfo(Installed("bin/" + program)).isFile()) << program.toStdString();
    EXPECT_EQ(DesktopEntry(entry, QStringLiteral("Icon")), AppId);
    EXPECT_TRUE(QFileInfo(Installed("share/icons/hicolor/scalable/apps/" + AppId + ".svg")).isFile());
}

TEST_F(InstallTest, IconsOfEverySizeAreAsLargeAsTheirFolderSays)
{
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString name = QStringLiteral("share/icons/hicolor/%1x%1/apps/").arg(size) + AppId + ".png";
        const QImage icon(Installed(name));
        EXPECT_EQ(icon.size(), QSize(size, size)) << name.toStdString();
        EXPECT_TRUE(icon.hasAlphaChannel()) << name.toStdString();
    }
}

TEST_F(InstallTest, MetainfoNamesTheMenuEntryAndValidates)
{
    const QString metainfo = Installed("share/metainfo/" + AppId + ".metainfo.xml");
    const TRun run = RunTool(QStringLiteral("appstreamcli"),
                             {QStringLiteral("validate"), QStringLiteral("--no-net"), metainfo});
    EXPECT_EQ(run.ExitCode, 0) << run.Output.toStdString();
    QFile file(metainfo);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("<launchable type=\"desktop-id\">" + AppId.toUtf8() +
                                        ".desktop</launchable>"));
}

} // namespace
