#include "controls/qvedit98.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTest>

#include <gtest/gtest.h>

#include "FlatPixels.h"

namespace {

// A font whose character height is exactly `height` pixels, if the installed fonts offer one.
std::optional<QFont> FontOfHeight(int height)
{
    for (int px = 6; px <= 20; ++px) {
        QFont font("DejaVu Sans");
        font.setPixelSize(px);
        if (QFontMetrics(font).height() == height) {
            return font;
        }
    }
    return std::nullopt;
}

// The base's setMaxLength would leave MaxLength behind, so it is out of reach.
template <typename T>
concept OffersBaseSetMaxLength = requires(T& edit)
{
    edit.setMaxLength(5);
};
static_assert(!OffersBaseSetMaxLength<TEdit98>);

TEST(TEdit98, FontOfCharacterHeight13GivesHeight19)
{
    const auto font = FontOfHeight(13);
    ASSERT_TRUE(font) << "no installed font is 13 pixels high";
    TEdit98 edit;
    edit.setFont(*font);
    EXPECT_EQ(edit.height(), 19);
    QFont larger = *font;
    larger.setPixelSize(font->pixelSize() + 6);
    edit.setFont(larger);
    EXPECT_EQ(edit.height(), QFontMetrics(larger).height() + 6);
}

TEST(TEdit98, RingsFollowMouseAndFocus)
{
    QWidget window;
    TEdit98 edit(&window);
    edit.setGeometry(5, 5, 100, 19);
    edit.setText("some text");
    TEdit98 other(&window);
    other.setGeometry(5, 30, 100, 19);
    window.show();
    QApplication::setActiveWindow(&window);
    other.setFocus();
    ExpectFlatRings(edit, false, edit.width() / 2);

    Enter(edit);
    ExpectFlatRings(edit, true, edit.width() / 2);
    Leave(edit);
    ExpectFlatRings(edit, false, edit.width() / 2);

    edit.setFocus();
    ASSERT_TRUE(edit.hasFocus());
    ExpectFlatRings(edit, true, edit.width() / 2);
    Enter(edit);
    Leave(edit);
    ExpectFlatRings(edit, true, edit.width() / 2);
    other.setFocus();
    ExpectFlatRings(edit, false, edit.width() / 2);
}

TEST(TEdit98, ColourFollowsTheEnabledState)
{
    TEdit98 edit;
    EXPECT_EQ(edit.Color(), Role(QPalette::Base));
    edit.setEnabled(false);
    EXPECT_EQ(edit.Color(), Role(QPalette::Button));
    edit.setEnabled(true);
    EXPECT_EQ(edit.Color(), Role(QPalette::Base));
}

TEST(TEdit98, HideSelectionIsForcedOnOnceSetUp)
{
    TEdit98 edit;
    edit.SetHideSelection(false);
    edit.ensurePolished();
    EXPECT_TRUE(edit.HideSelection());
    EXPECT_EQ(edit.palette().color(QPalette::Inactive, QPalette::Highlight),
              edit.palette().color(QPalette::Inactive, QPalette::Base));
}

TEST(TEdit98, EnterInsertsNoLineBreak)
{
    TEdit98 edit;
    QTest::keyClicks(&edit, "ab");
    QTest::keyClick(&edit, Qt::Key_Return);
    QTest::keyClicks(&edit, "c");
    EXPECT_EQ(edit.text(), "abc");
}

} // namespace

namespace {

struct TCaseRow {
    const char* Name;
    TEdit98::TEditCharCase Mode;
    const char* Typed;
    const char* Shown;
};

class TEdit98CharCase : public testing::TestWithParam<TCaseRow> { };

TEST_P(TEdit98CharCase, TypingIsCasedAndCanBeUndone)
{
    TEdit98 edit;
    edit.SetCharCase(GetParam().Mode);
    QTest::keyClicks(&edit, GetParam().Typed);
    EXPECT_EQ(edit.text(), GetParam().Shown);
    ASSERT_TRUE(edit.isUndoAvailable());
    edit.undo();
    EXPECT_EQ(edit.text(), "");
    edit.redo();
    EXPECT_EQ(edit.text(), GetParam().Shown);
}

INSTANTIATE_TEST_SUITE_P(Modes, TEdit98CharCase,
                         testing::Values(TCaseRow{"upper", TEdit98::ecUpperCase, "abC1", "ABC1"},
                                         TCaseRow{"lower", TEdit98::ecLowerCase, "AbC1", "abc1"}),
                         [](const testing::TestParamInfo<TCaseRow>& info) {
                             return std::string(info.param.Name);
                         });

TEST(TEdit98, PastedTextIsCasedAndCanBeUndone)
{
    TEdit98 edit;
    edit.SetCharCase(TEdit98::ecUpperCase);
    QGuiApplication::clipboard()->setText("bc");
    QTest::keySequence(&edit, QKeySequence::Paste);
    EXPECT_EQ(edit.text(), "BC");
    ASSERT_TRUE(edit.isUndoAvailable());
    edit.undo();
    EXPECT_EQ(edit.text(), "");
}

} // namespace
