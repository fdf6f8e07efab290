#include "controls/qvbutton98.h"
#include "tests/support/WaitFor.h"

#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>
#include <stdexcept>

#include "FlatPixels.h"

namespace {

const QColor Blue(0, 0, 255);
const QColor Green(0, 160, 0);

TImageList* SolidImages(QObject* owner)
{
    auto* list = new TImageList(16, 16, owner);
    QPixmap image(16, 16);
    image.fill(Green);
    list->Add(image);
    return list;
}

struct FaceCase {
    const char* name;
    bool hot;
    bool pressed;
    QColor top, bottom; // invalid = face colour (no frame)
};

class ButtonFace : public testing::TestWithParam<FaceCase> { };

TEST_P(ButtonFace, FrameFollowsHotAndPressed)
{
    const FaceCase& c = GetParam();
    TButton98 b;
    b.resize(40, 20);
    if (c.hot) {
        Enter(b);
    }
    if (c.pressed) {
        QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(5, 5));
    }
    const QImage image = Paint(b);
    const QColor face = Role(QPalette::Button);
    EXPECT_EQ(At(image, 20, 0), c.top.isValid() ? c.top : face);
    EXPECT_EQ(At(image, 0, 10), c.top.isValid() ? c.top : face);
    EXPECT_EQ(At(image, 20, 19), c.bottom.isValid() ? c.bottom : face);
    EXPECT_EQ(At(image, 39, 10), c.bottom.isValid() ? c.bottom : face);
    EXPECT_EQ(At(image, 20, 10), face);
}

INSTANTIATE_TEST_SUITE_P(
    States, ButtonFace,
    testing::Values(FaceCase{"flat_when_cold", false, false, QColor(), QColor()},
                    FaceCase{"raised_when_hot", true, false, Role(QPalette::Light), Role(QPalette::Dark)},
                    FaceCase{"sunken_when_pressed", true, true, Role(QPalette::Dark), Role(QPalette::Light)}),
    [](const testing::TestParamInfo<FaceCase>& info) { return std::string(info.param.name); });

TEST(TButton98, CaptionIsBlueOnlyWhileHot)
{
    TButton98 b;
    b.resize(65, 25);
    b.SetCaption("Clear");
    QImage image = Paint(b);
    EXPECT_EQ(CountNear(image, image.rect(), Blue), 0);
    EXPECT_GT(CountNear(image, image.rect(), Role(QPalette::ButtonText)), 5);

    Enter(b);
    image = Paint(b);
    EXPECT_GT(CountNear(image, image.rect(), Blue), 5);
    Leave(b);
    EXPECT_EQ(CountNear(Paint(b), image.rect(), Blue), 0);
}

TEST(TButton98, ImageAndShortCaptionSitSideBySide)
{
    QWidget owner;
    TButton98 b(&owner);
    b.resize(65, 25);
    b.SetImageList(SolidImages(&owner));
    b.SetXOffset(4);
    b.SetCaption("Add");
    const QImage image = Paint(b);
    // Image at x = 2, y = 25 div 2 - 16 div 2 = 4.
    EXPECT_EQ(CountColour(image, QRect(2, 4, 16, 16), Green), 256);
    EXPECT_EQ(CountColour(image, image.rect(), Green), 256);
    // Caption to the right of the image.
    EXPECT_GT(CountNear(image, QRect(22, 0, 43, 25), Role(QPalette::ButtonText)), 5);
}

TEST(TButton98, ImageAndLongCaptionAreStacked)
{
    QWidget owner;
    TButton98 b(&owner);
    b.resize(65, 40);
    b.SetImageList(SolidImages(&owner));
    b.SetXOffset(4);
    b.SetCaption("Add more files");
    const QImage image = Paint(b);
    // Image at x = 65 div 2 - 8 = 24, y = 2.
    EXPECT_EQ(CountColour(image, QRect(24, 2, 16, 16), Green), 256);
    EXPECT_EQ(At(image, 2, 20), Role(QPalette::Button));
    EXPECT_GT(CountNear(image, QRect(0, 20, 65, 20), Role(QPalette::ButtonText)), 5);
}

