#include "platform/IniFile.h"
#include "tests/support/TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/stat.h>

namespace {

struct EditCase {
    const char* Name;
    const char* Before;
    const char* Section;
    const char* Key;
    const char* Value;
    const char* After;
};

class SetProfileStringTest : public ::testing::TestWithParam<EditCase> { };

TEST_P(SetProfileStringTest, ChangesOnlyWhatTheWriteNeeds)
{
    const EditCase& c = GetParam();
    EXPECT_EQ(SetProfileString(c.Before, c.Section, c.Key, c.Value), QByteArray(c.After));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SetProfileStringTest,
    ::testing::Values(
        EditCase{"ValueReplacedInItsLine", "; mine\n[Options]\nA=1\nB=2\n\n[Other]\nB=9\n", "Options", "B",
                 "5", "; mine\n[Options]\nA=1\nB=5\n\n[Other]\nB=9\n"},
        EditCase{"NamesCompareWithoutCase", "[OPTIONS]\ncount LINES=1\n", "Options", "Count Lines", "0",
                 "[OPTIONS]\ncount LINES=0\n"},
        EditCase{"SpacingBeforeTheValueKept", "[S]\n  K = 1  \n", "S", "K", "7", "[S]\n  K = 7\n"},
        EditCase{"NewKeyAfterTheSectionsLastKey", "[S]\nA=1\n\n; about T\n[T]\nX=1\n", "S", "B", "2",
                 "[S]\nA=1\nB=2\n\n; about T\n[T]\nX=1\n"},
        EditCase{"NewKeyInAnEmptySection", "[S]\n[T]\n", "S", "B", "2", "[S]\nB=2\n[T]\n"},
        EditCase{"NewSectionAtTheEnd", "[T]\nX=1\n", "S", "B", "2", "[T]\nX=1\n[S]\nB=2\n"},
        EditCase{"LastLineWithoutLineEnd", "[T]\nX=1", "S", "B", "2", "[T]\nX=1\n[S]\nB=2\n"},
        EditCase{"HeaderWithoutLineEnd", "[S]", "S", "B", "2", "[S]\nB=2\n"},
        EditCase{"EmptyFile", "", "S", "B", "2", "[S]\nB=2\n"},
        EditCase{"WindowsLineEndsKept", "[S]\r\nA=1\r\n", "S", "A", "22", "[S]\r\nA=22\r\n"},
        EditCase{"WindowsLineEndsForNewLines", "[S]\r\nA=1\r\n", "S", "B", "2", "[S]\r\nA=1\r\nB=2\r\n"},
        EditCase{"FirstOfTwoSameSections", "[S]\nA=1\n[s]\nA=2\n", "S", "A", "3", "[S]\nA=3\n[s]\nA=2\n"},
        EditCase{"CommentedKeyIsNotTheKey", "[S]\n;A=1\n", "S", "A", "2", "[S]\nA=2\n;A=1\n"},
        EditCase{"KeyOutsideAnySectionIgnored", "A=1\n[S]\n", "S", "A", "2", "A=1\n[S]\nA=2\n"},
        EditCase{"ValueCannotBreakTheLine", "[S]\nA=1\n", "S", "A", "x\ny", "[S]\nA=x y\n"},
        EditCase{"EmptyValue", "[S]\nA=1\n", "S", "A", "", "[S]\nA=\n"}),
    [](const auto& info) { return std::string(info.param.Name); });

struct IntCase {
    const char* Name;
    const char* Text;
    bool Ok;
    int Value;
};

class ParseProfileIntegerTest : public ::testing::TestWithParam<IntCase> { };

TEST_P(ParseProfileIntegerTest, Converts)
{
    const IntCase& c = GetParam();
    int value = -12345;
    EXPECT_EQ(ParseProfileInteger(c.Text, value), c.Ok);
    if (c.Ok) {
        EXPECT_EQ(value, c.Value);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseProfileIntegerTest,
    ::testing::Values(
        IntCase{"Decimal", "7", true, 7}, IntCase{"Negative", "-1", true, -1}, IntCase{"Plus", "+5", true, 5},
        IntCase{"Hex", "0x2", true, 2}, IntCase{"HexUpper", "0X1f", true, 31},
        IntCase{"HexAllBits", "0xFFFFFFFF", true, -1}, IntCase{"HexTooWide", "0x100000000", false, 0},
        IntCase{"HexLeadingZeros", "0x0000000010", true, 16}, IntCase{"PrefixOnly", "0x", false, 0},
        IntCase{"HexBadDigit", "0x2g", false, 0}, IntCase{"Word", "yes", false, 0},
        IntCase{"Empty", "", false, 0}, IntCase{"SignOnly", "-", false, 0},
        IntCase{"InnerSpace", "1 2", false, 0}, IntCase{"Max", "2147483647", true, 2147483647},
        IntCase{"Min", "-2147483648", true, -2147483647 - 1}, IntCase{"Overflow", "2147483648", false, 0},
        IntCase{"FiveMillion", "5000000", true, 5000000}),
    [](const auto& info) { return std::string(info.param.Name); });

class IniFileTest : public ::testing::Test {
protected:
    QString Path(const QString& name) const { return FDir.filePath(name); }

    QStringList FolderEntries() const
    {
        return QDir(FDir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    QTemporaryDir FDir;
};

TEST_F(IniFileTest, ReadingAMissingFileGivesTheDefaultAndCreatesNothing)
{
    TIniFile ini(Path("sifton.ini"));
    EXPECT_EQ(ini.ReadString("Options", "Count Lines", "d"), QStringLiteral("d"));
    EXPECT_EQ(ini.ReadInteger("Options", "Refresh Rate", 1000), 1000);
    EXPECT_FALSE(QFileInfo::exists(Path("sifton.ini")));
}

TEST_F(IniFileTest, ReadTrimsAndUnquotesAndLeavesTheFileAlone)
{
    const QByteArray content = "[Reseller]\r\nCompany =  \"Acme  Ltd\"  \r\nURL=www.acme.example\r\n";
    WriteBytes(Path("s.ini"), content);
    TIniFile ini(Path("s.ini"));
    EXPECT_EQ(ini.ReadString("reseller", "company", "x"), QStringLiteral("Acme  Ltd"));
    EXPECT_EQ(ini.ReadString("Reseller", "URL", "x"), QStringLiteral("www.acme.example"));
    EXPECT_EQ(ini.ReadString("Reseller", "Phone", "none"), QStringLiteral("none"));
    EXPECT_EQ(ini.ReadString("Other", "URL", "none"), QStringLiteral("none"));
    EXPECT_EQ(ReadBytes(Path("s.ini")), content);
}

TEST_F(IniFileTest, ValueIsReadThroughA1024ByteBuffer)
{
    WriteBytes(Path("s.ini"), "[S]\nLong=" + QByteArray(2000, 'v') + "\n");
    TIniFile ini(Path("s.ini"));
    EXPECT_EQ(ini.ReadString("S", "Long", "").size(), 1023);
}

TEST_F(IniFileTest, WriteCreatesTheFileAndReadsBack)
{
    TIniFile ini(Path("sifton.ini"));
    ini.WriteBool("Options", "Count Lines", true);
    ini.WriteInteger("Options", "Default Operator", -1);
    EXPECT_EQ(ReadBytes(Path("sifton.ini")), QByteArray("[Options]\nCount Lines=1\nDefault Operator=-1\n"));
    EXPECT_TRUE(ini.ReadBool("Options", "Count Lines", false));
    EXPECT_EQ(ini.ReadInteger("Options", "Default Operator", 0), -1);
    EXPECT_EQ(FolderEntries(), QStringList{"sifton.ini"}) << "no temporary file left behind";
}

TEST_F(IniFileTest, WriteKeepsTheFilesPermissions)
{
    WriteBytes(Path("s.ini"), "[S]\nA=1\n");
    ASSERT_EQ(::chmod(Path("s.ini").toLocal8Bit().constData(), 0640), 0);
    TIniFile(Path("s.ini")).WriteInteger("S", "A", 2);
    struct stat st { };
    ASSERT_EQ(::stat(Path("s.ini").toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(ReadBytes(Path("s.ini")), QByteArray("[S]\nA=2\n"));
}

TEST_F(IniFileTest, WriteThroughALinkChangesTheFileNotTheLink)
{
    WriteBytes(Path("real.ini"), "[S]\nA=1\n");
    ASSERT_TRUE(QFile::link(Path("real.ini"), Path("link.ini")));
    TIniFile(Path("link.ini")).WriteInteger("S", "A", 2);
    EXPECT_TRUE(QFileInfo(Path("link.ini")).isSymLink());
    EXPECT_EQ(ReadBytes(Path("real.ini")), QByteArray("[S]\nA=2\n"));
}

struct RefusedCase {
    const char* Name;
    const char* Where; // relative to the test folder, or absolute
};

class RefusedWriteTest : public IniFileTest, public ::testing::WithParamInterface<RefusedCase> { };

TEST_P(RefusedWriteTest, RaisesUnableToWriteWithTheFullPathAndChangesNothing)
{
    const QByteArray old = "; keep\n[Options]\nCount Lines=0\n";
    WriteBytes(Path("readonly.ini"), old);
    ASSERT_EQ(::chmod(Path("readonly.ini").toLocal8Bit().constData(), 0444), 0);
    QDir(FDir.path()).mkdir("folder.ini");

    const QString where = QString::fromUtf8(GetParam().Where);
    const QString path = where.startsWith('/') ? where : Path(where);
    TIniFile ini(path);
    try {
        ini.WriteBool("Options", "Count Lines", true);
        FAIL() << "the write was not refused";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(QString::fromLocal8Bit(e.what()),
                  QStringLiteral("Unable to write to ") + QFileInfo(path).absoluteFilePath());
    }
    EXPECT_EQ(ReadBytes(Path("readonly.ini")), old);
    EXPECT_EQ(FolderEntries(), (QStringList{"folder.ini", "readonly.ini"}))
        << "no temporary file left behind";
}

INSTANTIATE_TEST_SUITE_P(Cases, RefusedWriteTest,
                         ::testing::Values(RefusedCase{"ReadOnlyFile", "readonly.ini"},
                                           RefusedCase{"MissingFolder", "nowhere/sifton.ini"},
                                           RefusedCase{"FolderInsteadOfFile", "folder.ini"},
                                           RefusedCase{"UnreadableFile", "/proc/self/mem"},
                                           RefusedCase{"DeviceThatFailsWrites", "/dev/full"}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(IniFileTest, ReadOnlyFileStillReads)
{
    WriteBytes(Path("readonly.ini"), "[Options]\nCount Words=1\n");
    ASSERT_EQ(::chmod(Path("readonly.ini").toLocal8Bit().constData(), 0444), 0);
    EXPECT_TRUE(TIniFile(Path("readonly.ini")).ReadBool("Options", "Count Words", false));
}

} // namespace
