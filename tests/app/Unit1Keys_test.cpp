// The main window's keyboard habits and its status tips during a search.
#include "search/RunFlags.h"
#include "tests/support/WaitFor.h"
#include "tests/support/WindowFixture.h"

#include <QApplication>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class Unit1KeysTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        Create();
        ASSERT_TRUE(ShowActive());
    }

    QString Make(const QString& name) const { return MakeFile(name, "alpha\nbeta\n"); }
};

TEST_F(Unit1KeysTest, AltAndTheUnderlinedLetterRunsTheToolButton)
{
    FDialogs.FileAnswers.push_back(std::nullopt);
    QTest::keyClick(FForm.get(), Qt::Key_O, Qt::AltModifier);
    EXPECT_EQ(FDialogs.FileDialogs.size(), 1u) << "Alt+O is the tool bar's Open";
}

TEST_F(Unit1KeysTest, SharedLetterGoesToTheFirstEnabledButton)
{
    FForm->FileListDragDropFiles({Make("a.txt")});
    FForm->FString1->SetText("beta");
    FForm->CmdSave->setEnabled(false);
    QTest::keyClick(FForm.get(), Qt::Key_S, Qt::AltModifier);
    EXPECT_TRUE(WaitFor([this] { return FForm->Viewer->toPlainText().contains("beta"); }))
        << "with Save disabled, Alt+S is Search";
    EXPECT_TRUE(FDialogs.FileDialogs.empty());
}

TEST_F(Unit1KeysTest, DeleteOnTheFileListRemovesTheSelectedRows)
{
    const QString a = Make("a.txt");
    const QString b = Make("b.txt");
    FForm->FileListDragDropFiles({a, b, a});
    FForm->PageControl1->setCurrentWidget(FForm->TabSheet2);
    FForm->FileList->setFocus();
    FForm->FileList->Item(0)->setSelected(true);
    FForm->FileList->Item(2)->setSelected(true);
    QTest::keyClick(FForm->FileList, Qt::Key_Delete);
    ASSERT_EQ(FForm->FileCount(), 1);
    EXPECT_EQ(FForm->FileNameAt(0), b);
}

TEST_F(Unit1KeysTest, EnterInASearchFieldStartsTheSearchOnlyWhenSearchIsEnabled)
{
    FForm->FString1->setFocus();
    FForm->FString1->SetText("beta");
    QTest::keyClick(FForm->FString1, Qt::Key_Return);
    EXPECT_EQ(FForm->SearchThread, nullptr) << "no files: Search is disabled";
    EXPECT_EQ(FForm->FString1->toPlainText(), "beta") << "and Enter types nothing";

    FForm->FileListDragDropFiles({Make("a.txt")});
    ASSERT_TRUE(FForm->CmdSearch->isEnabled());
    FForm->FString2->setFocus();
    QTest::keyClick(FForm->FString2, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_TRUE(WaitFor([this] { return FForm->Viewer->toPlainText().contains("beta"); }));
}

TEST_F(Unit1KeysTest, StatusTipsWaitWhileASearchRuns)
{
    SearchRunning = true;
    QStatusTipEvent during("Start the search");
    QApplication::sendEvent(FForm.get(), &during);
    EXPECT_TRUE(FForm->StatusBar->currentMessage().isEmpty());
    EXPECT_TRUE(FForm->findChild<QWidget*>("StatusPanel0")->isVisible());
    SearchRunning = false;
    QStatusTipEvent idle("Start the search");
    QApplication::sendEvent(FForm.get(), &idle);
    EXPECT_EQ(FForm->StatusBar->currentMessage(), "Start the search") << "idle, tips show as usual";
}

} // namespace