TEST(TButton98, ImageWithoutCaptionIsCentredAndShiftedByOffsets)
{
    QWidget owner;
    TButton98 b(&owner);
    b.resize(40, 24);
    b.SetImageList(SolidImages(&owner));
    b.SetXOffset(3);
    b.SetYOffset(-2);
    const QImage image = Paint(b);
    // x = 20 - 8 + 3, y = 12 - 8 - 2.
    EXPECT_EQ(CountColour(image, QRect(15, 2, 16, 16), Green), 256);
}

// Arrow rows of a 60 x 22 drop-down button: rectangle (47, 7, 60, 15), centre x 54, base 14.
// Pressed, the separator moves one pixel right and covers the first row's leftmost pixel.
void ExpectArrow(const QImage& image, const QColor& colour, bool pressed = false)
{
    const struct {
        int y, from, to;
    } rows[] = {{10, 50, 56}, {11, 51, 55}, {12, 52, 54}, {13, 53, 53}};
    for (const auto& row : rows) {
        for (int x = row.from; x <= row.to; ++x) {
            if (pressed && x == 50) {
                EXPECT_EQ(At(image, x, row.y), Role(QPalette::Light));
                continue;
            }
            EXPECT_EQ(At(image, x, row.y), colour) << "arrow pixel " << x << "," << row.y;
        }
        EXPECT_NE(At(image, row.from - 1, row.y), colour);
        EXPECT_NE(At(image, row.to + 1, row.y), colour);
    }
    EXPECT_NE(At(image, 53, 14), colour);
    EXPECT_NE(At(image, 54, 9), colour);
}

TEST(TButton98, DropDownArrowAndSeparatorWhenUp)
{
    TButton98 b;
    b.resize(60, 22);
    b.SetKind(TButton98::BkDropDown);
    QImage image = Paint(b);
    ExpectArrow(image, QColor(Qt::black));
    EXPECT_EQ(At(image, 48, 0), Role(QPalette::Dark));
    EXPECT_EQ(At(image, 48, 20), Role(QPalette::Dark));
    EXPECT_EQ(At(image, 49, 0), Role(QPalette::Light));
    EXPECT_EQ(At(image, 48, 21), Role(QPalette::Button));

    Enter(b);
    ExpectArrow(Paint(b), Blue);
}

TEST(TButton98, ArrowPressedShiftsTheSeparatorAndOpensTheMenuBelow)
{
    QWidget owner;
    owner.resize(200, 100);
    TButton98 b(&owner);
    b.setGeometry(10, 10, 60, 22);
    b.SetKind(TButton98::BkDropDown);
    QMenu menu;
    menu.addAction("One");
    b.SetDropDownMenu(&menu);
    owner.show();

    QImage during;
    QPoint menuAt;
    TButton98::TPressState stateDuring = TButton98::psUp;
    QTimer::singleShot(50, [&] {
        during = Paint(b);
        stateDuring = b.PressState();
        menuAt = menu.pos();
        menu.close();
    });
    QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(55, 10));
    // The menu opens once the press has been handled; wait until it has come and gone.
    WaitFor([&] { return !during.isNull() && !menu.isVisible(); }, 2000);
    EXPECT_EQ(stateDuring, TButton98::psArrowPressed);
    ASSERT_FALSE(during.isNull());
    ExpectArrow(during, QColor(Qt::black), true);
    EXPECT_EQ(At(during, 49, 1), Role(QPalette::Dark));
    EXPECT_EQ(At(during, 50, 1), Role(QPalette::Light));
    EXPECT_EQ(At(during, 49, 0), Role(QPalette::Dark)); // the sunken face's top row
    EXPECT_EQ(menuAt, b.mapToGlobal(QPoint(0, 22)));
    EXPECT_EQ(b.PressState(), TButton98::psUp);
    EXPECT_FALSE(b.Hot());
    QTest::mouseRelease(&b, Qt::LeftButton, {}, QPoint(55, 10));
}

TEST(TButton98, ArrowPressWithoutMenuReturnsUpBeforeRelease)
{
    TButton98 b;
    b.resize(60, 22);
    b.SetKind(TButton98::BkDropDown);
    int clicks = 0;
    b.OnClick = [&](QObject*) { ++clicks; };
    Enter(b);
    QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(55, 10));
    EXPECT_EQ(b.PressState(), TButton98::psUp);
    EXPECT_FALSE(b.Hot());
    QTest::mouseRelease(&b, Qt::LeftButton, {}, QPoint(55, 10));
    EXPECT_EQ(clicks, 0);
}

