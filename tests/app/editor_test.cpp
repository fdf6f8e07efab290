// Opening a file at a line in the user's editor: the configured command, the desktop's default text
// editor with the line in the form each known editor takes, and the start without a shell.
#include "app/editor.h"
#include "tests/support/ScriptedShell.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QString Spaced = QStringLiteral("/home/me/My Logs/app 1.log");

struct TExecCase {
    const char* Name;
    const char* Exec;
    bool Terminal;
    long Line;
    QStringList Expected; // program, then arguments
};

class DesktopExecTest : public ::testing::TestWithParam<TExecCase> { };

TEST_P(DesktopExecTest, Launch)
{
    const TExecCase& c = GetParam();
    const TEditorLaunch launch = LaunchFromDesktopExec(c.Exec, c.Terminal, Spaced, c.Line);
    EXPECT_EQ(QStringList{launch.Program} + launch.Arguments, c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Editors, DesktopExecTest,
    ::testing::Values(
        TExecCase{"Vim", "vim %F", false, 12, {"vim", "+12", Spaced}},
        TExecCase{"VimInTerminal", "vim %F", true, 12, {"x-terminal-emulator", "-e", "vim", "+12", Spaced}},
        TExecCase{"Emacs", "/usr/bin/emacs %F", false, 7, {"/usr/bin/emacs", "+7", Spaced}},
        TExecCase{"Nano", "nano %F", true, 3, {"x-terminal-emulator", "-e", "nano", "+3", Spaced}},
        TExecCase{"Gedit", "gedit %U", false, 40, {"gedit", "+40", Spaced}},
        TExecCase{"Kate", "kate -b %U", false, 5, {"kate", "-b", "-l", "5", Spaced}},
        TExecCase{"VsCode",
                  "/usr/share/code/code --unity-launch %F",
                  false,
                  9,
                  {"/usr/share/code/code", "--unity-launch", "-g", Spaced + ":9"}},
        TExecCase{"EnvBeforeEditor",
                  "env GDK_BACKEND=x11 gedit %U",
                  false,
                  2,
                  {"env", "GDK_BACKEND=x11", "gedit", "+2", Spaced}},
        TExecCase{"UnknownGetsFileInPlaceOfItsCode",
                  "mousepad --disable-server %F --x",
                  false,
                  8,
                  {"mousepad", "--disable-server", Spaced, "--x"}},
        TExecCase{"UnknownWithoutCodeGetsFileLast", "leafpad", false, 8, {"leafpad", Spaced}},
        TExecCase{"OtherCodesDropped", "gedit %i %c %U", false, 1, {"gedit", "+1", Spaced}},
        TExecCase{"QuotedProgramWithBlanks",
                  "\"/opt/My Editor/kate\" %U",
                  false,
                  4,
                  {"/opt/My Editor/kate", "-l", "4", Spaced}},
        TExecCase{"NoLineNoLineArgument", "vim %F", false, 0, {"vim", Spaced}}),
    [](const ::testing::TestParamInfo<TExecCase>& info) { return std::string(info.param.Name); });

struct TCommandCase {
    const char* Name;
    const char* Command;
    long Line;
    QStringList Expected;
};

class EditorCommandTest : public ::testing::TestWithParam<TCommandCase> { };

TEST_P(EditorCommandTest, Launch)
{
    const TCommandCase& c = GetParam();
    const TEditorLaunch launch = LaunchFromCommand(c.Command, Spaced, c.Line);
    EXPECT_EQ(QStringList{launch.Program} + launch.Arguments, c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, EditorCommandTest,
    ::testing::Values(TCommandCase{"FileAndLine", "vim +%l %f", 12, {"vim", "+12", Spaced}},
                      TCommandCase{"BothInOneWord", "code -g %f:%l", 9, {"code", "-g", Spaced + ":9"}},
                      TCommandCase{"NoFilePlaceholderFileLast", "gedit", 3, {"gedit", Spaced}},
                      TCommandCase{"PercentSign", "ed --mark=100%% %f", 1, {"ed", "--mark=100%", Spaced}},
                      TCommandCase{"UnknownCodeKept", "ed %x %f", 1, {"ed", "%x", Spaced}},
                      TCommandCase{"QuotedProgramWithBlanks",
                                   "\"/opt/My Editor/ed\" --line=%l '%f'",
                                   5,
                                   {"/opt/My Editor/ed", "--line=5", Spaced}},
                      TCommandCase{
                          "BackslashBlank", "/opt/My\\ Editor/ed %f", 5, {"/opt/My Editor/ed", Spaced}},
                      TCommandCase{"NoLineKnownOpensLineOne", "vim +%l %f", 0, {"vim", "+1", Spaced}}),
    [](const ::testing::TestParamInfo<TCommandCase>& info) { return std::string(info.param.Name); });

TEST(EditorCommand, EmptyCommandStartsNothing)
{
    EXPECT_TRUE(LaunchFromCommand("   ", Spaced, 3).Empty());
}

TEST(SplitCommandWords, QuotesAndEscapes)
{
    EXPECT_EQ(SplitCommandWords("  a  \"b c\" 'd \\e' f\\\"g \"\" "),
              (QStringList{"a", "b c", "d \\e", "f\"g", ""}));
}

// A desktop of its own: data and config folders with a text editor entry.
class DesktopEditorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FDir.isValid());
        FFolders.ConfigHome = FDir.filePath("config");
        FFolders.DataHome = FDir.filePath("data");
        QDir().mkpath(FFolders.ConfigHome);
        QDir().mkpath(FFolders.DataHome + "/applications");
    }
    void Entry(const QString& id, const QByteArray& body)
    {
        WriteBytes(FFolders.DataHome + "/applications/" + id, "[Desktop Entry]\nType=Application\n" + body);
    }

    QTemporaryDir FDir;
    TXdgFolders FFolders;
};

