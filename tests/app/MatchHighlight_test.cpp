// The marks on the strings in the output pane: where they go, with which case rule, in which colour,
// and that they never touch the text.
#include "app/MatchHighlight.h"
#include "controls/richtext/qvtext.h"
#include "search/SearchRequest.h"
#include "tests/support/WindowFixture.h"

#include <QApplication>
#include <QScrollBar>
#include <QStyle>
#include <QTextBlock>

#include <gtest/gtest.h>
#include <sstream>

namespace {

using Ranges = std::vector<std::pair<int, int>>;

struct TFindCase {
    const char* Name;
    const char* Text;
    int From;
    const char* String1;
    const char* String2;
    bool CaseSensitive;
    Ranges Expected;
};

class FindMatchesTest : public ::testing::TestWithParam<TFindCase> { };

TEST_P(FindMatchesTest, Ranges)
{
    const TFindCase& c = GetParam();
    const TMatchStrings strings{QString::fromUtf8(c.String1), QString::fromUtf8(c.String2), c.CaseSensitive,
                                false};
    EXPECT_EQ(FindMatches(QString::fromUtf8(c.Text), c.From, strings), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindMatchesTest,
    ::testing::Values(
        TFindCase{"EveryOccurrence", "error, Error, ERROR", 0, "error", "", false, {{0, 5}, {7, 5}, {14, 5}}},
        TFindCase{"CaseSensitiveOnlyExact", "error, Error, ERROR", 0, "Error", "", true, {{7, 5}}},
        TFindCase{"OnlyAsciiLettersFold",
                  "\xc3\xa9t\xc3\xa9 \xc3\x89T\xc3\x89",
                  0,
                  "\xc3\xa9t\xc3\xa9",
                  "",
                  false,
                  {{0, 3}}},
        TFindCase{"BothStrings", "disk full; timeout", 0, "timeout", "disk", false, {{0, 4}, {11, 7}}},
        TFindCase{"OverlapsJoined", "aaaa", 0, "aaa", "", false, {{0, 4}}},
        TFindCase{"StringsOverlappingEachOtherJoined", "foobar", 0, "foob", "obar", false, {{0, 6}}},
        TFindCase{"NothingBeforeFrom", "12 : 12 apples", 5, "12", "", false, {{5, 2}}},
        TFindCase{"NoStringsNoMarks", "anything", 0, "", "", false, {}},
        TFindCase{"Absent", "nothing here", 0, "xyz", "", false, {}}),
    [](const ::testing::TestParamInfo<TFindCase>& info) { return std::string(info.param.Name); });

struct TRegexCase {
    const char* Name;
    const char* Text;
    int From;
    const char* String1;
    const char* String2;
    bool CaseSensitive;
    Ranges Expected;
};

class FindRegexMatchesTest : public ::testing::TestWithParam<TRegexCase> { };

TEST_P(FindRegexMatchesTest, Ranges)
{
    const TRegexCase& c = GetParam();
    TMatchStrings strings{QString::fromUtf8(c.String1), QString::fromUtf8(c.String2), c.CaseSensitive, false};
    strings.Regex = true;
    EXPECT_EQ(FindMatches(QString::fromUtf8(c.Text), c.From, strings), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindRegexMatchesTest,
    ::testing::Values(
        TRegexCase{"EveryMatch",
                   "lease renewed, lease pending, Lease revoked",
                   0,
                   "lease [a-z]+ed",
                   "",
                   false,
                   {{0, 13}, {30, 13}}},
        TRegexCase{"CaseSensitive", "Lease revoked, lease freed", 0, "lease [a-z]+ed", "", true, {{15, 11}}},
        TRegexCase{"AnchoredAtTheReportedText", "12 : abc abc", 5, "^abc", "", false, {{5, 3}}},
        TRegexCase{"BothPatternsJoined", "foobar", 0, "fo+b", "o?bar", false, {{0, 6}}},
        TRegexCase{"EmptyMatchesAreNotMarked", "abc", 0, "x*", "", false, {}},
        TRegexCase{"CharactersOfSeveralBytes", "caf\xc3\xa9 au lait", 0, "\xc3\xa9", "", true, {{3, 1}}},
        TRegexCase{"ByteOfACharacterMarksTheCharacter", "caf\xc3\xa9!", 0, "f.", "", true, {{2, 2}}},
        TRegexCase{"APatternThatDoesNotCompileMarksNothing", "a(b", 0, "a(b", "", false, {}}),
    [](const ::testing::TestParamInfo<TRegexCase>& info) { return std::string(info.param.Name); });

TEST(MatchStringsOfTest, ARegexRunMarksItsPatternsAsTyped)
{
    SearchInputs inputs;
    inputs.String1 = "lease [a-z]+ed";
    inputs.String2 = "\\d+";
    inputs.Regex = true;
    const TMatchStrings strings = MatchStringsOf(PrepareRequest(inputs));
    EXPECT_TRUE(strings.Regex);
    EXPECT_EQ(strings.String1, "lease [a-z]+ed");
    EXPECT_EQ(strings.String2, "\\d+") << "not folded into \\D+";
    EXPECT_EQ(FindMatches("Lease revoked 42", 0, strings), (Ranges{{0, 13}, {14, 2}}));
}

TEST(CharacterPositionTest, BytesOfUtf8CountAsTheirCharacter)
{
    const QString text = QString::fromUtf8("\xc3\xa9t\xc3\xa9 \xf0\x9f\x98\x80x");
    EXPECT_EQ(CharacterPosition(text, 0), 0);
    EXPECT_EQ(CharacterPosition(text, 2), 1);
    EXPECT_EQ(CharacterPosition(text, 3), 2);
    EXPECT_EQ(CharacterPosition(text, 6), 4);
    EXPECT_EQ(CharacterPosition(text, 10), 6) << "after a character outside the basic plane";
    EXPECT_EQ(CharacterPosition(text, 99), text.size());
}

struct TStartCase {
    const char* Name;
    const char* Line;
    bool Numbered;
    int Expected;
};

class ReportedTextStartTest : public ::testing::TestWithParam<TStartCase> { };

TEST_P(ReportedTextStartTest, Column)
{
    EXPECT_EQ(ReportedTextStart(QString::fromUtf8(GetParam().Line), GetParam().Numbered),
              GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ReportedTextStartTest,
    ::testing::Values(TStartCase{"NewSearchLine", "*****  New Search  *****", false, -1},
                      TStartCase{"FileHeader", "***** File: \"/a b/c.txt\"- Search Pattern=foo or bar *****",
                                 true, -1},
                      TStartCase{"PlainLine", "3 : text", false, 0},
                      TStartCase{"NumberedLine", "123 : text", true, 6},
                      TStartCase{"NumberedRunLineWithoutPrefix", "rest of a line", true, 0},
                      TStartCase{"DigitsWithoutSeparator", "123:text", true, 0}),
    [](const ::testing::TestParamInfo<TStartCase>& info) { return std::string(info.param.Name); });

// WCAG contrast of two colours.
double Contrast(const QColor& a, const QColor& b)
{
    const auto luminance = [](const QColor& c) {
        const auto channel = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double la = luminance(a) + 0.05;
    const double lb = luminance(b) + 0.05;
    return std::max(la, lb) / std::min(la, lb);
}

QPalette DarkPalette()
{
    QPalette dark;
    dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    dark.setColor(QPalette::Text, QColor(0xe0, 0xe0, 0xe0));
    dark.setColor(QPalette::Highlight, QColor(0x2a, 0x82, 0xda));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    return dark;
}

TEST(MatchColor, TextStaysReadableAndMarksDifferFromSelectionInLightAndDarkPalettes)
{
    for (const QPalette& palette : {QApplication::style()->standardPalette(), DarkPalette()}) {
        const QColor mark = TMatchHighlighter::MatchColor(palette);
        EXPECT_GE(Contrast(mark, palette.color(QPalette::Text)), 4.5) << mark.name().toStdString();
        EXPECT_NE(mark, palette.color(QPalette::Highlight));
        EXPECT_NE(mark, palette.color(QPalette::Base));
    }
}

// The marks on each block of the pane, as ranges within the block.
std::vector<Ranges> MarksPerBlock(const TMatchHighlighter& marks, const QTextEdit& edit)
{
    std::vector<Ranges> all(std::size_t(edit.document()->blockCount()));
    for (const TMatchHighlighter::TMark& mark : marks.Marks()) {
        const QTextBlock block = edit.document()->findBlock(mark.Position);
        all[std::size_t(block.blockNumber())].emplace_back(mark.Position - block.position(), mark.Length);
    }
    return all;
}

// The colour painted just inside the top left corner of the character at position.
QColor PaintedAt(QTextEdit& edit, int position)
{
    QTextCursor cursor(edit.document());
    cursor.setPosition(position);
    const QRect caret = edit.cursorRect(cursor);
    return edit.viewport()->grab().toImage().pixelColor(caret.left() + 2, caret.top() + 1);
}

TEST(MatchHighlighter, LoadedPaneMarksReportedTextOnlyWithoutChangingIt)
{
    TQvEdit viewer;
    viewer.resize(600, 400);
    auto* marks = new TMatchHighlighter(&viewer);
    marks->SetStrings({"foo", "bar", false, true});
    const std::string log =
        "*****  New Search  *****\r***** File: \"/foo.txt\"- Search Pattern=foo or bar *****\r"
        "12 : Foo and bar\r3 : nothing\r";
    std::istringstream stream(log);
    viewer.LoadFromStream(stream);
    QCoreApplication::processEvents();

    const std::vector<Ranges> expected{{}, {}, {{5, 3}, {13, 3}}, {}, {}};
    EXPECT_EQ(MarksPerBlock(*marks, viewer), expected);
    EXPECT_EQ(viewer.toPlainText(),
              "*****  New Search  *****\n***** File: \"/foo.txt\"- Search Pattern=foo or bar "
              "*****\n12 : Foo and bar\n3 : nothing\n");
    EXPECT_FALSE(viewer.document()->isUndoAvailable());
    EXPECT_FALSE(viewer.document()->isModified());
    EXPECT_EQ(PaintedAt(viewer, viewer.document()->findBlockByNumber(2).position() + 5),
              TMatchHighlighter::MatchColor(viewer.palette()));
    EXPECT_EQ(PaintedAt(viewer, viewer.document()->findBlockByNumber(3).position() + 5),
              viewer.palette().color(QPalette::Base));
}

TEST(MatchHighlighter, ProvidedTextStartWinsOverTheLookOfTheLine)
{
    TQvEdit viewer;
    viewer.resize(600, 400);
    auto* marks = new TMatchHighlighter(&viewer);
    marks->SetStrings({"foo", "", false, false});
    marks->TextStart = [](int block, const QString&) { return block == 0 ? -1 : 2; };
    viewer.setPlainText("foo\nfoofoo");
    marks->Refresh();
    EXPECT_EQ(MarksPerBlock(*marks, viewer), (std::vector<Ranges>{{}, {{3, 3}}}));
}

TEST(MatchHighlighter, PaletteChangeRecolours)
{
    TQvEdit viewer;
    viewer.resize(600, 400);
    auto* marks = new TMatchHighlighter(&viewer);
    marks->SetStrings({"x", "", false, false});
    viewer.setPlainText("x");
    QCoreApplication::processEvents();
    viewer.setPalette(DarkPalette());
    QCoreApplication::processEvents();
    EXPECT_EQ(PaintedAt(viewer, 0), TMatchHighlighter::MatchColor(DarkPalette()));
}

// Only the lines in view carry marks, and scrolling brings the marks along.
TEST(MatchHighlighter, MarksFollowTheLinesInView)
{
    TQvEdit viewer;
    viewer.SetMaxLength(60000);
    viewer.resize(300, 200);
    auto* marks = new TMatchHighlighter(&viewer);
    marks->SetStrings({"hit", "", false, false});
    QString text;
    for (int i = 0; i < 2000; ++i) {
        text += QStringLiteral("line %1 hit\n").arg(i);
    }
    viewer.setPlainText(text);
    QCoreApplication::processEvents();
    const std::vector<Ranges> top = MarksPerBlock(*marks, viewer);
    EXPECT_FALSE(top.front().empty());
    EXPECT_TRUE(top[1000].empty());
    const int shown = int(marks->Marks().size());
    EXPECT_GT(shown, 3);
    EXPECT_LT(shown, 100);

    viewer.verticalScrollBar()->setValue(viewer.verticalScrollBar()->maximum() / 2);
    QCoreApplication::processEvents();
    const std::vector<Ranges> middle = MarksPerBlock(*marks, viewer);
    EXPECT_TRUE(middle.front().empty());
    EXPECT_NEAR(std::count_if(middle.begin(), middle.end(), [](const Ranges& r) { return !r.empty(); }),
                shown, 1);
    const int firstMarked =
        int(std::find_if(middle.begin(), middle.end(), [](const Ranges& r) { return !r.empty(); }) -
            middle.begin());
    EXPECT_NEAR(firstMarked, 1000, 20);
}

// ---- in the window, after a run ----------------------------------------------------------------------

class RunMarksTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        Create({MakeFile("a.txt", "Error one\r\nfine\r\nerror and ERROR\r\n"), "error"});
    }
    void Run()
    {
        FForm->Viewer->resize(600, 400);
        ASSERT_TRUE(RunAndWait());
        QCoreApplication::processEvents();
    }
};

TEST_F(RunMarksTest, RunMarksItsStringWithItsCaseRule)
{
    FForm->OptionOutputNames->setChecked(false);
    Run();
    EXPECT_EQ(MarksPerBlock(*FForm->ViewerMarks, *FForm->Viewer),
              (std::vector<Ranges>{{{0, 5}}, {{0, 5}, {10, 5}}, {}}));

    FForm->Log.Clear();
    FForm->OptionCase->setChecked(true);
    Run();
    EXPECT_EQ(MarksPerBlock(*FForm->ViewerMarks, *FForm->Viewer), (std::vector<Ranges>{{{0, 5}}, {}}));
}

TEST_F(RunMarksTest, ReverseLogicMarksNothing)
{
    FForm->OptionOutputNames->setChecked(false);
    FForm->OptionReverse->setChecked(true);
    FForm->FString2->setPlainText("one");
    FForm->FOperator->setCurrentIndex(0); // And: a line with "error" alone fails the test and is reported
    Run();
    ASSERT_EQ(FForm->Viewer->toPlainText(), "fine\nerror and ERROR\n");
    for (const Ranges& marks : MarksPerBlock(*FForm->ViewerMarks, *FForm->Viewer)) {
        EXPECT_TRUE(marks.empty());
    }
}

} // namespace
