#include "controls/qvbutton98.h"

#include "controls/FlatFrame.h"

#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPointer>

TImageList::TImageList(int width, int height, QObject* parent)
    : QObject(parent)
    , FWidth(width)
    , FHeight(height)
{
}

void TImageList::Add(const QPixmap& image)
{
    if (image.width() <= FWidth) {
        FImages.append(image);
        return;
    }
    for (int x = 0; x + FWidth <= image.width(); x += FWidth) {
        FImages.append(image.copy(x, 0, FWidth, FHeight));
    }
}

QPixmap TImageList::Image(int index) const
{
    return index >= 0 && index < Count() ? FImages.at(index) : QPixmap();
}

void TImageList::Draw(QPainter& canvas, int x, int y, int index) const
{
    if (index >= 0 && index < Count()) {
        canvas.drawPixmap(x, y, FImages.at(index));
    }
}

TButton98::TButton98(QWidget* parent)
    : QAbstractButton(parent)
{
    resize(40, 20);
    // All pixels come from paintEvent; nothing shows through from the parent.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_Hover);
    // Like the toolkit's custom controls, not a tab stop unless a form makes it one.
    setFocusPolicy(Qt::NoFocus);
}

void TButton98::Repaint()
{
    // Immediate, so the face never shows a stale state while a menu or handler runs.
    repaint();
}

void TButton98::SetKind(TKind value)
{
    if (FKind != value) {
        FKind = value;
        Repaint();
    }
}

void TButton98::SetCaption(const QString& value)
{
    setText(value);
    update();
}

void TButton98::SetIndex(int value)
{
    if (FIndex != value) {
        FIndex = value;
        Repaint();
    }
}

void TButton98::SetXOffset(int value)
{
    if (FXOffset != value) {
        FXOffset = value;
        Repaint();
    }
}

void TButton98::SetYOffset(int value)
{
    if (FYOffset != value) {
        FYOffset = value;
        Repaint();
    }
}

void TButton98::SetImageList(TImageList* value)
{
    FImageList = value;
    update();
}

void TButton98::SetDown(bool value)
{
    if (FDown == value) {
        return;
    }
    // Shown at the next paint, as a latched group button is painted by its own click.
    if (value) {
        FHot = true;
        FPressState = FKind == BkDropDown ? psMainPressed : psPressed;
    }
    FDown = value;
    if (!value) {
        FPressState = psUp;
        FHot = false;
    }
}

void TButton98::enterEvent(QEnterEvent* event)
{
    QAbstractButton::enterEvent(event);
    if (!FHot && FPressState != psPressed && FPressState != psMainPressed) {
        FPressState = psUp;
        FHot = true;
        Repaint();
    }
    FHot = true;
}

void TButton98::leaveEvent(QEvent* event)
{
    QAbstractButton::leaveEvent(event);
    if (FHot && FPressState != psPressed && FPressState != psMainPressed) {
        FHot = false;
        Repaint();
    }
    FHot = false;
}

void TButton98::LeftPress(const QPoint& pos)
{
    if (FPressState == psPressed || FPressState == psMainPressed) {
        if ((FAllowUp && FDown) || FGroupIndex > 0) {
            FPressState = psUp;
            Repaint();
        }
        return;
    }
    if (FKind == BkDropDown) {
        if (pos.x() < width() - ArrowWidth) {
            FPressState = psMainPressed;
            Repaint();
            return;
        }
        FPressState = psArrowPressed;
        Repaint();
        // The arrow part opens the menu; it never clicks the button.
        FClicking = false;
        if (!FDropDownMenu) {
            MenuClosed();
            return;
        }
        // The menu runs an event loop of its own, and its commands may do anything, this button's
        // deletion included: it opens once the press has been handled, with none of this button's
        // handlers still running.
        QMetaObject::invokeMethod(this, &TButton98::OpenDropDownMenu, Qt::QueuedConnection);
        return;
    }
    FPressState = psPressed;
    Repaint();
}

void TButton98::OpenDropDownMenu()
{
    const QPointer<TButton98> self(this);
    if (QMenu* menu = FDropDownMenu) {
        menu->setProperty("PopupComponent", QVariant::fromValue<QObject*>(this));
        menu->exec(mapToGlobal(QPoint(0, height())));
    }
    if (self) {
        MenuClosed();
    }
}

void TButton98::MenuClosed()
{
    FPressState = psUp;
    FHot = false;
    Repaint();
}

void TButton98::LeftRelease(bool inside)
{
    if (inside) {
        Click();
    }
    if ((FAllowUp && !FDown) || FGroupIndex == 0) {
        FPressState = psUp;
    }
    Repaint();
}

void TButton98::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !isEnabled()) {
        event->ignore();
        return;
    }
    FClicking = true;
    LeftPress(event->position().toPoint());
}

void TButton98::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    const bool clicking = FClicking;
    FClicking = false;
    if (!clicking) {
        return;
    }
    LeftRelease(clicking && rect().contains(event->position().toPoint()));
}

void TButton98::mouseMoveEvent(QMouseEvent* event)
{
    // The press state only changes on press and release.
    event->accept();
}

void TButton98::Click()
{
    if (FGroupIndex != 0) {
        for (TButton98* other : window()->findChildren<TButton98*>()) {
            if (other != this && other->FGroupIndex == FGroupIndex &&
                (other->FDown || other->FPressState != psUp)) {
                other->FDown = false;
                other->FPressState = psUp;
                other->FHot = false;
                other->Repaint();
            }
        }
        FDown = true;
        FPressState = psPressed;
    }
    if (OnClick) {
        try {
            OnClick(this);
        } catch (...) {
            // A handler the button calls on its own cannot be recovered from here.
        }
    }
    emit clicked(false);
}

