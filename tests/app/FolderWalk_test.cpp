// The walk behind Add Folder: which files a folder gives, in which order, and how the masks match.
#include "app/FolderWalk.h"
#include "tests/support/TestFiles.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class FolderWalkTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(FDir.isValid()); }

    QString Root() const { return FDir.path(); }
    void Make(const QString& relative) const { WriteBytes(Root() + "/" + relative, "x\n"); }
    void Link(const QString& target, const QString& relative)
    {
        ASSERT_EQ(::symlink(QFile::encodeName(target).constData(),
                            QFile::encodeName(Root() + "/" + relative).constData()),
                  0);
    }
    // The walk's paths, relative to the root.
    QStringList Walk(bool subfolders, const QString& masks = {}, const QString& folder = {}) const
    {
        return WalkWith(subfolders, TNameFilter(masks), folder);
    }
    QStringList WalkWith(bool subfolders, const TNameFilter& filter, const QString& folder = {}) const
    {
        QStringList found;
        WalkFolder(folder.isEmpty() ? Root() : folder, subfolders, filter,
                   [&](const QString& path) { found.append(path.mid(Root().size() + 1)); });
        return found;
    }

    QTemporaryDir FDir;
};

} // namespace

TEST_F(FolderWalkTest, NameOrderDepthFirstWithSubfolderWhereItsNameSorts)
{
    for (const char* name : {"m.txt", "B.txt", "a.txt", "k/z.txt", "k/c/d.txt", "k/b.txt", "z/1.txt"}) {
        Make(name);
    }
    EXPECT_EQ(Walk(true),
              (QStringList{"B.txt", "a.txt", "k/b.txt", "k/c/d.txt", "k/z.txt", "m.txt", "z/1.txt"}));
}

TEST_F(FolderWalkTest, WithoutSubfoldersOnlyTheFilesDirectlyInside)
{
    for (const char* name : {"b.txt", "a/x.txt", "c.log"}) {
        Make(name);
    }
    EXPECT_EQ(Walk(false), (QStringList{"b.txt", "c.log"}));
}

TEST_F(FolderWalkTest, HiddenFilesAndHiddenFoldersLeftOut)
{
    for (const char* name : {".hidden", ".git/config", "sub/.secret", "sub/seen", "seen"}) {
        Make(name);
    }
    EXPECT_EQ(Walk(true), (QStringList{"seen", "sub/seen"}));
}

TEST_F(FolderWalkTest, LinkToFolderNotEnteredLinkToFileListed)
{
    Make("real/inside.txt");
    Make("target.txt");
    Link(Root() + "/real", "alink");
    Link(Root() + "/target.txt", "flink.txt");
    Link(Root() + "/missing", "dangling.txt");
    Link(Root(), "real/loop"); // would never end if followed
    EXPECT_EQ(Walk(true), (QStringList{"flink.txt", "real/inside.txt", "target.txt"}));
}

TEST_F(FolderWalkTest, PipesAreNotFiles)
{
    Make("a.txt");
    ASSERT_EQ(::mkfifo(QFile::encodeName(Root() + "/pipe").constData(), 0600), 0);
    EXPECT_EQ(Walk(true), (QStringList{"a.txt"}));
}

TEST_F(FolderWalkTest, TrailingSlashGivesOneSlash)
{
    Make("a.txt");
    EXPECT_EQ(Walk(false, {}, Root() + "//"), (QStringList{"a.txt"}));
}

TEST_F(FolderWalkTest, NoFolderGivesNothing)
{
    Make("file.txt");
    EXPECT_TRUE(Walk(true, {}, Root() + "/file.txt").isEmpty());
    EXPECT_TRUE(Walk(true, {}, Root() + "/missing").isEmpty());
}

TEST_F(FolderWalkTest, StopEndsTheWalkAtOnce)
{
    for (const char* name : {"a", "b", "c", "d"}) {
        Make(name);
    }
    QStringList found;
    const bool finished = WalkFolder(
        Root(), true, TNameFilter(), [&](const QString& path) { found.append(path); },
        [&] { return found.size() == 2; });
    EXPECT_FALSE(finished);
    EXPECT_EQ(found.size(), 2);
    EXPECT_TRUE(WalkFolder(
        Root(), true, TNameFilter(), [](const QString&) {}, [] { return false; }));
}

