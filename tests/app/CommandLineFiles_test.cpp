// Files that reach the list from the command line's wildcards, and the saved list replaced in one step.
#include "tests/support/WindowFixture.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

class CommandLineFilesTest : public WindowTest {
protected:
    QString Make(const QString& name, const QByteArray& bytes = "x\n") const { return MakeFile(name, bytes); }
};

TEST_F(CommandLineFilesTest, WildcardMatchesAreListedSortedByName)
{
    // Made out of order, so that the folder's own order is unlikely to be the sorted one.
    for (const char* name : {"m.log", "c.log", "z.log", "a.log", "B.log", "k.log"}) {
        Make(name);
    }
    Make("a.txt");
    Create({FDir.filePath("*.log")});
    const QString folder = FDir.path() + "/";
    EXPECT_EQ(Rows(), QStringList({folder + "B.log", folder + "a.log", folder + "c.log", folder + "k.log",
                                   folder + "m.log", folder + "z.log"}));
    EXPECT_TRUE(FDialogs.Messages.empty());
}

TEST_F(CommandLineFilesTest, PatternWhoseFirstNameByOrderIsAFolderIsAWrongFilename)
{
    Make("b.log");
    Make("c.log");
    ASSERT_TRUE(QDir(FDir.path()).mkdir("a.log"));
    Create({FDir.filePath("*.log")});
    ASSERT_EQ(FDialogs.Messages.size(), 1u);
    EXPECT_EQ(FDialogs.Messages[0].Text, "Wrong filename!");
    EXPECT_TRUE(Rows().isEmpty());
}

TEST_F(CommandLineFilesTest, SavingTheListReplacesTheFileInOneStep)
{
    const QString a = Make("a.txt");
    const QString list = Make("sifton.lst", "old list\r\n");
    // Whoever reads the old list while it is replaced reads all of it, never half of the new one.
    const int reader = ::open(QFile::encodeName(list).constData(), O_RDONLY);
    ASSERT_GE(reader, 0);
    Create({a});
    FForm->cmdFLSaveClick();
    char buffer[64] = {};
    const ssize_t n = ::pread(reader, buffer, sizeof buffer, 0);
    ::close(reader);
    EXPECT_EQ(QByteArray(buffer, int(n)), "old list\r\n");
    QFile saved(list);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), QFile::encodeName(a) + "\r\n");
    EXPECT_EQ(QDir(FDir.path()).entryList(QDir::Files | QDir::Hidden).filter("sifton.lst").size(), 1)
        << "no temporary copy left behind";
}

} // namespace