void TButton98::keyPressEvent(QKeyEvent* event)
{
    if (!isEnabled()) {
        QAbstractButton::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Space:
        if (!event->isAutoRepeat() && FPressState != psPressed) {
            LeftPress(QPoint(1, 1));
        }
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Click();
        break;
    default:
        QAbstractButton::keyPressEvent(event);
    }
}

void TButton98::keyReleaseEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space && !event->isAutoRepeat() && isEnabled()) {
        // Treated as a release inside, so the face comes back up as after a mouse click.
        LeftRelease(true);
        return;
    }
    QAbstractButton::keyReleaseEvent(event);
}

void TButton98::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    update();
}

void TButton98::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    update();
}

bool TButton98::event(QEvent* event)
{
    if (event->type() == QEvent::Shortcut) {
        // The caption's accelerator: press as on the right edge (the arrow part of a drop-down button).
        if (!isEnabled()) {
            return QAbstractButton::event(event);
        }
        LeftPress(QPoint(width(), 0));
        if (FKind == BkNormal) {
            Click();
            FPressState = psUp;
            Repaint();
        }
        return true;
    }
    return QAbstractButton::event(event);
}

bool TButton98::hitButton(const QPoint& pos) const
{
    return rect().contains(pos);
}

QColor TButton98::SystemColor(QPalette::ColorRole role) const
{
    // A disabled button keeps its looks; only its arrow turns grey.
    return palette().color(QPalette::Active, role);
}

void TButton98::DrawFace(QPainter& p, const QRect& r, bool pressed) const
{
    p.fillRect(r, SystemColor(QPalette::Button));
    QRect frame = r;
    if (pressed) {
        FlatFrame::Frame3D(p, frame, SystemColor(QPalette::Dark), SystemColor(QPalette::Light));
    } else if (FHot) {
        FlatFrame::Frame3D(p, frame, SystemColor(QPalette::Light), SystemColor(QPalette::Dark));
    }
}

void TButton98::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const int w = width();
    const int h = height();
    const bool pressedLook = FPressState == psPressed || FPressState == psArrowPressed;
    const int po = FPressState == psPressed || FPressState == psMainPressed ? 1 : 0;
    const QColor blue(0, 0, 255);

    if (FPressState == psMainPressed) {
        DrawFace(p, QRect(0, 0, w - ArrowWidth, h), true);
        DrawFace(p, QRect(w - ArrowWidth, 0, ArrowWidth, h), false);
    } else {
        DrawFace(p, QRect(0, 0, w, h), pressedLook);
    }
    p.setFont(font());
    p.setBrush(Qt::NoBrush);

    int cw = w;
    if (FKind == BkDropDown) {
        // Rectangles here are Windows-style: right and bottom are exclusive.
        const int left = w - 13 + (pressedLook ? 1 : 0);
        const int top = h / 2 - 4;
        const int right = w;
        const int bottom = h / 2 + 4;
        const int half = (bottom - top) / 2;
        const int cx = left + (right - left + 1) / 2;
        const int base = bottom - (bottom - top - 1) / 4;
        const QColor arrow = !isEnabled() ? palette().color(QPalette::Disabled, QPalette::Text)
                             : FHot       ? blue
                                          : QColor(Qt::black);
        p.setPen(arrow);
        for (int i = half; i >= 1; --i) {
            p.drawLine(cx - i, base - i, cx + i - 2, base - i);
        }
        const int y0 = pressedLook ? 1 : 0;
        const int x = w - ArrowWidth + (pressedLook ? 1 : 0);
        if (h - 2 >= y0) {
            p.setPen(SystemColor(QPalette::Dark));
            p.drawLine(x, y0, x, h - 2);
            p.setPen(SystemColor(QPalette::Light));
            p.drawLine(x + 1, y0, x + 1, h - 2);
        }
        cw = w - ArrowWidth;
    }

    const QString caption = text();
    p.setPen(FHot ? blue : SystemColor(QPalette::ButtonText));
    if (!FImageList) {
        if (!caption.isEmpty()) {
            p.drawText(QRect(po, po, cw, h), Qt::AlignCenter | Qt::TextSingleLine | Qt::TextShowMnemonic,
                       caption);
        }
        return;
    }
    const int iw = FImageList->Width();
    const int ih = FImageList->Height();
    if (caption.isEmpty()) {
        FImageList->Draw(p, cw / 2 - iw / 2 + FXOffset + po, h / 2 - ih / 2 + FYOffset + po, FIndex);
        return;
    }
    const QSize textSize = p.fontMetrics().size(Qt::TextSingleLine | Qt::TextShowMnemonic, caption);
    const int tw = textSize.width();
    const int th = textSize.height();
    if (tw + FXOffset + iw < cw) {
        const int ix = 2 + po;
        const int iy = h / 2 - ih / 2 + po;
        FImageList->Draw(p, ix, iy, FIndex);
        const int x = ix + iw + FXOffset;
        const int y = h / 2 - th / 2 + po;
        p.drawText(QRect(x, y, cw, h),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextShowMnemonic, caption);
    } else {
        const int ix = cw / 2 - iw / 2 + po;
        const int iy = 2 - FYOffset + po;
        FImageList->Draw(p, ix, iy, FIndex);
        int y = iy + ih + 2;
        if (y + th > h) {
            y = h - th - 2 - FYOffset;
        }
        const int x = 2 + po;
        y += po;
        p.drawText(QRect(x, y, cw, h),
                   Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine | Qt::TextShowMnemonic, caption);
    }
}
