// Two windows of the program over the same folder, as two running copies would be: the second one must
// still load its options and search, and neither may write into the other's result log.
#include "tests/support/WaitFor.h"
#include "tests/support/WindowFixture.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <memory>

namespace {

class SecondCopyTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        ASSERT_TRUE(FRuntime.isValid());
        FSavedRuntime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", FRuntime.path().toLocal8Bit());
        MakeFile("sifton.ini", "[Options]\r\nCount Lines=0\r\nDefault Operator=1\r\n");
        MakeFile("a.txt", "alpha\nbeta\n");
    }
    void TearDown() override
    {
        qputenv("XDG_RUNTIME_DIR", FSavedRuntime);
        WindowTest::TearDown();
    }

    std::unique_ptr<TForm1> Open(const QStringList& arguments)
    {
        return std::make_unique<TForm1>(arguments, ProgramPath());
    }

    static bool Search(TForm1& form)
    {
        form.CmdSearchClick();
        return WaitFor([&] { return form.SearchThread == nullptr; });
    }

    QTemporaryDir FRuntime;
    QByteArray FSavedRuntime;
};

TEST_F(SecondCopyTest, SecondCopyGetsItsOwnLogLoadsOptionsAndSearches)
{
    auto first = Open({});
    ASSERT_TRUE(FDialogs.Messages.empty());
    auto second = Open({FDir.filePath("a.txt"), "beta"});
    EXPECT_TRUE(FDialogs.Messages.empty()) << FDialogs.Messages[0].Text.toStdString();

    const QString ownLog = QString::fromStdString(second->Log.Path());
    EXPECT_EQ(QFileInfo(ownLog).path(), FRuntime.path());
    EXPECT_FALSE(second->OptionLineCount->isChecked()) << "options loaded";
    EXPECT_EQ(second->FOperator->currentIndex(), 1);
    EXPECT_EQ(second->FString1->toPlainText(), "beta") << "command line applied";

    second->OptionOutputNames->setChecked(false);
    ASSERT_TRUE(Search(*second));
    EXPECT_EQ(ReadBytes(ownLog), "beta\r");
    EXPECT_EQ(ReadBytes(first->ProgramFile(".out")), "") << "the first copy's log is untouched";
    EXPECT_TRUE(FDialogs.Messages.empty());

    second.reset();
    EXPECT_FALSE(QFileInfo::exists(ownLog)) << "removed when the copy ends";
    EXPECT_TRUE(QFileInfo::exists(first->ProgramFile(".out")));
}

TEST_F(SecondCopyTest, TwoExtraCopiesGetTwoLogs)
{
    auto first = Open({});
    auto second = Open({});
    auto third = Open({});
    EXPECT_NE(second->Log.Path(), third->Log.Path());
    EXPECT_NE(second->Log.Path(), first->Log.Path());
    EXPECT_TRUE(FDialogs.Messages.empty());
}

TEST_F(SecondCopyTest, TheFirstCopyGoneTheNextOneUsesTheSharedLogAgain)
{
    auto first = Open({});
    first.reset();
    auto next = Open({});
    EXPECT_EQ(QString::fromStdString(next->Log.Path()), next->ProgramFile(".out"));
}

} // namespace
