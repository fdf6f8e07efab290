#include "controls/qvcombo98.h"

#include "controls/FlatFrame.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPainter>
#include <QScopedValueRollback>
#include <QStandardItemModel>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QStyledItemDelegate>

#include <algorithm>

namespace {

// Item text reads go through a buffer of this many characters, terminator included.
constexpr int ItemTextBuffer = 4096;
// Width of the flat frame drawn over the control's edge.
constexpr int FrameWidth = 3;

// Every item is owner-drawn and owner-measured by the combo box itself.
class TComboItemDelegate : public QStyledItemDelegate {
public:
    explicit TComboItemDelegate(TQvCustomComboBox* combo)
        : QStyledItemDelegate(combo)
        , FCombo(combo)
    {
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        TQvCustomComboBox::TOwnerDrawState state;
        if (option.state & QStyle::State_Selected) {
            state |= TQvCustomComboBox::odSelected;
        }
        if (option.state & QStyle::State_HasFocus) {
            state |= TQvCustomComboBox::odFocused;
        }
        if (!(option.state & QStyle::State_Enabled)) {
            state |= TQvCustomComboBox::odDisabled;
        }
        FCombo->DrawItem(*painter, index.row(), option.rect, state);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return QSize(option.rect.width(), FCombo->MeasureItem(index.row()));
    }

private:
    TQvCustomComboBox* FCombo;
};

bool SortsBefore(const QString& a, const QString& b)
{
    return QString::compare(a, b, Qt::CaseInsensitive) < 0;
}

} // namespace

TComboBoxStrings::TComboBoxStrings(TQvCustomComboBox& combo)
    : FCombo(combo)
{
}

int TComboBoxStrings::Count() const
{
    return FCombo.count();
}

QString TComboBoxStrings::Strings(int index) const
{
    return FCombo.itemText(index).left(ItemTextBuffer - 1);
}

quintptr TComboBoxStrings::Objects(int index) const
{
    return FCombo.itemData(index).value<quintptr>();
}

void TComboBoxStrings::SetObjects(int index, quintptr data)
{
    FCombo.setItemData(index, QVariant::fromValue(data));
}

int TComboBoxStrings::Add(const QString& text)
{
    int index = Count();
    if (FCombo.Sorted()) {
        // A sorted list places a new item where it belongs, as the platform's sorted list does.
        index = 0;
        while (index < Count() && !SortsBefore(text, FCombo.itemText(index))) {
            ++index;
        }
    }
    Insert(index, text);
    return index;
}

void TComboBoxStrings::Insert(int index, const QString& text)
{
    const int before = Count();
    // An item inserted at a position stays there, sorted list or not, as with the platform's list.
    const QScopedValueRollback keep(FCombo.FKeepInsertedRows, true);
    FCombo.insertItem(index, text);
    if (Count() != before + 1) {
        throw EOutOfResources("Unable to insert a line");
    }
}

void TComboBoxStrings::Delete(int index)
{
    FCombo.removeItem(index);
}

void TComboBoxStrings::Clear()
{
    const QString text = FCombo.currentText();
    FCombo.clear();
    FCombo.setEditText(text);
    FCombo.update();
}

int TComboBoxStrings::IndexOf(const QString& text) const
{
    for (int i = 0; i < Count(); ++i) {
        if (QString::compare(Strings(i), text, Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    return -1;
}

void TComboBoxStrings::Assign(const QStringList& list)
{
    BeginUpdate();
    try {
        Clear();
        for (const QString& s : list) {
            Add(s);
        }
    } catch (...) {
        EndUpdate();
        throw;
    }
    EndUpdate();
}

QStringList TComboBoxStrings::ToStringList() const
{
    QStringList list;
    for (int i = 0; i < Count(); ++i) {
        list.append(Strings(i));
    }
    return list;
}

void TComboBoxStrings::BeginUpdate()
{
    FCombo.setUpdatesEnabled(false);
}

void TComboBoxStrings::EndUpdate()
{
    FCombo.setUpdatesEnabled(true);
    FCombo.update();
}

TQvCustomComboBox::TQvCustomComboBox(QWidget* parent)
    : QComboBox(parent)
    , FItems(*this)
    , FFrameColor(QApplication::palette().color(QPalette::Button))
{
    setEditable(true);
    // A plain drop-down edit: typing never completes to an item.
    setCompleter(nullptr);
    setInsertPolicy(QComboBox::NoInsert);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_Hover);
    resize(145, 25);
    setItemDelegate(new TComboItemDelegate(this));
    setMaxVisibleItems(FDropDownCount);
    SetMaxLength(FMaxLength);
    lineEdit()->setTextMargins(0, 0, 0, 0);
    lineEdit()->installEventFilter(this);
    connect(this, &QComboBox::activated, this, &TQvCustomComboBox::SelectionChanged);
    connect(model(), &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex& parent, int, int) {
        if (FSorted && !FKeepInsertedRows && !parent.isValid()) {
            SortRows();
        }
    });
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { Change(); });
    SetColor(QApplication::palette().color(QPalette::Base));
}

