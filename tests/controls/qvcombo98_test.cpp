#include "controls/qvcombo98.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QPainter>
#include <QStyleOptionViewItem>
#include <QTest>

#include <gtest/gtest.h>
#include <stdexcept>
#include <string>

#include "FlatPixels.h"

namespace {

const QStringList Operators{"And", "Or", "Xor", "& Not"};

void Focus(QWidget& w, bool in)
{
    QFocusEvent event(in ? QEvent::FocusIn : QEvent::FocusOut, Qt::OtherFocusReason);
    QApplication::sendEvent(&w, &event);
}

// Probed left of the drop-down button.
void ExpectRings(QWidget& w, bool hot)
{
    ExpectFlatRings(w, hot, w.width() / 3);
}

struct Operator {
    TComboBox98 combo;
    Operator()
    {
        combo.resize(53, 22);
        combo.Items().Assign(Operators);
    }
};

TEST(TComboBox98, FlatRingsWhenNormal)
{
    Operator op;
    ExpectRings(op.combo, false);
}

TEST(TComboBox98, MouseOverMakesRingOneSunkenAndLeavingRestoresIt)
{
    Operator op;
    Enter(op.combo);
    EXPECT_TRUE(op.combo.Hot());
    ExpectRings(op.combo, true);
    Leave(op.combo);
    ExpectRings(op.combo, false);
}

TEST(TComboBox98, FocusKeepsItHotAfterTheMouseLeaves)
{
    Operator op;
    Focus(op.combo, true);
    ExpectRings(op.combo, true);
    Enter(op.combo);
    Leave(op.combo);
    ExpectRings(op.combo, true);
    Focus(op.combo, false);
    ExpectRings(op.combo, false);
}

TEST(TComboBox98, ColourFollowsTheEnabledState)
{
    Operator op;
    op.combo.setEnabled(false);
    EXPECT_EQ(op.combo.Color(), Role(QPalette::Button));
    op.combo.setEnabled(true);
    EXPECT_EQ(op.combo.Color(), Role(QPalette::Base));
}

TEST(TComboBox98, ChoosingAnItemSetsTextThenClicksThenChanges)
{
    Operator op;
    op.combo.SetItemIndex(1);
    std::string events;
    op.combo.OnClick = [&](QObject* Sender) {
        EXPECT_EQ(Sender, &op.combo);
        EXPECT_EQ(op.combo.Text(), "Xor") << "Text is set before OnClick";
        events += "click;";
    };
    op.combo.OnChange = [&](QObject*) { events += "change;"; };
    QTest::keyClick(&op.combo, Qt::Key_Down);
    EXPECT_EQ(op.combo.ItemIndex(), 2);
    EXPECT_EQ(op.combo.Text(), "Xor");
    EXPECT_EQ(events, "click;change;");
}

TEST(TComboBox98, TypingInTheEditPartFiresOnChangeOnly)
{
    Operator op;
    int changes = 0, clicks = 0;
    op.combo.OnChange = [&](QObject*) { ++changes; };
    op.combo.OnClick = [&](QObject*) { ++clicks; };
    QTest::keyClicks(op.combo.lineEdit(), "ab");
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(clicks, 0);
    op.combo.SetItemIndex(0);
    EXPECT_EQ(clicks, 0) << "a selection set by the program is no user choice";
}

struct DropCase {
    const char* name;
    int items;
    int dropDownCount;
    int visible;
};

class DroppedListHeight : public testing::TestWithParam<DropCase> { };

TEST_P(DroppedListHeight, IsSizedForTheVisibleItems)
{
    const DropCase& c = GetParam();
    QWidget window;
    window.resize(200, 300);
    TComboBox98 combo(&window);
    combo.setGeometry(10, 10, 80, 22);
    combo.SetDropDownCount(c.dropDownCount);
    for (int i = 0; i < c.items; ++i) {
        combo.Items().Add(QString("item %1").arg(i));
    }
    EXPECT_EQ(combo.DroppedHeight(), 16 * c.visible + 22 + 2);
    if (c.items == 0) {
        return; // an empty list does not open; only its size is computed
    }
    window.show();
    int dropDowns = 0;
    combo.OnDropDown = [&](QObject*) { ++dropDowns; };
    combo.SetDroppedDown(true);
    EXPECT_EQ(dropDowns, 1);
    EXPECT_TRUE(combo.DroppedDown());
    EXPECT_EQ(combo.view()->window()->height(), 16 * c.visible + 2);
    combo.SetDroppedDown(false);
    EXPECT_FALSE(combo.DroppedDown());
}

INSTANTIATE_TEST_SUITE_P(Counts, DroppedListHeight,
                         testing::Values(DropCase{"two_items_sized_for_two", 2, 8, 2},
                                         DropCase{"no_items_sized_for_one", 0, 8, 1},
                                         DropCase{"more_items_than_the_count", 12, 8, 8}),
                         [](const testing::TestParamInfo<DropCase>& info) {
                             return std::string(info.param.name);
                         });

struct LengthCase {
    const char* name;
    int maxLength;
    int limit;
};

class EditLimit : public testing::TestWithParam<LengthCase> { };

TEST_P(EditLimit, FollowsMaxLengthUpTo255)
{
    TComboBox98 combo;
    combo.SetMaxLength(GetParam().maxLength);
    EXPECT_EQ(combo.MaxLength(), GetParam().maxLength);
    EXPECT_EQ(combo.lineEdit()->maxLength(), GetParam().limit);
    combo.SetText(QString(400, 'x'));
    EXPECT_EQ(combo.Text().size(), GetParam().limit);
}

INSTANTIATE_TEST_SUITE_P(Limits, EditLimit,
                         testing::Values(LengthCase{"zero_means_255", 0, 255},
                                         LengthCase{"above_255_means_255", 300, 255},
                                         LengthCase{"twenty", 20, 20}),
                         [](const testing::TestParamInfo<LengthCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(TComboBoxStrings, ClearingKeepsTheEditText)
{
    Operator op;
    op.combo.SetText("typed");
    op.combo.Items().Clear();
    EXPECT_EQ(op.combo.Items().Count(), 0);
    EXPECT_EQ(op.combo.Text(), "typed");
}

TEST(TComboBoxStrings, ItemsAreStoredInTheComboInOrder)
{
    Operator op;
    EXPECT_EQ(op.combo.Items().ToStringList(), Operators);
    EXPECT_EQ(op.combo.count(), 4);
    EXPECT_EQ(op.combo.Items()[3], "& Not");
    op.combo.Items().Delete(0);
    op.combo.Items().Insert(1, "Mid");
    EXPECT_EQ(op.combo.ItemList(), (QStringList{"Or", "Mid", "Xor", "& Not"}));
    op.combo.Items().SetObjects(1, 42);
    EXPECT_EQ(op.combo.Items().Objects(1), 42u);
}

TEST(TComboBoxStrings, ItemTextComesBackCutAt4095Characters)
{
    TComboBox98 combo;
    combo.Items().Add(QString(5000, 'a'));
    EXPECT_EQ(combo.Items()[0].size(), 4095);
}

TEST(TComboBoxStrings, ARefusedItemRaisesUnableToInsertALine)
{
    TComboBox98 combo;
    combo.setMaxCount(1);
    combo.Items().Add("one");
    try {
        combo.Items().Add("two");
        FAIL() << "no error raised";
    } catch (const EOutOfResources& e) {
        EXPECT_STREQ(e.what(), "Unable to insert a line");
    }
}

TEST(TComboBoxStrings, SortedListsPlaceItemsInOrder)
{
    TComboBox98 combo;
    combo.SetItems({"pear", "Apple", "fig"});
    combo.SetSorted(true);
    EXPECT_EQ(combo.ItemList(), (QStringList{"Apple", "fig", "pear"}));
    combo.Items().Add("banana");
    EXPECT_EQ(combo.ItemList(), (QStringList{"Apple", "banana", "fig", "pear"}));
}

QImage DrawItem(TComboBox98& combo, int row, QStyle::State state)
{
    QImage image(60, 16, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    QPainter p(&image);
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, 60, 16);
    option.state = state | QStyle::State_Enabled;
    combo.view()->itemDelegate()->paint(&p, option, combo.model()->index(row, 0));
    return image;
}

TEST(TComboBox98, DefaultItemDrawingFillsAndWritesTheText)
{
    Operator op;
    QImage image = DrawItem(op.combo, 0, QStyle::State_Selected);
    EXPECT_EQ(At(image, 58, 14), Role(QPalette::Highlight));
    EXPECT_EQ(CountColour(image, image.rect(), Qt::magenta), 0);
    EXPECT_EQ(CountNear(image, QRect(0, 0, 2, 16), Role(QPalette::HighlightedText), 30), 0)
        << "text starts at left + 2";
    image = DrawItem(op.combo, 0, {});
    EXPECT_EQ(At(image, 58, 14), Role(QPalette::Base));
    EXPECT_GT(CountNear(image, image.rect(), Role(QPalette::Text)), 3);
}

TEST(TComboBox98, ExceptionsInItemDrawingAreSwallowed)
{
    Operator op;
    std::vector<int> drawn;
    op.combo.OnDrawItem = [&](QWidget* Control, int Index, const QRect& Rect, TComboBox98::TOwnerDrawState) {
        EXPECT_EQ(Control, &op.combo);
        if (Index == 1) {
            throw std::runtime_error("cannot draw");
        }
        op.combo.Canvas()->fillRect(Rect, Qt::green);
        drawn.push_back(Index);
    };
    for (int row = 0; row < 4; ++row) {
        EXPECT_NO_THROW(DrawItem(op.combo, row, {}));
    }
    EXPECT_EQ(drawn, (std::vector<int>{0, 2, 3}));
    EXPECT_EQ(At(DrawItem(op.combo, 2, {}), 30, 8), QColor(Qt::green));
}

TEST(TComboBox98, ItemHeightAndOnMeasureItemSizeTheItems)
{
    Operator op;
    QStyleOptionViewItem option;
    auto* delegate = op.combo.view()->itemDelegate();
    EXPECT_EQ(delegate->sizeHint(option, op.combo.model()->index(0, 0)).height(), 16);
    op.combo.SetItemHeight(20);
    EXPECT_EQ(delegate->sizeHint(option, op.combo.model()->index(0, 0)).height(), 20);
    op.combo.OnMeasureItem = [](QWidget*, int Index, int& Height) { Height += Index; };
    EXPECT_EQ(delegate->sizeHint(option, op.combo.model()->index(3, 0)).height(), 23);
}

} // namespace

namespace {

TEST(TComboBox98, TypingDoesNotCompleteToAnItem)
{
    Operator op;
    op.combo.show();
    QApplication::setActiveWindow(&op.combo);
    op.combo.setFocus();
    op.combo.SetText(QString());
    QTest::keyClicks(op.combo.lineEdit(), "x");
    EXPECT_EQ(op.combo.Text(), "x");
    EXPECT_FALSE(op.combo.lineEdit()->hasSelectedText());
}

TEST(TComboBoxStrings, SortingKeepsEachItemsDataWord)
{
    TComboBox98 combo;
    combo.SetItems({"pear", "Apple", "fig"});
    for (int i = 0; i < 3; ++i) {
        combo.Items().SetObjects(i, 100 + i);
    }
    combo.SetSorted(true);
    ASSERT_EQ(combo.ItemList(), (QStringList{"Apple", "fig", "pear"}));
    EXPECT_EQ(combo.Items().Objects(0), 101u);
    EXPECT_EQ(combo.Items().Objects(1), 102u);
    EXPECT_EQ(combo.Items().Objects(2), 100u);
}

TEST(TComboBoxStrings, SortingKeepsEqualItemsInTheirOrder)
{
    TComboBox98 combo;
    combo.SetItems({"b", "A", "a"});
    combo.SetSorted(true);
    EXPECT_EQ(combo.ItemList(), (QStringList{"A", "a", "b"}));
}

TEST(TComboBoxStrings, ItemsAddedThroughTheQtInterfaceAreSortedToo)
{
    TComboBox98 combo;
    combo.SetSorted(true);
    combo.addItem("pear");
    combo.addItem("apple", 7);
    combo.insertItem(0, "zebra");
    combo.addItems({"fig", "cherry"});
    EXPECT_EQ(combo.ItemList(), (QStringList{"apple", "cherry", "fig", "pear", "zebra"}));
    EXPECT_EQ(combo.itemData(0).toInt(), 7);
}

TEST(TComboBoxStrings, InsertKeepsItsPositionInASortedList)
{
    TComboBox98 combo;
    combo.SetItems({"b", "c"});
    combo.SetSorted(true);
    combo.Items().Insert(0, "z");
    EXPECT_EQ(combo.ItemList(), (QStringList{"z", "b", "c"}));
}

TEST(TComboBoxStrings, SortingKeepsTheEditText)
{
    TComboBox98 combo;
    combo.SetItems({"pear", "apple"});
    combo.SetItemIndex(0);
    combo.SetText("typed");
    combo.SetSorted(true);
    EXPECT_EQ(combo.Text(), "typed");
}

} // namespace