TEST_F(DesktopEditorTest, DesktopAnswerFirstThenMimeApps)
{
    Entry("kate.desktop", "Exec=kate %U\n");
    Entry("vim.desktop", "Exec=vim %F\nTerminal=true\n");
    WriteBytes(FFolders.ConfigHome + "/mimeapps.list",
               "[Default Applications]\ntext/plain=missing.desktop;vim.desktop\n");
    EXPECT_EQ(DefaultTextEditorEntry(FFolders, [] { return QString("kate.desktop\n"); }),
              FFolders.DataHome + "/applications/kate.desktop");
    EXPECT_EQ(DefaultTextEditorEntry(FFolders, [] { return QString("gone.desktop"); }),
              FFolders.DataHome + "/applications/vim.desktop");
    EXPECT_EQ(DefaultTextEditorEntry(FFolders, {}), FFolders.DataHome + "/applications/vim.desktop");
    EXPECT_EQ(DesktopEntryValue(FFolders.DataHome + "/applications/vim.desktop", "Terminal"), "true");
}

TEST_F(DesktopEditorTest, OpenInEditorStartsTheDesktopsEditorWithoutAShell)
{
    Entry("org.gnome.gedit.desktop", "Exec=gedit %U\n");
    qputenv("XDG_DATA_HOME", FFolders.DataHome.toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", FFolders.ConfigHome.toLocal8Bit());
    qputenv("XDG_DATA_DIRS", FDir.filePath("none").toLocal8Bit());
    qputenv("XDG_CONFIG_DIRS", FDir.filePath("none").toLocal8Bit());
    const auto previous = DesktopTextEditorQuestion;
    DesktopTextEditorQuestion = [] { return QString("org.gnome.gedit.desktop"); };
    TScriptedShell shell;

    EXPECT_EQ(OpenInEditor({}, Spaced, 31), TEditorStart::Started);
    EXPECT_EQ(OpenInEditor("vim +%l %f", Spaced, 32), TEditorStart::Started)
        << "the settings' command comes first";
    DesktopTextEditorQuestion = [] { return QString(); };
    EXPECT_EQ(OpenInEditor({}, Spaced, 33), TEditorStart::NoEditor)
        << "no editor: nothing is started, not even the desktop's handler, which would lose the line";
    shell.Result = false;
    EXPECT_EQ(OpenInEditor("vim +%l %f", Spaced, 34), TEditorStart::Failed);

    ASSERT_EQ(shell.Launched.size(), 3u);
    EXPECT_EQ(shell.Launched[0], (QStringList{"gedit", "+31", Spaced}));
    EXPECT_EQ(shell.Launched[1], (QStringList{"vim", "+32", Spaced}));
    EXPECT_TRUE(shell.Opened.empty());
    EXPECT_TRUE(shell.Started.empty());
    DesktopTextEditorQuestion = previous;
}

} // namespace
