#include "app/Settings.h"
#include "app/Unit1.h"
#include "platform/Application.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestFiles.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace Settings;

class SettingsTest : public ::testing::Test {
protected:
    QString Path() const { return FDir.filePath("sifton.ini"); }

    void Put(const QByteArray& content) const { WriteBytes(Path(), content); }
    QByteArray Get() const { return ReadBytes(Path()); }

    QTemporaryDir FDir;
};

TEST_F(SettingsTest, FileIsBesideTheProgram)
{
    EXPECT_EQ(Settings::FileName(), Application::ExeName() + ".ini");
}

TEST_F(SettingsTest, FirstRunWithoutAFileGivesTheDefaults)
{
    const TOptions options = TSettings(Path()).ReadOptions();
    const std::array<bool, OptionFlagCount> expected{true,  false, true,  false, false, false, false,
                                                     false, true,  false, true,  true,  false};
    EXPECT_EQ(options.Flags, expected) << "Line Counting, Progress Indication, Unix Text, Verbose Output and "
                                          "Search Compressed Files checked";
    EXPECT_EQ(options.DefaultOperator, 0);
    EXPECT_EQ(options.RefreshRate, 1000);
    EXPECT_FALSE(QFileInfo::exists(Path()));

    const TReseller reseller = TSettings(Path()).ReadReseller();
    EXPECT_EQ(reseller.Company, QString::fromLatin1(CompanyDefault));
    EXPECT_EQ(reseller.URL, QString::fromLatin1(UrlDefault));
    EXPECT_EQ(reseller.Email, QString::fromLatin1(EmailDefault));
    EXPECT_EQ(reseller.Phone, QString::fromLatin1(PhoneDefault));
}

TEST_F(SettingsTest, FirstWriteHoldsAllSixteenKeysInTableOrder)
{
    TSettings settings(Path());
    settings.WriteOptions(settings.ReadOptions());
    EXPECT_EQ(Get(),
              QByteArray("[Options]\nCount Lines=1\nCount Words=0\nProgress Indicator=1\nTotal Clear=0\n"
                         "Load file list=0\nCase Sensitive=0\nReverse Logic=0\nSafe After=0\nUnix File=1\n"
                         "One Instance=0\nOutput Names=1\nDefault Operator=0\nRefresh Rate=1000\n"
                         "Regular Expressions=0\nDecompress=1\nSkip Binary=0\n"));
}

TEST_F(SettingsTest, RegularExpressionsReadAsAFlagOffWhenAbsent)
{
    EXPECT_FALSE(TSettings(Path()).ReadOptions().RegularExpressions);
    for (const auto& [stored, expected] : {std::pair{"1", true}, {"2", true}, {"0", false}, {"yes", false}}) {
        Put(QByteArray("[Options]\nRegular Expressions=") + stored + "\n");
        EXPECT_EQ(TSettings(Path()).ReadOptions().RegularExpressions, expected) << stored;
    }
    QFile::remove(Path());
    TOptions options;
    options.RegularExpressions = true;
    TSettings(Path()).WriteOptions(options);
    EXPECT_TRUE(Get().contains("Refresh Rate=1000\nRegular Expressions=1\n"));
    EXPECT_TRUE(TSettings(Path()).ReadOptions().RegularExpressions);
}

struct FlagCase {
    const char* Name;
    const char* Stored;
    TOptionFlag Flag;
    bool Expected;
};

class FlagReadTest : public SettingsTest, public ::testing::WithParamInterface<FlagCase> { };

