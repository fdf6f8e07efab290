#pragma once

#include <QColor>
#include <QComboBox>
#include <QStringList>

#include <functional>
#include <stdexcept>

class TQvCustomComboBox;

/// Raised when the combo box refuses an item.
class EOutOfResources : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// The item list of a flat combo box; its storage is the combo box itself.
class TComboBoxStrings {
public:
    explicit TComboBoxStrings(TQvCustomComboBox& combo);

    int Count() const;
    // Item text, cut to 4095 characters as it comes through a fixed buffer.
    QString Strings(int index) const;
    QString operator[](int index) const { return Strings(index); }
    quintptr Objects(int index) const;
    void SetObjects(int index, quintptr data);
    int Add(const QString& text);
    void Insert(int index, const QString& text);
    void Delete(int index);
    // Empties the list; the edit text stays as it was.
    void Clear();
    int IndexOf(const QString& text) const;
    void Assign(const QStringList& list);
    QStringList ToStringList() const;
    void BeginUpdate();
    void EndUpdate();

private:
    TQvCustomComboBox& FCombo;
};

/// The behaviour of the editable, owner-drawn, flat combo box.
class TQvCustomComboBox : public QComboBox {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TQvCustomComboBox)

public:
    enum TOwnerDrawStateFlag {
        odSelected = 0x1,
        odGrayed = 0x2,
        odDisabled = 0x4,
        odChecked = 0x8,
        odFocused = 0x10,
    };
    Q_DECLARE_FLAGS(TOwnerDrawState, TOwnerDrawStateFlag)
    using TNotifyEvent = std::function<void(QObject* Sender)>;
    using TDrawItemEvent =
        std::function<void(QWidget* Control, int Index, const QRect& Rect, TOwnerDrawState State)>;
    using TMeasureItemEvent = std::function<void(QWidget* Control, int Index, int& Height)>;

    // The edit part holds at most this many characters when MaxLength does not say less.
    static constexpr int PlatformMaxLength = 255;

    explicit TQvCustomComboBox(QWidget* parent = nullptr);
    ~TQvCustomComboBox() override;

    TComboBoxStrings& Items() { return FItems; }
    const TComboBoxStrings& Items() const { return FItems; }
    QStringList ItemList() const { return FItems.ToStringList(); }
    void SetItems(const QStringList& value) { FItems.Assign(value); }
    bool Sorted() const { return FSorted; }
    void SetSorted(bool value);
    int ItemHeight() const { return FItemHeight; }
    void SetItemHeight(int value);
    int MaxLength() const { return FMaxLength; }
    void SetMaxLength(int value);
    int DropDownCount() const { return FDropDownCount; }
    void SetDropDownCount(int value);
    QColor Color() const;
    void SetColor(const QColor& value);
    QString Text() const { return currentText(); }
    void SetText(const QString& value);
    bool ShowHint() const { return FShowHint; }
    void SetShowHint(bool value) { FShowHint = value; }

    int ItemIndex() const { return currentIndex(); }
    void SetItemIndex(int value) { setCurrentIndex(value); }
    bool DroppedDown() const;
    void SetDroppedDown(bool value);

    // Hot: the mouse is over the control or it has the keyboard focus.
    bool Hot() const { return FMouseInside || FFocused; }
    QColor FrameColor() const { return FFrameColor; }
    // Height of the control with its list dropped: ItemHeight x visible items + height + 2.
    int DroppedHeight() const;
    // The canvas of the item being drawn; valid only inside OnDrawItem.
    QPainter* Canvas() const { return FCanvas; }

    TNotifyEvent OnChange;
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TNotifyEvent OnDropDown;
    TDrawItemEvent OnDrawItem;
    TMeasureItemEvent OnMeasureItem;

    void showPopup() override;

    // Used by the item delegate.
    int MeasureItem(int index) const;
    void DrawItem(QPainter& painter, int index, const QRect& rect, TOwnerDrawState state);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class TComboBoxStrings;
    void SelectionChanged(int index);
    void Change();
    void KeepEditInsideFrame();
    // Puts the rows in the order a sorted list keeps.
    void SortRows();

    TComboBoxStrings FItems;
    QPainter* FCanvas{nullptr};
    bool FSorted{false};
    bool FKeepInsertedRows{false}; // rows being inserted stay where they are put
    int FItemHeight{16};
    int FMaxLength{0};
    int FDropDownCount{8};
    bool FFocused{false};
    bool FFocusChanged{false};
    bool FMouseInside{false};
    bool FShowHint{false};
    QColor FFrameColor;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TQvCustomComboBox::TOwnerDrawState)

/// The flat combo box with its properties published for form descriptions.
class TComboBox98 : public TQvCustomComboBox {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TComboBox98)
    Q_PROPERTY(QStringList Items READ ItemList WRITE SetItems)
    Q_PROPERTY(QString Text READ Text WRITE SetText)
    Q_PROPERTY(int ItemHeight READ ItemHeight WRITE SetItemHeight)
    Q_PROPERTY(QColor Color READ Color WRITE SetColor)
    Q_PROPERTY(int DropDownCount READ DropDownCount WRITE SetDropDownCount)
    Q_PROPERTY(int MaxLength READ MaxLength WRITE SetMaxLength)
    Q_PROPERTY(bool Sorted READ Sorted WRITE SetSorted)
    Q_PROPERTY(bool ShowHint READ ShowHint WRITE SetShowHint)
    Q_PROPERTY(int ItemIndex READ ItemIndex WRITE SetItemIndex STORED false)

public:
    explicit TComboBox98(QWidget* parent = nullptr);
};