TQvCustomComboBox::~TQvCustomComboBox() = default;

void TQvCustomComboBox::SetSorted(bool value)
{
    if (FSorted == value) {
        return;
    }
    FSorted = value;
    if (!FSorted) {
        return;
    }
    SortRows();
}

void TQvCustomComboBox::SortRows()
{
    // An insertion sort: rows move with everything they hold (their data words too), rows of equal
    // text keep their order, and a list that is sorted but for one new row costs one move.
    auto* items = qobject_cast<QStandardItemModel*>(model());
    if (items == nullptr) {
        return;
    }
    const QScopedValueRollback keep(FKeepInsertedRows, true);
    const QString editText = currentText();
    bool moved = false;
    for (int row = 1; row < count(); ++row) {
        const QString text = itemText(row);
        int target = row;
        while (target > 0 && SortsBefore(text, itemText(target - 1))) {
            --target;
        }
        if (target == row) {
            continue;
        }
        const bool wasCurrent = currentIndex() == row;
        items->insertRow(target, items->takeRow(row));
        if (wasCurrent) {
            setCurrentIndex(target);
        }
        moved = true;
    }
    if (moved) {
        setEditText(editText);
    }
}

void TQvCustomComboBox::SetItemHeight(int value)
{
    if (FItemHeight != value) {
        FItemHeight = value;
        view()->doItemsLayout();
        update();
    }
}

void TQvCustomComboBox::SetMaxLength(int value)
{
    FMaxLength = value;
    lineEdit()->setMaxLength(value >= 1 && value <= PlatformMaxLength ? value : PlatformMaxLength);
}

void TQvCustomComboBox::SetDropDownCount(int value)
{
    FDropDownCount = value;
    setMaxVisibleItems(qMax(1, value));
}

QColor TQvCustomComboBox::Color() const
{
    return palette().color(QPalette::Base);
}

void TQvCustomComboBox::SetColor(const QColor& value)
{
    QPalette pal = palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        pal.setColor(group, QPalette::Base, value);
    }
    setPalette(pal);
    lineEdit()->setPalette(pal);
}

void TQvCustomComboBox::SetText(const QString& value)
{
    setEditText(value);
}

bool TQvCustomComboBox::DroppedDown() const
{
    return view()->isVisible();
}

void TQvCustomComboBox::SetDroppedDown(bool value)
{
    if (value) {
        showPopup();
    } else {
        hidePopup();
    }
}

int TQvCustomComboBox::DroppedHeight() const
{
    const int n = std::clamp(count(), 1, qMax(1, FDropDownCount));
    return FItemHeight * n + height() + 2;
}

void TQvCustomComboBox::showPopup()
{
    FFocusChanged = false;
    if (OnDropDown) {
        OnDropDown(this);
    }
    // The handler moved the focus away: the list stays closed.
    if (FFocusChanged && !hasFocus()) {
        return;
    }
    QComboBox::showPopup();
    if (QWidget* container = view()->window(); container != window()) {
        container->resize(width(), DroppedHeight() - height());
    }
}

int TQvCustomComboBox::MeasureItem(int index) const
{
    int h = FItemHeight;
    if (OnMeasureItem) {
        OnMeasureItem(const_cast<TQvCustomComboBox*>(this), index, h);
    }
    return h;
}

