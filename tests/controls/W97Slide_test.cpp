#include "controls/W97Slide.h"

#include <gtest/gtest.h>

#include "FlatPixels.h"

namespace {

const QColor Fill(200, 40, 40);

// The first row (from the top) that holds a pixel other than the fill colour, or -1.
int FirstInkRow(const QImage& image, const QRect& area)
{
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (image.pixelColor(x, y) != Fill) {
                return y;
            }
        }
    }
    return -1;
}

TEST(TSwitchBox, NoBevelAndNoCaptionPaintsOnlyItsColour)
{
    TSwitchBox box;
    box.resize(40, 30);
    box.SetBevelOuter(TSwitchBox::bvNone);
    box.SetColor(Fill);
    const QImage image = Paint(box);
    EXPECT_EQ(CountColour(image, image.rect(), Fill), 40 * 30);
}

struct BevelCase {
    const char* name;
    TSwitchBox::TPanelBevel outer;
    TSwitchBox::TPanelBevel inner;
    QPalette::ColorRole top1, bottom1; // outer ring
    QPalette::ColorRole top2, bottom2; // second ring (Button = the fill shows)
};

class SwitchBoxBevel : public testing::TestWithParam<BevelCase> { };

TEST_P(SwitchBoxBevel, RingsFollowTheBevels)
{
    const BevelCase& c = GetParam();
    TSwitchBox box;
    box.resize(40, 30);
    box.SetColor(Role(QPalette::Button));
    box.SetBevelOuter(c.outer);
    box.SetBevelInner(c.inner);
    const QImage image = Paint(box);
    EXPECT_EQ(At(image, 20, 0), Role(c.top1));
    EXPECT_EQ(At(image, 0, 15), Role(c.top1));
    EXPECT_EQ(At(image, 20, 29), Role(c.bottom1));
    EXPECT_EQ(At(image, 39, 15), Role(c.bottom1));
    EXPECT_EQ(At(image, 20, 1), Role(c.top2));
    EXPECT_EQ(At(image, 20, 28), Role(c.bottom2));
    EXPECT_EQ(At(image, 20, 15), Role(QPalette::Button));
}

INSTANTIATE_TEST_SUITE_P(
    Bevels, SwitchBoxBevel,
    testing::Values(BevelCase{"raised", TSwitchBox::bvRaised, TSwitchBox::bvNone, QPalette::Light,
                              QPalette::Dark, QPalette::Button, QPalette::Button},
                    BevelCase{"lowered", TSwitchBox::bvLowered, TSwitchBox::bvNone, QPalette::Dark,
                              QPalette::Light, QPalette::Button, QPalette::Button},
                    BevelCase{"raised_then_lowered_inside", TSwitchBox::bvRaised, TSwitchBox::bvLowered,
                              QPalette::Light, QPalette::Dark, QPalette::Dark, QPalette::Light}),
    [](const testing::TestParamInfo<BevelCase>& info) { return std::string(info.param.name); });

TEST(TSwitchBox, CaptionThatFitsIsCentredVertically)
{
    TSwitchBox box;
    box.resize(200, 80);
    box.SetBevelOuter(TSwitchBox::bvNone);
    box.SetColor(Fill);
    box.SetCaption("Hi");
    const QImage image = Paint(box);
    const int first = FirstInkRow(image, image.rect());
    ASSERT_GE(first, 0);
    const int textHeight = box.fontMetrics().height();
    EXPECT_GE(first, (80 - textHeight) / 2);
    EXPECT_GT(first, 10);
}

TEST(TSwitchBox, CaptionWiderThanTheBoxStartsAtTheTop)
{
    TSwitchBox box;
    box.resize(40, 80);
    box.SetBevelOuter(TSwitchBox::bvNone);
    box.SetColor(Fill);
    box.SetCaption("A caption far too wide\nand a second line");
    const QImage image = Paint(box);
    const int first = FirstInkRow(image, image.rect());
    ASSERT_GE(first, 0);
    EXPECT_LT(first, 6);
}

TEST(TQvSizeBox, SingleBorderShowsASunkenEdgeOnlyWith3DLook)
{
    TQvSizeBox box;
    box.resize(40, 30);
    box.SetBevelOuter(TSwitchBox::bvNone);
    box.SetColor(Fill);
    EXPECT_EQ(box.BorderStyle(), TQvSizeBox::bsNone);
    EXPECT_EQ(At(Paint(box), 20, 0), Fill);

    box.SetBorderStyle(TQvSizeBox::bsSingle);
    QImage image = Paint(box);
    EXPECT_EQ(At(image, 20, 0), Role(QPalette::Dark));
    EXPECT_EQ(At(image, 20, 1), Role(QPalette::Shadow));
    EXPECT_EQ(At(image, 20, 29), Role(QPalette::Light));
    EXPECT_EQ(At(image, 20, 2), Fill);

    box.SetCtl3D(false);
    image = Paint(box);
    EXPECT_EQ(At(image, 20, 0), Fill);
    EXPECT_EQ(CountColour(image, image.rect(), Fill), 40 * 30);
}

TEST(TQvSizeBox, OnResizeFiresWhenTheSizeChanges)
{
    TQvSizeBox box;
    int fired = 0;
    QObject* sender = nullptr;
    box.OnResize = [&](QObject* Sender) {
        ++fired;
        sender = Sender;
    };
    box.show();
    box.resize(120, 90);
    QApplication::processEvents();
    EXPECT_GE(fired, 1);
    EXPECT_EQ(sender, &box);
}

} // namespace
