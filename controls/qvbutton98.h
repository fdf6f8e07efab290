#pragma once

#include <QAbstractButton>
#include <QList>
#include <QPixmap>

#include <functional>

class QMenu;

/// A list of equally sized images addressed by index, shared by buttons and tool bars.
class TImageList : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TImageList)

public:
    TImageList(int width, int height, QObject* parent = nullptr);

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    int Count() const { return static_cast<int>(FImages.size()); }
    // Adds one image, or a horizontal strip cut into images of the list's width.
    void Add(const QPixmap& image);
    QPixmap Image(int index) const;
    void Draw(QPainter& canvas, int x, int y, int index) const;

private:
    int FWidth;
    int FHeight;
    QList<QPixmap> FImages;
};

/// A flat push button that paints itself; normal or with a drop-down arrow part.
class TButton98 : public QAbstractButton {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TButton98)
    Q_PROPERTY(TKind Kind READ Kind WRITE SetKind)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(int Index READ Index WRITE SetIndex)
    Q_PROPERTY(bool AllowUp READ AllowUp WRITE SetAllowUp)
    Q_PROPERTY(bool Down READ Down WRITE SetDown STORED true)
    Q_PROPERTY(int XOffset READ XOffset WRITE SetXOffset)
    Q_PROPERTY(int YOffset READ YOffset WRITE SetYOffset)
    Q_PROPERTY(int GroupIndex READ GroupIndex WRITE SetGroupIndex)
    Q_PROPERTY(QString Hint READ Hint WRITE SetHint)
    Q_PROPERTY(bool ShowHint READ ShowHint WRITE SetShowHint)

public:
    enum TKind { BkNormal, BkDropDown };
    Q_ENUM(TKind)
    enum TPressState { psUp, psPressed, psArrowPressed, psMainPressed };

    // Width of the arrow part of a drop-down button.
    static constexpr int ArrowWidth = 12;

    explicit TButton98(QWidget* parent = nullptr);

    TKind Kind() const { return FKind; }
    void SetKind(TKind value);
    QString Caption() const { return text(); }
    void SetCaption(const QString& value);
    int Index() const { return FIndex; }
    void SetIndex(int value);
    bool AllowUp() const { return FAllowUp; }
    void SetAllowUp(bool value) { FAllowUp = value; }
    bool Down() const { return FDown; }
    void SetDown(bool value);
    int XOffset() const { return FXOffset; }
    void SetXOffset(int value);
    int YOffset() const { return FYOffset; }
    void SetYOffset(int value);
    int GroupIndex() const { return FGroupIndex; }
    void SetGroupIndex(int value) { FGroupIndex = value; }
    QString Hint() const { return toolTip(); }
    void SetHint(const QString& value) { setToolTip(value); }
    bool ShowHint() const { return FShowHint; }
    void SetShowHint(bool value) { FShowHint = value; }

    TImageList* ImageList() const { return FImageList; }
    void SetImageList(TImageList* value);
    QMenu* DropDownMenu() const { return FDropDownMenu; }
    void SetDropDownMenu(QMenu* value) { FDropDownMenu = value; }

    TPressState PressState() const { return FPressState; }
    bool Hot() const { return FHot; }

    // Runs the button's click: the group's exclusion, then OnClick.
    void Click();

    std::function<void(QObject* Sender)> OnClick;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool event(QEvent* event) override;
    bool hitButton(const QPoint& pos) const override;

private:
    // Out of reach through this class: Down is the button's own latch, not the base's pressed look.
    using QAbstractButton::setDown;

    void LeftPress(const QPoint& pos);
    void LeftRelease(bool inside);
    void OpenDropDownMenu();
    void MenuClosed();
    QColor SystemColor(QPalette::ColorRole role) const;
    void DrawFace(QPainter& p, const QRect& r, bool pressed) const;
    void Repaint();

    int FXOffset{0};
    int FYOffset{0};
    bool FDown{false};
    bool FHot{false};
    int FGroupIndex{0};
    bool FAllowUp{false};
    QMenu* FDropDownMenu{nullptr};
    TImageList* FImageList{nullptr};
    int FIndex{0};
    TKind FKind{BkNormal};
    TPressState FPressState{psUp};
    bool FShowHint{false};
    // A click fires on release only for a press that started on this button.
    bool FClicking{false};
};