void TQvCustomComboBox::DrawItem(QPainter& painter, int index, const QRect& rect, TOwnerDrawState state)
{
    painter.save();
    FCanvas = &painter;
    painter.setFont(font());
    QColor brush = Color();
    QColor text = palette().color(QPalette::Text);
    if (index >= 0 && state.testFlag(odSelected)) {
        brush = palette().color(QPalette::Highlight);
        text = palette().color(QPalette::HighlightedText);
    }
    painter.setBrush(brush);
    painter.setPen(text);
    if (index < 0) {
        painter.fillRect(rect, brush);
    } else {
        try {
            if (OnDrawItem) {
                OnDrawItem(this, index, rect, state);
            } else {
                painter.fillRect(rect, brush);
                painter.drawText(QRect(rect.left() + 2, rect.top(), rect.width() - 2, rect.height()),
                                 Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, itemText(index));
            }
        } catch (...) {
            // One item that cannot draw must not stop the rest of the list.
        }
    }
    if (state.testFlag(odFocused)) {
        QStyleOptionFocusRect option;
        option.initFrom(this);
        option.rect = rect;
        option.backgroundColor = brush;
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
    FCanvas = nullptr;
    painter.restore();
}

void TQvCustomComboBox::SelectionChanged(int index)
{
    setEditText(itemText(index));
    if (OnClick) {
        OnClick(this);
    }
    Change();
}

void TQvCustomComboBox::Change()
{
    if (OnChange) {
        OnChange(this);
    }
}

bool TQvCustomComboBox::event(QEvent* event)
{
    const bool result = QComboBox::event(event);
    if (event->type() == QEvent::Polish) {
        // The frame colour is the button face as it is once the control is set up.
        FFrameColor = QApplication::palette().color(QPalette::Button);
    }
    return result;
}

void TQvCustomComboBox::paintEvent(QPaintEvent* event)
{
    QComboBox::paintEvent(event);
    QPainter p(this);
    FlatFrame::PaintRings(p, rect(), Hot(), FFrameColor, QApplication::palette().color(QPalette::Base),
                          QApplication::palette());
}

void TQvCustomComboBox::changeEvent(QEvent* event)
{
    QComboBox::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) {
        SetColor(QApplication::palette().color(isEnabled() ? QPalette::Base : QPalette::Button));
    }
}

void TQvCustomComboBox::enterEvent(QEnterEvent* event)
{
    QComboBox::enterEvent(event);
    FMouseInside = true;
    update();
}

void TQvCustomComboBox::leaveEvent(QEvent* event)
{
    QComboBox::leaveEvent(event);
    FMouseInside = false;
    update();
}

void TQvCustomComboBox::focusInEvent(QFocusEvent* event)
{
    QComboBox::focusInEvent(event);
    FFocused = true;
    FFocusChanged = true;
    update();
}

void TQvCustomComboBox::focusOutEvent(QFocusEvent* event)
{
    QComboBox::focusOutEvent(event);
    // The dropped list taking the focus does not make the control lose it.
    if (event->reason() == Qt::PopupFocusReason && DroppedDown()) {
        return;
    }
    FFocused = false;
    FFocusChanged = true;
    update();
}

void TQvCustomComboBox::resizeEvent(QResizeEvent* event)
{
    QComboBox::resizeEvent(event);
    KeepEditInsideFrame();
}

void TQvCustomComboBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    QComboBox::mouseDoubleClickEvent(event);
    if (OnDblClick) {
        OnDblClick(this);
    }
}

bool TQvCustomComboBox::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == lineEdit()) {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
            KeepEditInsideFrame();
            break;
        case QEvent::FocusIn:
            if (!FFocused) {
                FFocused = true;
                FFocusChanged = true;
                update();
            }
            break;
        default:
            break;
        }
    }
    return QComboBox::eventFilter(watched, event);
}

void TQvCustomComboBox::KeepEditInsideFrame()
{
    // The edit child must not cover the three rings of the flat frame.
    QLineEdit* edit = lineEdit();
    const QRect inside = rect().adjusted(FrameWidth, FrameWidth, -FrameWidth, -FrameWidth);
    const QRect clipped = edit->geometry() & inside;
    if (!clipped.isEmpty() && clipped != edit->geometry()) {
        edit->setGeometry(clipped);
    }
}

TComboBox98::TComboBox98(QWidget* parent)
    : TQvCustomComboBox(parent)
{
}
