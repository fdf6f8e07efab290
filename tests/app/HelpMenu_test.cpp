// The main window's Help items and About command, wired to the information windows and OpenURL.
#include "app/frmAbout.h"
#include "app/readme.h"
#include "app/urls.h"
#include "platform/Application.h"
#include "tests/support/ScriptedShell.h"
#include "tests/support/WindowFixture.h"

#include <QApplication>
#include <QFile>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class HelpMenuTest : public WindowTest {
protected:
    QString Browser;

    void SetUp() override
    {
        WindowTest::SetUp();
        Browser = FDir.filePath("bin/webby");
        FDir.Write("bin/webby", "#!/bin/sh\n");
        FDir.Write("config/mimeapps.list", "[Default Applications]\nx-scheme-handler/http=webby.desktop\n");
        FDir.Write("data/applications/webby.desktop",
                   "[Desktop Entry]\nExec=" + Browser.toLocal8Bit() + " %u\n");
        qputenv("XDG_CONFIG_HOME", FDir.filePath("config").toLocal8Bit());
        qputenv("XDG_CONFIG_DIRS", FDir.filePath("none").toLocal8Bit());
        qputenv("XDG_DATA_HOME", FDir.filePath("data").toLocal8Bit());
        qputenv("XDG_DATA_DIRS", FDir.filePath("none").toLocal8Bit());
        DesktopBrowserQuestion = {};
    }

    void TearDown() override
    {
        DesktopBrowserQuestion = AskXdgSettings;
        WindowTest::TearDown();
    }
};

TEST_F(HelpMenuTest, WebItemsStartTheBrowserWithTheMakersAddresses)
{
    TForm1& form = Create();
    TScriptedShell shell;
    for (QAction* item : {form.ProductFeedback1, form.ProductSupport1, form.NewFeaturesList1,
                          form.QuorvaleNews1, form.QuorvaleSoftware1}) {
        item->trigger();
    }
    ASSERT_EQ(shell.Started.size(), 5u);
    QStringList addresses;
    for (const auto& [program, address] : shell.Started) {
        EXPECT_EQ(program, Browser);
        addresses << address;
    }
    EXPECT_TRUE(addresses[0].startsWith("mailto:")) << addresses[0].toStdString();
    for (const QString& address : addresses) {
        EXPECT_TRUE(address.contains("quorvale.example")) << address.toStdString();
    }
    EXPECT_EQ(addresses.removeDuplicates(), 0);
    EXPECT_TRUE(shell.Opened.empty()); // not the mail program, not the shell's association
}

TEST_F(HelpMenuTest, ReadMeFileWithoutTheFileShowsNothing)
{
    ASSERT_FALSE(QFile::exists(ReadmeFileName()));
    TForm1& form = Create();
    bool shown = false;
    QTimer::singleShot(0, [&shown] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            shown = true;
            modal->close();
        }
    });
    form.ReadMeFile1->trigger();
    QApplication::processEvents();
    EXPECT_FALSE(shown);
}

TEST_F(HelpMenuTest, AboutShowsTheOneAboutWindowEachTime)
{
    TForm1& form = Create();
    TAboutBox box(FDir.filePath("none.ini"), &form);
    AboutBox = &box;
    int shown = 0;
    const auto closeIt = [&] {
        if (QApplication::activeModalWidget() == &box) {
            ++shown;
            box.OKButton->click();
        }
    };
    QTimer::singleShot(0, closeIt);
    form.About2->trigger();
    QTimer::singleShot(0, closeIt);
    form.CmdAbout->trigger();
    AboutBox = nullptr;
    EXPECT_EQ(shown, 2);
}

} // namespace
