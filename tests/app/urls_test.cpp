#include "app/urls.h"
#include "tests/support/ScriptedShell.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>
#include <set>

namespace {

struct CleanCase {
    const char* name;
    const char* command;
    std::set<QString> existing;
    const char* expected;
};

class CleanBrowserCommandTest : public ::testing::TestWithParam<CleanCase> { };

TEST_P(CleanBrowserCommandTest, LeavesOnlyTheProgram)
{
    const CleanCase& c = GetParam();
    const auto exists = [&](const QString& path) { return c.existing.count(path) > 0; };
    EXPECT_EQ(CleanBrowserCommand(QString::fromUtf8(c.command), exists), QString::fromUtf8(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CleanBrowserCommandTest,
    ::testing::Values(
        CleanCase{"QuotedPathWithNohome",
                  R"("C:\Program Files\Internet Explorer\iexplore.exe" -nohome)",
                  {},
                  R"(C:\Program Files\Internet Explorer\iexplore.exe)"},
        CleanCase{"QuotedPathSwitchesAndQuotedPlaceholder",
                  R"("/opt/Web Browser/browser" -new "%1")",
                  {},
                  "/opt/Web Browser/browser"},
        CleanCase{"UnquotedPathHSwitchQuotedPlaceholder",
                  R"(/usr/lib/netscape/netscape -h "%1")",
                  {},
                  "/usr/lib/netscape/netscape"},
        CleanCase{"QuotedPathAlone", R"("/opt/Web Browser/browser")", {}, "/opt/Web Browser/browser"},
        CleanCase{"QuotedPathThenHSwitch", R"("/opt/browser" -h)", {}, "/opt/browser"},
        CleanCase{"ExistingPathWithSpacesKeptWhole",
                  R"(/opt/My Browser/run "%1")",
                  {"/opt/My Browser/run"},
                  "/opt/My Browser/run"},
        CleanCase{"MissingPathWithSpacesCutAtLastSpace", R"(/opt/My Browser/run "%1")", {}, "/opt/My"},
        CleanCase{"ExistingPathEndingInHSwitchLosesIt", R"(/opt/b -h "%1")", {"/opt/b -h"}, "/opt/b"},
        CleanCase{"TrailingHSwitchWithoutQuotes", "/usr/bin/browser -h", {}, "/usr/bin/browser"},
        CleanCase{"BareProgramName", "firefox-esr", {}, "firefox-esr"},
        CleanCase{"SwitchesAfterKnownProgram", "webby --new-window", {"webby"}, "webby"},
        CleanCase{"SwitchesAfterUnknownProgramStay", "env A=b /snap/bin/web", {}, "env A=b /snap/bin/web"},
        CleanCase{"WholeLineIsAProgram", "/opt/two words", {"/opt/two words", "/opt/two"}, "/opt/two words"},
        CleanCase{"OpeningQuoteOnly", R"("/opt/browser -x)", {}, "/opt/browser -x"},
        CleanCase{"EmptyPlaceholderOnly", R"(browser "")", {}, "browser"},
        CleanCase{"LoneQuote", R"(")", {}, ""}, CleanCase{"EmptyQuotes", R"("")", {}, ""},
        CleanCase{"Empty", "", {}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

struct StripCase {
    const char* name;
    const char* exec;
    const char* expected;
};

class StripFieldCodesTest : public ::testing::TestWithParam<StripCase> { };

TEST_P(StripFieldCodesTest, RemovesCodes)
{
    EXPECT_EQ(StripFieldCodes(QString::fromUtf8(GetParam().exec)), QString::fromUtf8(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    ExecLines, StripFieldCodesTest,
    ::testing::Values(StripCase{"SingleUrl", "firefox-esr %u", "firefox-esr"},
                      StripCase{"UrlList", "/usr/bin/chromium %U", "/usr/bin/chromium"},
                      StripCase{"EveryCode", "browser %f %F %i %c %k %u", "browser"},
                      StripCase{"QuotedProgramWithSwitch", R"("/opt/Web Browser/browser" --new-window %u)",
                                R"("/opt/Web Browser/browser" --new-window)"},
                      StripCase{"QuotedPlaceholder", R"(browser "%u")", R"(browser "")"},
                      StripCase{"CodeInsideWord", "browser --url=%u --x", "browser --url= --x"},
                      StripCase{"DoublePercentIsPercent", "browser --zoom=100%%", "browser --zoom=100%"},
                      StripCase{"UnknownCodeStays", "browser %z", "browser %z"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BrowserCommandFromExec, DesktopEntryComesDownToTheProgram)
{
    const auto none = [](const QString&) { return false; };
    EXPECT_EQ(CleanBrowserCommand(StripFieldCodes(R"("/opt/Web Browser/browser" --private %u)"), none),
              "/opt/Web Browser/browser");
    EXPECT_EQ(CleanBrowserCommand(StripFieldCodes(R"(/usr/bin/web -h "%u")"), none), "/usr/bin/web");
}

// A throw-away XDG tree: config/, config-dirs/, data/, data-dirs/.
class XdgTree : public ::testing::Test {
protected:
    TTestFolder Root;
    TXdgFolders Folders;

    void SetUp() override
    {
        ASSERT_TRUE(Root.isValid());
        Folders.ConfigHome = Root.filePath("config");
        Folders.ConfigDirs = {Root.filePath("config-dirs")};
        Folders.DataHome = Root.filePath("data");
        Folders.DataDirs = {Root.filePath("data-dirs")};
    }

    void Write(const QString& relative, const QByteArray& text) const { Root.Write(relative, text); }

    void Entry(const QString& folder, const QString& id, const QByteArray& exec)
    {
        Write(folder + "/applications/" + id, "[Desktop Entry]\nType=Application\nName=Web\nExec=" + exec +
                                                  "\n\n[Desktop Action private]\nExec=wrong --private %u\n");
    }

    QString Command(const std::function<QString()>& ask = {})
    {
        return RegisteredBrowserCommand(Folders, ask);
    }
};

TEST_F(XdgTree, MimeAppsDefaultGivesTheEntrysExecWithoutFieldCodes)
{
    Write("config/mimeapps.list",
          "[Added Associations]\nx-scheme-handler/http=other.desktop;\n"
          "[Default Applications]\ntext/html=other.desktop\nx-scheme-handler/http=webby.desktop;\n");
    Entry("data-dirs", "webby.desktop", "/opt/webby/webby --new-window %u");
    Entry("data-dirs", "other.desktop", "/opt/other %u");
    EXPECT_EQ(Command(), "/opt/webby/webby --new-window");
}

TEST_F(XdgTree, FirstInstalledEntryOfTheListWins)
{
    Write("config/mimeapps.list",
          "[Default Applications]\nx-scheme-handler/http=gone.desktop;webby.desktop;\n");
    Entry("data", "webby.desktop", "webby %U");
    EXPECT_EQ(Command(), "webby");
}

TEST_F(XdgTree, DesktopSpecificListComesBeforeThePlainOne)
{
    Folders.CurrentDesktops = {"gnome"};
    Write("config/mimeapps.list", "[Default Applications]\nx-scheme-handler/http=plain.desktop\n");
    Write("config/gnome-mimeapps.list", "[Default Applications]\nx-scheme-handler/http=gnomish.desktop\n");
    Entry("data", "plain.desktop", "plain %u");
    Entry("data", "gnomish.desktop", "gnomish %u");
    EXPECT_EQ(Command(), "gnomish");
}

TEST_F(XdgTree, UserConfigBeatsSystemListsAndDataFolderLists)
{
    Write("data-dirs/applications/mimeapps.list",
          "[Default Applications]\nx-scheme-handler/http=sys.desktop\n");
    Write("config-dirs/mimeapps.list", "[Default Applications]\nx-scheme-handler/http=site.desktop\n");
    Entry("data-dirs", "sys.desktop", "sys %u");
    Entry("data-dirs", "site.desktop", "site %u");
    EXPECT_EQ(Command(), "site");
    Write("config/mimeapps.list", "[Default Applications]\nx-scheme-handler/http=mine.desktop\n");
    Entry("data", "mine.desktop", "mine %u");
    EXPECT_EQ(Command(), "mine");
}

TEST_F(XdgTree, UserDataEntryShadowsTheSystemOne)
{
    Write("config/mimeapps.list", "[Default Applications]\nx-scheme-handler/http=webby.desktop\n");
    Entry("data-dirs", "webby.desktop", "/usr/bin/webby %u");
    Entry("data", "webby.desktop", "/home/me/bin/webby %u");
    EXPECT_EQ(Command(), "/home/me/bin/webby");
}

TEST_F(XdgTree, VendorPrefixedIdFoundInSubfolder)
{
    Write("config/mimeapps.list", "[Default Applications]\nx-scheme-handler/http=kde-web.desktop\n");
    Entry("data-dirs", "kde/web.desktop", "konq %u");
    EXPECT_EQ(Command(), "konq");
}

TEST_F(XdgTree, DesktopsOwnAnswerComesFirstAndFallsBackWhenNotInstalled)
{
    Write("config/mimeapps.list", "[Default Applications]\nx-scheme-handler/http=listed.desktop\n");
    Entry("data", "listed.desktop", "listed %u");
    Entry("data", "chosen.desktop", "chosen %u");
    EXPECT_EQ(Command([] { return QString("chosen.desktop\n"); }), "chosen");
    EXPECT_EQ(Command([] { return QString("uninstalled.desktop"); }), "listed");
    EXPECT_EQ(Command([] { return QString(); }), "listed");
}

TEST_F(XdgTree, NoHandlerGivesNoCommand)
{
    EXPECT_EQ(Command(), "");
    Write("config/mimeapps.list", "[Default Applications]\nx-scheme-handler/https=webby.desktop\n");
    Entry("data", "webby.desktop", "webby %u");
    EXPECT_EQ(Command(), "");
}

TEST_F(XdgTree, HiddenEntryGivesNoCommand)
{
    Write("config/mimeapps.list", "[Default Applications]\nx-scheme-handler/http=webby.desktop\n");
    Write("data/applications/webby.desktop", "[Desktop Entry]\nExec=webby %u\nHidden=true\n");
    EXPECT_EQ(Command(), "");
}

TEST_F(XdgTree, IdsThatLeaveTheApplicationsFolderAreRefused)
{
    Write("data/evil.desktop", "[Desktop Entry]\nExec=evil %u\n");
    Write("config/mimeapps.list", "[Default Applications]\nx-scheme-handler/http=../evil.desktop\n");
    EXPECT_EQ(Command(), "");
    EXPECT_EQ(Command([] { return QString("../evil.desktop"); }), "");
}

TEST_F(XdgTree, EscapesInExecAreDecoded)
{
    Write("config/mimeapps.list", "[Default Applications]\nx-scheme-handler/http=webby.desktop\n");
    Entry("data", "webby.desktop", R"("/opt/Web\sBrowser/run" %u)");
    EXPECT_EQ(Command(), R"("/opt/Web Browser/run")");
}

// OpenURL end to end: a fake browser script records the arguments it was started with.
class OpenURLTest : public XdgTree {
protected:
    QString Record;

    void SetUp() override
    {
        XdgTree::SetUp();
        qputenv("XDG_CONFIG_HOME", Folders.ConfigHome.toLocal8Bit());
        qputenv("XDG_CONFIG_DIRS", Folders.ConfigDirs.first().toLocal8Bit());
        qputenv("XDG_DATA_HOME", Folders.DataHome.toLocal8Bit());
        qputenv("XDG_DATA_DIRS", Folders.DataDirs.first().toLocal8Bit());
        qunsetenv("XDG_CURRENT_DESKTOP");
        DesktopBrowserQuestion = {};
        Record = Root.filePath("args.txt");
        Write("bin/fake browser", "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > \"" + Record.toLocal8Bit() +
                                      ".tmp\"\n"
                                      "mv \"" +
                                      Record.toLocal8Bit() + ".tmp\" \"" + Record.toLocal8Bit() + "\"\n");
        QFile::setPermissions(Root.filePath("bin/fake browser"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        Write("config/mimeapps.list", "[Default Applications]\nx-scheme-handler/http=fake.desktop\n");
    }

    void TearDown() override { DesktopBrowserQuestion = AskXdgSettings; }

    QStringList RecordedArguments()
    {
        QElapsedTimer timer;
        timer.start();
        while (!QFile::exists(Record) && timer.elapsed() < 5000) {
            QThread::msleep(20);
        }
        QFile file(Record);
        if (!file.open(QIODevice::ReadOnly)) {
            return {};
        }
        return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }
};

TEST_F(OpenURLTest, BrowserGetsTheAddressAsItsOnlyArgument)
{
    Entry("data", "fake.desktop",
          "\"" + Root.filePath("bin/fake browser").toLocal8Bit() + "\" --new-window %u");
    OpenURL("http://www.quorvale.example/news/");
    EXPECT_EQ(RecordedArguments(), QStringList({"1", "http://www.quorvale.example/news/"}));
}

TEST_F(OpenURLTest, MailtoAddressGoesToTheBrowserToo)
{
    Entry("data", "fake.desktop", "\"" + Root.filePath("bin/fake browser").toLocal8Bit() + "\" %U");
    OpenURL("mailto:feedback@quorvale.example");
    EXPECT_EQ(RecordedArguments(), QStringList({"1", "mailto:feedback@quorvale.example"}));
}

TEST_F(OpenURLTest, MissingBrowserProgramHandsTheAddressToTheDesktop)
{
    Entry("data", "fake.desktop", "\"" + Root.filePath("bin/no such browser").toLocal8Bit() + "\" %u");
    TScriptedShell shell;
    OpenURL("http://www.quorvale.example/");
    EXPECT_TRUE(shell.Started.empty());
    EXPECT_EQ(shell.Opened, std::vector<QString>{"http://www.quorvale.example/"});
}

TEST_F(OpenURLTest, BrowserThatFailsToStartHandsTheAddressToTheDesktop)
{
    Entry("data", "fake.desktop", "\"" + Root.filePath("bin/fake browser").toLocal8Bit() + "\" %u");
    TScriptedShell shell;
    shell.Result = false;
    OpenURL("http://www.quorvale.example/news/");
    ASSERT_EQ(shell.Started.size(), 1u);
    EXPECT_EQ(shell.Opened, std::vector<QString>{"http://www.quorvale.example/news/"});
}

struct LauncherCase {
    const char* Name;
    const char* Exec;
};

class OpenURLLauncherTest : public OpenURLTest, public ::testing::WithParamInterface<LauncherCase> { };

TEST_P(OpenURLLauncherTest, LauncherCommandGoesToTheDesktopOpener)
{
    Write("bin/env", "#!/bin/sh\n");
    Write("bin/flatpak", "#!/bin/sh\n");
    Entry("data", "fake.desktop",
          QByteArray(GetParam().Exec).replace("@BIN@", Root.filePath("bin").toLocal8Bit()));
    TScriptedShell shell;
    OpenURL("http://www.quorvale.example/");
    EXPECT_TRUE(shell.Started.empty()) << shell.Started[0].first.toStdString();
    EXPECT_EQ(shell.Opened, std::vector<QString>{"http://www.quorvale.example/"});
}

INSTANTIATE_TEST_SUITE_P(
    Launchers, OpenURLLauncherTest,
    ::testing::Values(
        LauncherCase{"EnvWrapper", "@BIN@/env BAMF_DESKTOP_FILE_HINT=/x.desktop /snap/bin/firefox %u"},
        LauncherCase{"Flatpak",
                     "@BIN@/flatpak run --branch=stable --command=firefox org.mozilla.firefox @@u %u @@"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(OpenURLTest, NoRegisteredBrowserHandsTheAddressToTheDesktop)
{
    Write("config/mimeapps.list", "[Default Applications]\ntext/html=fake.desktop\n");
    TScriptedShell shell;
    OpenURL("http://www.quorvale.example/");
    EXPECT_TRUE(shell.Started.empty());
    EXPECT_EQ(shell.Opened, std::vector<QString>{"http://www.quorvale.example/"});
}

TEST(XdgFolders, ReadFromEnvironmentWithDefaultsForUnsetOnes)
{
    qputenv("XDG_CONFIG_HOME", "/tmp/cfg");
    qputenv("XDG_CONFIG_DIRS", "/etc/a:relative:/etc/b");
    qunsetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_DIRS", "");
    qputenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
    const TXdgFolders folders = TXdgFolders::FromEnvironment();
    EXPECT_EQ(folders.ConfigHome, "/tmp/cfg");
    EXPECT_EQ(folders.ConfigDirs, QStringList({"/etc/a", "/etc/b"}));
    EXPECT_EQ(folders.DataHome, QDir::homePath() + "/.local/share");
    EXPECT_EQ(folders.DataDirs, QStringList({"/usr/local/share", "/usr/share"}));
    EXPECT_EQ(folders.CurrentDesktops, QStringList({"ubuntu", "gnome"}));
}

} // namespace
