#include "controls/richtext/FindDialog.h"
#include "controls/richtext/qvtext.h"
#include "platform/Application.h"
#include "tests/support/ScriptedDialogs.h"

#include <QPushButton>
#include <QTextDocument>

#include <gtest/gtest.h>

namespace {

const QString WrapQuestion = "     This application has completed the search.\r"
                             "Would you like to start the search from the beginning?\r\r"
                             "     Press Ok to search from the top.\r";
const QString SearchComplete = "Search complete.\r";
constexpr unsigned WrapFlags = MB_OKCANCEL | MB_ICONASTERISK | MB_TASKMODAL | MB_TOPMOST;
constexpr unsigned CompleteFlags = MB_OK | MB_ICONASTERISK | MB_TASKMODAL | MB_TOPMOST;

class QvEditFind : public ::testing::Test {
protected:
    void SetUp() override { Application::SetTitle("Sifton"); }

    void Prepare(const QString& text, const QString& what, bool down, int caret)
    {
        Edit.SetText(text);
        Edit.FindDialog()->SetFindText(what);
        Edit.FindDialog()->SetDown(down);
        Edit.Find();
        Edit.SetSelStart(caret);
    }

    QString Selection() const { return QString("%1+%2").arg(Edit.SelStart()).arg(Edit.SelLength()); }

    std::vector<QString> Texts() const
    {
        std::vector<QString> texts;
        for (const TMessageBoxCall& m : Dialogs.Messages) {
            texts.push_back(m.Text);
        }
        return texts;
    }

    TScriptedDialogs Dialogs;
    TQvEdit Edit;
};

} // namespace

TEST_F(QvEditFind, DownFindsEachOccurrenceThenReportsCompletion)
{
    Prepare("one two one two one", "one", true, 1);
    Edit.FindNext();
    EXPECT_EQ(Selection(), "8+3");
    EXPECT_EQ(Edit.FindState(), TQvEdit::Continuing);
    Edit.FindNext();
    EXPECT_EQ(Selection(), "16+3");
    EXPECT_TRUE(Dialogs.Messages.empty());
    Edit.FindNext();
    EXPECT_EQ(Texts(), std::vector<QString>{SearchComplete});
    EXPECT_EQ(Dialogs.Messages[0].Flags, CompleteFlags);
    EXPECT_EQ(Dialogs.Messages[0].Caption, "Sifton");
    EXPECT_FALSE(Edit.FindDialog()->isVisible());
    EXPECT_EQ(Edit.FindState(), TQvEdit::FreshSearch);
}

TEST_F(QvEditFind, CaretAtEndGoingDownAsksBeforeSearching)
{
    Prepare("abc abc", "abc", true, 7);
    Dialogs.MessageAnswers = {IDOK};
    Edit.FindNext();
    EXPECT_EQ(Texts(), std::vector<QString>{WrapQuestion});
    EXPECT_EQ(Dialogs.Messages[0].Flags, WrapFlags);
    EXPECT_EQ(Selection(), "0+3");
    EXPECT_EQ(Edit.FindState(), TQvEdit::Continuing);
}

TEST_F(QvEditFind, CaretAtEndGoingDownCancelClosesTheDialog)
{
    Prepare("abc abc", "abc", true, 7);
    Dialogs.MessageAnswers = {IDCANCEL};
    Edit.FindNext();
    EXPECT_EQ(Dialogs.Messages.size(), 1u);
    EXPECT_EQ(Selection(), "7+0");
    EXPECT_FALSE(Edit.FindDialog()->isVisible());
    EXPECT_EQ(Edit.FindState(), TQvEdit::FreshSearch);
}

TEST_F(QvEditFind, CaretAtStartGoingUpAsksThenSearchesFromTheEnd)
{
    Prepare("abc abc", "abc", false, 0);
    Dialogs.MessageAnswers = {IDOK};
    Edit.FindNext();
    EXPECT_EQ(Texts(), std::vector<QString>{WrapQuestion});
    EXPECT_EQ(Selection(), "4+3");
    Edit.FindNext();
    EXPECT_EQ(Selection(), "0+3");
    Edit.FindNext();
    EXPECT_EQ(Texts(), (std::vector<QString>{WrapQuestion, SearchComplete}));
}

TEST_F(QvEditFind, WordOnceSearchedDownFromAfterIt)
{
    Prepare("the needle is here", "needle", true, 12);
    Dialogs.MessageAnswers = {IDOK};
    Edit.FindNext();
    EXPECT_EQ(Texts(), std::vector<QString>{WrapQuestion});
    EXPECT_EQ(Selection(), "4+6");
    EXPECT_EQ(Edit.FindState(), TQvEdit::Continuing);
    Edit.FindNext();
    EXPECT_EQ(Texts(), (std::vector<QString>{WrapQuestion, SearchComplete}));
    EXPECT_FALSE(Edit.FindDialog()->isVisible());
}