TEST(TButton98, MainPartPressedDrawsOnlyTheMainFaceSunken)
{
    TButton98 b;
    b.resize(60, 22);
    b.SetKind(TButton98::BkDropDown);
    int clicks = 0;
    b.OnClick = [&](QObject*) { ++clicks; };
    QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(b.PressState(), TButton98::psMainPressed);
    const QImage image = Paint(b);
    EXPECT_EQ(At(image, 20, 0), Role(QPalette::Dark));
    EXPECT_EQ(At(image, 47, 21), Role(QPalette::Light));
    EXPECT_NE(At(image, 55, 21), Role(QPalette::Light));
    QTest::mouseRelease(&b, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(b.PressState(), TButton98::psUp);
}

TEST(TButton98, PressAndReleaseInsideClicksOnceAndStaysRaisedWhileHot)
{
    TButton98 b;
    b.resize(40, 20);
    int clicks = 0;
    QObject* sender = nullptr;
    b.OnClick = [&](QObject* Sender) {
        ++clicks;
        sender = Sender;
    };
    Enter(b);
    QTest::mouseClick(&b, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(sender, &b);
    EXPECT_EQ(b.PressState(), TButton98::psUp);
    EXPECT_EQ(At(Paint(b), 20, 0), Role(QPalette::Light));
    Leave(b);
    EXPECT_EQ(At(Paint(b), 20, 0), Role(QPalette::Button));
}

TEST(TButton98, ReleaseOutsideDoesNotClick)
{
    TButton98 b;
    b.resize(40, 20);
    int clicks = 0;
    b.OnClick = [&](QObject*) { ++clicks; };
    QTest::mousePress(&b, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(b.PressState(), TButton98::psPressed);
    QTest::mouseRelease(&b, Qt::LeftButton, {}, QPoint(80, 5));
    EXPECT_EQ(clicks, 0);
    EXPECT_EQ(b.PressState(), TButton98::psUp);
}

TEST(TButton98, GroupButtonsReleaseEachOther)
{
    QWidget form;
    TButton98 a(&form), b(&form), c(&form), other(&form);
    for (TButton98* button : {&a, &b, &c}) {
        button->SetGroupIndex(1);
    }
    other.SetGroupIndex(2);
    QTest::mouseClick(&other, Qt::LeftButton, {}, QPoint(3, 3));
    QTest::mouseClick(&a, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_TRUE(a.Down());
    EXPECT_EQ(a.PressState(), TButton98::psPressed);

    QTest::mouseClick(&b, Qt::LeftButton, {}, QPoint(3, 3));
    EXPECT_FALSE(a.Down());
    EXPECT_EQ(a.PressState(), TButton98::psUp);
    EXPECT_TRUE(b.Down());
    EXPECT_FALSE(c.Down());
    EXPECT_TRUE(other.Down()) << "another group is left alone";
    // A latched button is drawn sunken.
    EXPECT_EQ(At(Paint(b), 20, 0), Role(QPalette::Dark));
}

TEST(TButton98, SettingDownLatchesWithoutClicking)
{
    TButton98 b;
    int clicks = 0;
    b.OnClick = [&](QObject*) { ++clicks; };
    b.SetDown(true);
    EXPECT_EQ(b.PressState(), TButton98::psPressed);
    EXPECT_TRUE(b.Hot());
    b.SetDown(false);
    EXPECT_EQ(b.PressState(), TButton98::psUp);
    EXPECT_FALSE(b.Hot());
    EXPECT_EQ(clicks, 0);
}

// The base's setDown would leave the latch and the press state behind, so it is out of reach.
template <typename T>
concept OffersBaseSetDown = requires(T& button)
{
    button.setDown(true);
};
static_assert(!OffersBaseSetDown<TButton98>);

TEST(TButton98, ThrowingOnClickLeavesTheButtonUsable)
{
    TButton98 b;
    b.resize(40, 20);
    int calls = 0;
    b.OnClick = [&](QObject*) {
        ++calls;
        throw std::runtime_error("handler failed");
    };
    EXPECT_NO_THROW(QTest::mouseClick(&b, Qt::LeftButton, {}, QPoint(5, 5)));
    EXPECT_EQ(b.PressState(), TButton98::psUp);
    EXPECT_NO_THROW(QTest::mouseClick(&b, Qt::LeftButton, {}, QPoint(5, 5)));
    EXPECT_EQ(calls, 2);
}

TEST(TButton98, KeysClick)
{
    TButton98 b;
    b.resize(40, 20);
    int clicks = 0;
    b.OnClick = [&](QObject*) { ++clicks; };
    QTest::keyClick(&b, Qt::Key_Return);
    EXPECT_EQ(clicks, 1);
    QTest::keyPress(&b, Qt::Key_Space);
    EXPECT_EQ(b.PressState(), TButton98::psPressed);
    EXPECT_EQ(clicks, 1);
    QTest::keyRelease(&b, Qt::Key_Space);
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(b.PressState(), TButton98::psUp);
}

TEST(TButton98, AcceleratorClicksAnEnabledButtonOnly)
{
    QWidget form;
    TButton98 b(&form);
    b.SetCaption("&Load");
    int clicks = 0;
    b.OnClick = [&](QObject*) { ++clicks; };
    form.show();
    QApplication::setActiveWindow(&form);
    QTest::keyClick(&form, Qt::Key_L, Qt::AltModifier);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(b.PressState(), TButton98::psUp);
    b.setEnabled(false);
    QTest::keyClick(&form, Qt::Key_L, Qt::AltModifier);
    EXPECT_EQ(clicks, 1);
}

struct DropDownOwner {
    QWidget owner;
    TButton98* button = new TButton98(&owner);
    QMenu menu;
    DropDownOwner()
    {
        owner.resize(200, 100);
        button->setGeometry(10, 10, 60, 22);
        button->SetKind(TButton98::BkDropDown);
        menu.addAction("One");
        button->SetDropDownMenu(&menu);
        owner.show();
    }
};

TEST(TButton98, DropDownMenuOpensOnlyAfterThePressHandlerHasReturned)
{
    DropDownOwner f;
    bool pressReturned = false;
    bool openedAfterPress = false;
    QObject::connect(&f.menu, &QMenu::aboutToShow, [&] {
        openedAfterPress = pressReturned;
        QTimer::singleShot(0, &f.menu, &QMenu::close);
    });
    QTest::mousePress(f.button, Qt::LeftButton, {}, QPoint(55, 10));
    pressReturned = true;
    EXPECT_EQ(f.button->PressState(), TButton98::psArrowPressed);
    EXPECT_EQ(f.menu.property("PopupComponent").value<QObject*>(), nullptr);
    WaitFor([&] { return f.button->PressState() == TButton98::psUp; });
    EXPECT_TRUE(openedAfterPress);
    EXPECT_EQ(f.menu.property("PopupComponent").value<QObject*>(), f.button);
    EXPECT_FALSE(f.button->Hot());
}

TEST(TButton98, AMenuCommandMayDeleteTheButton)
{
    DropDownOwner f;
    QPointer<TButton98> button(f.button);
    QObject::connect(&f.menu, &QMenu::aboutToShow, [&] {
        QTimer::singleShot(0, &f.menu, [&] {
            f.menu.close();
            delete f.button;
        });
    });
    QTest::mousePress(f.button, Qt::LeftButton, {}, QPoint(55, 10));
    WaitFor([&] { return button.isNull() && !f.menu.isVisible(); });
    EXPECT_TRUE(button.isNull());
    QTest::qWait(20); // nothing of the button may run after its deletion
}

TEST(TButton98, DisablingLeavesFaceAndCaptionAsTheyAre)
{
    TButton98 b;
    b.resize(65, 25);
    b.SetCaption("Clear");
    b.SetImageList(SolidImages(&b));
    const QImage enabled = Paint(b);
    b.setEnabled(false);
    EXPECT_EQ(Paint(b), enabled);
}

TEST(TButton98, DisablingADropDownButtonGreysOnlyTheArrow)
{
    TButton98 b;
    b.resize(60, 22);
    b.SetKind(TButton98::BkDropDown);
    b.SetCaption("Go");
    const QImage enabled = Paint(b);
    b.setEnabled(false);
    const QImage disabled = Paint(b);
    const QRect arrow(60 - 13, 22 / 2 - 4, 13, 8);
    for (int y = 0; y < 22; ++y) {
        for (int x = 0; x < 60; ++x) {
            if (!arrow.contains(x, y)) {
                ASSERT_EQ(At(disabled, x, y), At(enabled, x, y)) << x << "," << y;
            }
        }
    }
    EXPECT_NE(disabled.copy(arrow), enabled.copy(arrow));
}

} // namespace