TEST_P(FlagReadTest, Reads)
{
    const FlagCase& c = GetParam();
    Put(QByteArray("[Options]\n") + OptionFlags[c.Flag].Key + "=" + c.Stored + "\n");
    EXPECT_EQ(TSettings(Path()).ReadFlag(c.Flag), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, FlagReadTest,
                         ::testing::Values(FlagCase{"TwoIsChecked", "2", CountLines, true},
                                           FlagCase{"MinusOneIsChecked", "-1", CountLines, true},
                                           FlagCase{"ZeroIsUnchecked", "0", CountLines, false},
                                           FlagCase{"WordGivesCheckedDefault", "yes", CountLines, true},
                                           FlagCase{"WordGivesUncheckedDefault", "yes", CountWords, false},
                                           FlagCase{"HexOneIsChecked", "0x1", CountWords, true},
                                           FlagCase{"UnixFileStoredZeroStaysDos", "0", UnixFile, false},
                                           FlagCase{"UnixFileWordGivesUnix", "yes", UnixFile, true},
                                           FlagCase{"DecompressWordGivesChecked", "yes", Decompress, true},
                                           FlagCase{"DecompressZeroIsUnchecked", "0", Decompress, false},
                                           FlagCase{"SkipBinaryWordGivesUnchecked", "yes", SkipBinary, false},
                                           FlagCase{"SkipBinaryOneIsChecked", "1", SkipBinary, true}),
                         [](const auto& info) { return std::string(info.param.Name); });

struct IntegerCase {
    const char* Name;
    const char* Key;
    const char* Stored;
    int Operator;
    int RefreshShown;
};

class IntegerReadTest : public SettingsTest, public ::testing::WithParamInterface<IntegerCase> { };

TEST_P(IntegerReadTest, Reads)
{
    const IntegerCase& c = GetParam();
    Put(QByteArray("[Options]\n") + c.Key + "=" + c.Stored + "\n");
    const TOptions options = TSettings(Path()).ReadOptions();
    EXPECT_EQ(options.DefaultOperator, c.Operator);
    EXPECT_EQ(ClampRefreshRate(options.RefreshRate), c.RefreshShown);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IntegerReadTest,
    ::testing::Values(IntegerCase{"HexOperatorSelectsXor", "Default Operator", "0x2", 2, 1000},
                      IntegerCase{"OperatorOutOfRangeLeavesAnd", "Default Operator", "7", 0, 1000},
                      IntegerCase{"OperatorFourIsIgnored", "Default Operator", "4", 0, 1000},
                      IntegerCase{"OperatorNoneSelected", "Default Operator", "-1", -1, 1000},
                      IntegerCase{"RefreshBelowRange", "Refresh Rate", "50", 0, 1000},
                      IntegerCase{"RefreshAboveRange", "Refresh Rate", "5000000", 0, 1000000},
                      IntegerCase{"RefreshInRange", "Refresh Rate", "25000", 0, 25000},
                      IntegerCase{"RefreshLetters", "Refresh Rate", "fast", 0, 1000}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(SettingsTest, CommentsAndForeignSectionsSurviveAFullWrite)
{
    Put("; Sifton settings\r\n"
        "[Reseller]\r\n"
        "Company=Acme Ltd\r\n"
        "\r\n"
        "[Options]\r\n"
        "; my favourite\r\n"
        "count lines = 0\r\n"
        "Colour=blue\r\n"
        "Refresh Rate=2000\r\n"
        "\r\n"
        "[Other]\r\n"
        "Count Words=1\r\n");
    TOptions options;
    options.Flags[CountLines] = true;
    options.Flags[CountWords] = true;
    options.DefaultOperator = 3;
    options.RefreshRate = 3000;
    TSettings(Path()).WriteOptions(options);
    EXPECT_EQ(Get(), QByteArray("; Sifton settings\r\n"
                                "[Reseller]\r\n"
                                "Company=Acme Ltd\r\n"
                                "\r\n"
                                "[Options]\r\n"
                                "; my favourite\r\n"
                                "count lines = 1\r\n"
                                "Colour=blue\r\n"
                                "Refresh Rate=3000\r\n"
                                "Count Words=1\r\n"
                                "Progress Indicator=1\r\n"
                                "Total Clear=0\r\n"
                                "Load file list=0\r\n"
                                "Case Sensitive=0\r\n"
                                "Reverse Logic=0\r\n"
                                "Safe After=0\r\n"
                                "Unix File=1\r\n"
                                "One Instance=0\r\n"
                                "Output Names=1\r\n"
                                "Default Operator=3\r\n"
                                "Regular Expressions=0\r\n"
                                "Decompress=1\r\n"
                                "Skip Binary=0\r\n"
                                "\r\n"
                                "[Other]\r\n"
                                "Count Words=1\r\n"));
    EXPECT_EQ(TSettings(Path()).ReadReseller().Company, QStringLiteral("Acme Ltd"));
    EXPECT_EQ(TSettings(Path()).ReadOptions().RefreshRate, 3000);
}

TEST_F(SettingsTest, RefusedWriteReportsThePathAndLeavesTheOldFile)
{
    const QByteArray old = "[Options]\nCount Words=1\nRefresh Rate=5000\n";
    Put(old);
    ASSERT_EQ(::chmod(Path().toLocal8Bit().constData(), 0444), 0);
    TSettings settings(Path());
    const TOptions loaded = settings.ReadOptions();
    EXPECT_TRUE(loaded.Flags[CountWords]) << "the options still load";
    EXPECT_EQ(loaded.RefreshRate, 5000);
    try {
        settings.WriteOptions(loaded);
        FAIL() << "the write was not refused";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(QString::fromLocal8Bit(e.what()), QStringLiteral("Unable to write to ") + Path());
    }
    EXPECT_EQ(Get(), old);
}

// Every write replaces the file by a rename, after syncing the new copy to the disk: closing the window
// must do that once, not once per key. The renames into the folder are counted as they happen; the
// new copies' creations are watched too, since a queue of identical events may be merged into one.
TEST_F(SettingsTest, ClosingTheWindowReplacesTheFileOnce)
{
    TScriptedDialogs dialogs;
    Put("[Options]\nCount Lines=0\n");
    TForm1 form(QStringList{}, FDir.filePath("sifton"));
    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, QFile::encodeName(FDir.path()).constData(), IN_MOVED_TO | IN_CREATE),
              0);
    form.close();
    int replaced = 0;
    alignas(inotify_event) char events[16384];
    for (ssize_t got = 0; (got = ::read(watch, events, sizeof events)) > 0;) {
        for (ssize_t at = 0; at < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(events + at);
            replaced +=
                (event->mask & IN_MOVED_TO) != 0 && event->len > 0 && std::string(event->name) == "sifton.ini"
                    ? 1
                    : 0;
            at += ssize_t(sizeof(inotify_event) + event->len);
        }
    }
    ::close(watch);
    EXPECT_EQ(replaced, 1);
    EXPECT_TRUE(Get().contains("Count Lines=0\nCount Words=0\n")) << Get().toStdString();
    EXPECT_TRUE(dialogs.Messages.empty());
}

TEST_F(SettingsTest, FolderThatDoesNotExistReportsThePath)
{
    const QString path = FDir.filePath("gone/sifton.ini");
    try {
        TSettings(path).WriteOptions(TOptions());
        FAIL() << "the write was not refused";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(QString::fromLocal8Bit(e.what()), QStringLiteral("Unable to write to ") + path);
    }
}

TEST_F(SettingsTest, ResellerKeysFromTheFileAndDefaultsForTheRest)
{
    Put("[Reseller]\nCompany=Acme Ltd\nURL=http://acme.example/\nEmail=shop@acme.example\n");
    const TReseller reseller = TSettings(Path()).ReadReseller();
    EXPECT_EQ(reseller.Company, QStringLiteral("Acme Ltd"));
    EXPECT_EQ(reseller.URL, QStringLiteral("http://acme.example/"));
    EXPECT_EQ(reseller.Email, QStringLiteral("shop@acme.example"));
    EXPECT_EQ(reseller.Phone, QString::fromLatin1(PhoneDefault));
}

struct RateTextCase {
    const char* Name;
    const char* Text;
    int Stored;
};

class RefreshRateTextTest : public ::testing::TestWithParam<RateTextCase> { };

TEST_P(RefreshRateTextTest, NumberOrThousand)
{
    EXPECT_EQ(RefreshRateFromText(QString::fromUtf8(GetParam().Text)), GetParam().Stored);
}

INSTANTIATE_TEST_SUITE_P(Cases, RefreshRateTextTest,
                         ::testing::Values(RateTextCase{"Number", "25000", 25000},
                                           RateTextCase{"Empty", "", 1000},
                                           RateTextCase{"Letters", "abc", 1000}),
                         [](const auto& info) { return std::string(info.param.Name); });

} // namespace
