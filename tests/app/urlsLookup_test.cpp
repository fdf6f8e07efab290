// The browser question asked in the background: OpenURL on the window's thread never waits for it.
// Its own program, since a started lookup stays for the rest of the process.
#include "app/urls.h"
#include "tests/support/ScriptedShell.h"
#include "tests/support/TestFiles.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <future>
#include <gtest/gtest.h>

namespace {

TEST(BrowserLookup, StartedLookupNeverWaitsForTheDesktopsSlowAnswer)
{
    QTemporaryDir root;
    qputenv("XDG_CONFIG_HOME", root.filePath("config").toLocal8Bit());
    qputenv("XDG_CONFIG_DIRS", root.filePath("etc").toLocal8Bit());
    qputenv("XDG_DATA_HOME", root.filePath("data").toLocal8Bit());
    qputenv("XDG_DATA_DIRS", root.filePath("share").toLocal8Bit());
    qunsetenv("XDG_CURRENT_DESKTOP");
    WriteBytes(root.filePath("bin/browser"), "#!/bin/sh\n");
    QFile::setPermissions(root.filePath("bin/browser"), QFile::ReadOwner | QFile::ExeOwner);
    WriteBytes(root.filePath("bin/desk"), "#!/bin/sh\n");
    QFile::setPermissions(root.filePath("bin/desk"), QFile::ReadOwner | QFile::ExeOwner);
    WriteBytes(root.filePath("config/mimeapps.list"),
               "[Default Applications]\nx-scheme-handler/http=mime.desktop\n");
    WriteBytes(root.filePath("data/applications/mime.desktop"),
               "[Desktop Entry]\nType=Application\nName=B\nExec=" +
                   root.filePath("bin/browser").toLocal8Bit() + " %u\n");
    WriteBytes(root.filePath("data/applications/desk.desktop"),
               "[Desktop Entry]\nType=Application\nName=D\nExec=" + root.filePath("bin/desk").toLocal8Bit() +
                   " %u\n");

    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> asked{0};
    DesktopBrowserQuestion = [released, &asked] {
        ++asked;
        released.wait();
        return QString("desk.desktop");
    };
    StartBrowserLookup();
    TScriptedShell shell;
    QElapsedTimer timer;
    timer.start();
    OpenURL("http://www.quorvale.example/");
    EXPECT_LT(timer.elapsed(), 1000) << "the window's thread waited for the question";
    ASSERT_EQ(shell.Started.size(), 1u) << "the mimeapps.list files answered meanwhile";
    EXPECT_TRUE(shell.Opened.empty());

    release.set_value();
    QThread::msleep(200); // the answer comes in at once now
    OpenURL("http://www.quorvale.example/news/");
    ASSERT_EQ(shell.Started.size(), 2u);
    EXPECT_EQ(shell.Started[1].first, root.filePath("bin/desk")) << "the desktop's answer, once in, is used";
    QElapsedTimer wait;
    wait.start();
    while (asked < 2 && wait.elapsed() < 5000) {
        QThread::msleep(5);
    }
    EXPECT_EQ(asked.load(), 2) << "a use asks again for the next one";
    DesktopBrowserQuestion = {};
}

} // namespace