TEST_F(QvEditFind, AbsentTextAsksThenReportsCompletion)
{
    Prepare("nothing to see", "absent", true, 3);
    Dialogs.MessageAnswers = {IDOK};
    Edit.FindNext();
    EXPECT_EQ(Texts(), (std::vector<QString>{WrapQuestion, SearchComplete}));
    EXPECT_EQ(Selection(), "3+0");
    EXPECT_EQ(Edit.FindState(), TQvEdit::FreshSearch);
}

TEST_F(QvEditFind, CancelAfterAMissClosesWithoutTheNotice)
{
    Prepare("nothing to see", "absent", true, 0);
    Dialogs.MessageAnswers = {IDCANCEL};
    Edit.FindNext();
    EXPECT_EQ(Texts(), std::vector<QString>{WrapQuestion});
    EXPECT_FALSE(Edit.FindDialog()->isVisible());
}

TEST_F(QvEditFind, SelectedMatchIsFoundAgainOnAFreshSearch)
{
    Prepare("one two one", "one", true, 0);
    Edit.SetSelLength(3);
    Edit.FindNext();
    EXPECT_EQ(Selection(), "0+3");
}

TEST_F(QvEditFind, RangeEndStaysForTheWholeSequence)
{
    Prepare("ab ab", "ab", true, 1);
    Edit.FindNext();
    EXPECT_EQ(Selection(), "3+2");
    EXPECT_EQ(Edit.FindRange().Max, 5);
    // Text added after the sequence began lies outside its range.
    Edit.SetText("ab ab ab");
    Edit.SetSelStart(5);
    Edit.SetFindState(TQvEdit::Continuing);
    Edit.FindNext();
    EXPECT_EQ(Texts(), std::vector<QString>{SearchComplete});
}

TEST_F(QvEditFind, ShowingOrClosingTheDialogStartsAFreshSearch)
{
    Prepare("x x x", "x", true, 0);
    Edit.FindNext();
    ASSERT_EQ(Edit.FindState(), TQvEdit::Continuing);
    Edit.FindDialog()->CloseDialog();
    EXPECT_EQ(Edit.FindState(), TQvEdit::FreshSearch);
    Edit.FindNext();
    ASSERT_EQ(Edit.FindState(), TQvEdit::Continuing);
    Edit.FindDialog()->hide();
    Edit.Find();
    EXPECT_EQ(Edit.FindState(), TQvEdit::FreshSearch);
}

TEST_F(QvEditFind, FindButtonRunsFindNext)
{
    Prepare("find me", "me", true, 0);
    ASSERT_TRUE(Edit.FindDialog()->FindButton()->isEnabled());
    Edit.FindDialog()->FindButton()->click();
    EXPECT_EQ(Selection(), "5+2");
}

// ---- the search itself, without a window ------------------------------------------------------

struct FindCase {
    const char* name;
    const char* text;
    const char* what;
    bool down;
    bool wholeWord;
    bool matchCase;
    int min;
    int max;
    int expected;
};

class FindTextExCases : public ::testing::TestWithParam<FindCase> { };

TEST_P(FindTextExCases, FindsWithinTheRange)
{
    const FindCase& c = GetParam();
    QTextDocument document;
    document.setPlainText(c.text);
    TQvEdit::TFindRange range;
    range.Min = c.min;
    range.Max = c.max;
    range.Text = c.what;
    EXPECT_EQ(FindTextEx(document, c.down, c.wholeWord, c.matchCase, range), c.expected);
    if (c.expected >= 0) {
        EXPECT_EQ(range.MatchMin, c.expected);
        EXPECT_EQ(range.MatchMax, c.expected + static_cast<int>(strlen(c.what)));
    }
}

INSTANTIATE_TEST_SUITE_P(
    , FindTextExCases,
    ::testing::Values(FindCase{"CaseFolded", "Error error", "ERROR", true, false, false, 0, 11, 0},
                      FindCase{"MatchCase", "Error error", "error", true, false, true, 0, 11, 6},
                      FindCase{"MatchCaseAbsent", "Error", "ERROR", true, false, true, 0, 5, -1},
                      FindCase{"WholeWordSkipsPart", "errors error", "error", true, true, false, 0, 12, 7},
                      FindCase{"WholeWordAtEnds", "error", "error", true, true, false, 0, 5, 0},
                      FindCase{"WholeWordUnderscore", "my_error", "error", true, true, false, 0, 8, -1},
                      FindCase{"MatchMustEndInRange", "abcdef", "def", true, false, false, 0, 5, -1},
                      FindCase{"StartsAtMin", "abcabc", "abc", true, false, false, 1, 6, 3},
                      FindCase{"UpFindsLastBeforeMin", "abcabcabc", "abc", false, false, false, 7, 0, 3},
                      FindCase{"UpNoOverlapPastMin", "aaaa", "aa", false, false, false, 2, 0, 0},
                      FindCase{"UpStopsAtMax", "abcabc", "abc", false, false, false, 6, 1, 3},
                      FindCase{"AcrossParagraphs", "one\ntwo", "e\nt", true, false, false, 0, 7, 2},
                      FindCase{"EmptyText", "abc", "", true, false, false, 0, 3, -1},
                      FindCase{"LongerThanText", "ab", "abc", true, false, false, 0, 2, -1}),
    [](const auto& info) { return std::string(info.param.name); });
