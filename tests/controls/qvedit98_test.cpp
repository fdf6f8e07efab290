#include "controls/qvedit98.h"

#include "FlatPixels.h"

#include <QTest>

#include <gtest/gtest.h>

namespace {

void Enter(QWidget& w)
{
    QEnterEvent event(QPointF(2, 2), QPointF(2, 2), w.mapToGlobal(QPointF(2, 2)));
    QApplication::sendEvent(&w, &event);
}

void Leave(QWidget& w)
{
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(&w, &event);
}

void ExpectRings(QWidget& w, bool hot)
{
    const QImage image = Paint(w);
    const int midX = w.width() / 2;
    const int midY = w.height() / 2;
    const int b = w.height() - 1;
    const QColor face = Role(QPalette::Button);
    EXPECT_EQ(At(image, midX, 0), hot ? Role(QPalette::Dark) : face);
    EXPECT_EQ(At(image, 0, midY), hot ? Role(QPalette::Dark) : face);
    EXPECT_EQ(At(image, midX, b), hot ? Role(QPalette::Light) : face);
    EXPECT_EQ(At(image, w.width() - 1, midY), hot ? Role(QPalette::Light) : face);
    EXPECT_EQ(At(image, midX, 1), face);
    EXPECT_EQ(At(image, midX, b - 1), face);
    EXPECT_EQ(At(image, midX, 2), Role(QPalette::Base));
    EXPECT_EQ(At(image, 2, midY), Role(QPalette::Base));
}

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
    ExpectRings(edit, false);

    Enter(edit);
    ExpectRings(edit, true);
    Leave(edit);
    ExpectRings(edit, false);

    edit.setFocus();
    ASSERT_TRUE(edit.hasFocus());
    ExpectRings(edit, true);
    Enter(edit);
    Leave(edit);
    ExpectRings(edit, true);
    other.setFocus();
    ExpectRings(edit, false);
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
    edit.setHideSelection(false);
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
