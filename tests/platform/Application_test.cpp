#include "platform/Application.h"
#include "platform/GuiDispatcher.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QThread>

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {

struct ExtCase {
    const char* Name;
    const char* Path;
    const char* Ext;
    const char* Expected;
};

class ChangeFileExtTest : public ::testing::TestWithParam<ExtCase> { };

TEST_P(ChangeFileExtTest, Replaces)
{
    const ExtCase& c = GetParam();
    EXPECT_EQ(Application::ChangeFileExt(QString::fromUtf8(c.Path), QString::fromUtf8(c.Ext)),
              QString::fromUtf8(c.Expected));
}

INSTANTIATE_TEST_SUITE_P(
    Names, ChangeFileExtTest,
    ::testing::Values(
        ExtCase{"NoExtensionAppends", "/opt/sifton/sifton", ".ini", "/opt/sifton/sifton.ini"},
        ExtCase{"ExtensionReplaced", "/opt/sifton/sifton.exe", ".out", "/opt/sifton/sifton.out"},
        ExtCase{"OnlyTheLastExtension", "/opt/sifton/sifton.tar.gz", ".lst", "/opt/sifton/sifton.tar.lst"},
        ExtCase{"DotInFolderIsNotAnExtension", "/opt/v1.2/sifton", ".ini", "/opt/v1.2/sifton.ini"},
        ExtCase{"HiddenNameKeepsItsDot", "/home/u/.sifton", ".ini", "/home/u/.sifton.ini"},
        ExtCase{"BareName", "sifton", ".ini", "sifton.ini"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(ApplicationTest, ExeNameIsThisProgramsFullPath)
{
    const QString exe = Application::ExeName();
    EXPECT_TRUE(QFileInfo(exe).isAbsolute());
    EXPECT_EQ(QFileInfo(exe).canonicalFilePath(),
              QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath());
    EXPECT_EQ(Application::FileBeside(QStringLiteral(".ini")), exe + QStringLiteral(".ini"));
}

TEST(ApplicationTest, TitleSetFromAWorkerNotifiesOnTheGuiThread)
{
    QString seen;
    bool onGui = false;
    Application::SetOnTitleChange([&](const QString& title) {
        seen = title;
        onGui = IsGuiThread();
    });
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        Application::SetTitle(QStringLiteral("Searching /tmp/a.txt"));
        returned = true;
    });
    WaitProcessingEvents([&] { return returned.load(); });
    worker.join();
    Application::SetOnTitleChange(nullptr);
    EXPECT_EQ(seen, QStringLiteral("Searching /tmp/a.txt"));
    EXPECT_TRUE(onGui);
    EXPECT_EQ(Application::Title(), QStringLiteral("Searching /tmp/a.txt"));
}

TEST(ApplicationTest, CursorShapesAndBackToNormal)
{
    ASSERT_EQ(QGuiApplication::overrideCursor(), nullptr);
    Application::SetCursor(crAppStart);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BusyCursor);
    Application::SetCursor(crHourGlass);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    Application::SetCursor(crHourGlass);
    Application::SetCursor(crDefault);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "one restore undoes every shape set before";
    EXPECT_EQ(Application::Cursor(), crDefault);
}

TEST(ApplicationTest, CursorSetFromAWorker)
{
    std::atomic<bool> returned{false};
    std::thread worker([&] {
        Application::SetCursor(crAppStart);
        returned = true;
    });
    WaitProcessingEvents([&] { return returned.load(); });
    worker.join();
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::BusyCursor);
    Application::SetCursor(crDefault);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

} // namespace