TEST_F(FolderWalkTest, MaskAppliesToFilesNotToFolders)
{
    for (const char* name : {"a.log", "b.txt", "c.dat", "logs.d/x.log", "logs.d/y.dat"}) {
        Make(name);
    }
    EXPECT_EQ(Walk(true, "*.log;*.txt"), (QStringList{"a.log", "b.txt", "logs.d/x.log"}));
}

TEST_F(FolderWalkTest, RotatedLogsByTheMasksAsWritten)
{
    for (const char* name : {"auth.log", "auth.log.1", "auth.log.2.gz", "syslog", "syslog.1.gz", "catalog"}) {
        Make(name);
    }
    EXPECT_EQ(Walk(false, "*.log;*.log.*"), (QStringList{"auth.log", "auth.log.1", "auth.log.2.gz"}));
}

TEST_F(FolderWalkTest, ExcludeLeavesOutFilesAndFoldersOfItsNames)
{
    for (const char* name : {"a.log", "a.log.1.gz", "old/b.log", "keep/OLD.txt", "keep/c.log"}) {
        Make(name);
    }
    EXPECT_EQ(WalkWith(true, TNameFilter({}, " *.gz ; old ")),
              (QStringList{"a.log", "keep/OLD.txt", "keep/c.log"}));
    EXPECT_EQ(WalkWith(true, TNameFilter({}, "*.GZ;OLD*")), (QStringList{"a.log", "keep/c.log"}))
        << "either case";
    EXPECT_EQ(WalkWith(true, TNameFilter("*.log", "*.gz")),
              (QStringList{"a.log", "keep/c.log", "old/b.log"}));
}

TEST_F(FolderWalkTest, HiddenFilesAndFoldersWhenAskedFor)
{
    for (const char* name : {".hidden", ".git/config", "sub/.secret", "sub/seen", "seen"}) {
        Make(name);
    }
    EXPECT_EQ(WalkWith(true, TNameFilter({}, {}, false)),
              (QStringList{".git/config", ".hidden", "seen", "sub/.secret", "sub/seen"}));
    EXPECT_EQ(WalkWith(true, TNameFilter({}, ".git", false)),
              (QStringList{".hidden", "seen", "sub/.secret", "sub/seen"}));
}

struct TMaskCase {
    const char* Name;
    const char* Masks;
    const char* File;
    bool Passes;
};

class NameFilterTest : public ::testing::TestWithParam<TMaskCase> { };

TEST_P(NameFilterTest, Matches)
{
    EXPECT_EQ(TNameFilter(GetParam().Masks).Matches(GetParam().File), GetParam().Passes);
}

INSTANTIATE_TEST_SUITE_P(
    Masks, NameFilterTest,
    ::testing::Values(TMaskCase{"EmptyTakesAll", "", "README", true},
                      TMaskCase{"OnlySeparatorsTakeAll", " ; ;", "README", true},
                      TMaskCase{"StarDotStarTakesNameWithoutExtension", "*.txt;*.*", "README", true},
                      TMaskCase{"SecondMask", "*.log;*.txt", "notes.txt", true},
                      TMaskCase{"NeitherMask", "*.log;*.txt", "notes.txt.bak", false},
                      TMaskCase{"BlanksAroundMask", "  *.log  ;  *.txt ", "a.txt", true},
                      TMaskCase{"CaseOfLettersIgnored", "*.log", "SYSTEM.LOG", true},
                      TMaskCase{"QuestionMarkOneCharacter", "app?.log", "app1.log", true},
                      TMaskCase{"QuestionMarkNotTwo", "app?.log", "app12.log", false},
                      TMaskCase{"BracketSet", "[ab]*.txt", "c.txt", false},
                      TMaskCase{"BlankInsideMaskKept", "my notes*", "my notes 2", true},
                      TMaskCase{"RotatedLogByItsSecondMask", "*.log;*.log.*", "kern.log.3.gz", true},
                      TMaskCase{"NoDotLogNoMatch", "*.log;*.log.*", "syslog.3.gz", false}),
    [](const ::testing::TestParamInfo<TMaskCase>& info) { return std::string(info.param.Name); });

TEST(NameFilter, AllOnlyWithoutMasks)
{
    EXPECT_TRUE(TNameFilter().All());
    EXPECT_TRUE(TNameFilter("*").All());
    EXPECT_FALSE(TNameFilter("*.log").All());
}
