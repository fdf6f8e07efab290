#include "controls/qvedit98.h"

#include "controls/FlatFrame.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>

TEdit98::TEdit98(QWidget* parent)
    : QLineEdit(parent)
{
    setFrame(false);
    setContentsMargins(FrameWidth, FrameWidth, FrameWidth, FrameWidth);
    setAttribute(Qt::WA_Hover);
    resize(121, 19);
    SetColor(QApplication::palette().color(QPalette::Base));
    connect(this, &QLineEdit::textEdited, this, [this] { ApplyCharCase(); });
}

void TEdit98::SetCharCase(TEditCharCase value)
{
    FCharCase = value;
    ApplyCharCase();
}

QString TEdit98::Cased(const QString& text) const
{
    switch (FCharCase) {
    case ecUpperCase:
        return text.toUpper();
    case ecLowerCase:
        return text.toLower();
    default:
        return text;
    }
}

void TEdit98::ApplyCharCase()
{
    // Typed, composed and pasted text arrives cased already; this catches what came in some other
    // way (a drop, a middle-click paste) and a change of the mode, at the price of the undo history.
    const QString cased = Cased(text());
    if (cased != text()) {
        const int pos = cursorPosition();
        setText(cased);
        setCursorPosition(pos);
    }
}

void TEdit98::PasteCased()
{
    const QString clip = QGuiApplication::clipboard()->text();
    if (!clip.isEmpty() || hasSelectedText()) {
        insert(Cased(clip));
    }
}

void TEdit98::keyPressEvent(QKeyEvent* event)
{
    // Characters are cased on their way in, so each edit stays one step of the undo history.
    if (FCharCase != ecNormal && !isReadOnly()) {
        if (event->matches(QKeySequence::Paste)) {
            PasteCased();
            event->accept();
            return;
        }
        const QString cased = Cased(event->text());
        if (cased != event->text()) {
            QKeyEvent converted(event->type(), event->key(), event->modifiers(), event->nativeScanCode(),
                                event->nativeVirtualKey(), event->nativeModifiers(), cased,
                                event->isAutoRepeat(), static_cast<quint16>(event->count()));
            QLineEdit::keyPressEvent(&converted);
            event->setAccepted(converted.isAccepted());
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

void TEdit98::inputMethodEvent(QInputMethodEvent* event)
{
    const QString cased = Cased(event->commitString());
    if (cased != event->commitString()) {
        QInputMethodEvent converted(event->preeditString(), event->attributes());
        converted.setCommitString(cased, event->replacementStart(), event->replacementLength());
        QLineEdit::inputMethodEvent(&converted);
        return;
    }
    QLineEdit::inputMethodEvent(event);
}

void TEdit98::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (QAction* paste = menu->findChild<QAction*>(QStringLiteral("edit-paste"));
        paste && FCharCase != ecNormal) {
        paste->disconnect();
        connect(paste, &QAction::triggered, this, &TEdit98::PasteCased);
    }
    menu->popup(event->globalPos());
}

QColor TEdit98::Color() const
{
    return palette().color(QPalette::Base);
}

void TEdit98::SetColor(const QColor& value)
{
    QPalette pal = palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        pal.setColor(group, QPalette::Base, value);
    }
    setPalette(pal);
    ApplySelectionColours();
}

void TEdit98::SetHideSelection(bool value)
{
    FHideSelection = value;
    ApplySelectionColours();
}

void TEdit98::ApplySelectionColours()
{
    // A hidden selection is one drawn like plain text while the field has no focus.
    QPalette pal = palette();
    const QPalette app = QApplication::palette();
    if (FHideSelection) {
        pal.setColor(QPalette::Inactive, QPalette::Highlight, pal.color(QPalette::Inactive, QPalette::Base));
        pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     pal.color(QPalette::Inactive, QPalette::Text));
    } else {
        pal.setColor(QPalette::Inactive, QPalette::Highlight,
                     app.color(QPalette::Inactive, QPalette::Highlight));
        pal.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     app.color(QPalette::Inactive, QPalette::HighlightedText));
    }
    setPalette(pal);
}

void TEdit98::SetMaxLength(int value)
{
    FMaxLength = value;
    QLineEdit::setMaxLength(value > 0 ? value : 32767);
}

void TEdit98::SetPasswordChar(const QString& value)
{
    FPasswordChar = value.left(1);
    setEchoMode(FPasswordChar.isEmpty() ? QLineEdit::Normal : QLineEdit::Password);
}

void TEdit98::AdjustHeight()
{
    setFixedHeight(QFontMetrics(font()).height() + 6);
}

bool TEdit98::event(QEvent* event)
{
    const bool result = QLineEdit::event(event);
    if (event->type() == QEvent::Polish) {
        // Once set up, the field always hides its selection when unfocused.
        SetHideSelection(true);
        AdjustHeight();
    }
    return result;
}

void TEdit98::paintEvent(QPaintEvent* event)
{
    QLineEdit::paintEvent(event);
    QPainter p(this);
    const QPalette app = QApplication::palette();
    FlatFrame::PaintRings(p, rect(), Hot(), app.color(QPalette::Button), app.color(QPalette::Base), app);
}

void TEdit98::changeEvent(QEvent* event)
{
    QLineEdit::changeEvent(event);
    switch (event->type()) {
    case QEvent::EnabledChange:
        SetColor(QApplication::palette().color(isEnabled() ? QPalette::Base : QPalette::Button));
        break;
    case QEvent::FontChange:
        AdjustHeight();
        break;
    default:
        break;
    }
}

void TEdit98::enterEvent(QEnterEvent* event)
{
    QLineEdit::enterEvent(event);
    FMouseInside = true;
    update();
}

void TEdit98::leaveEvent(QEvent* event)
{
    QLineEdit::leaveEvent(event);
    FMouseInside = false;
    update();
}

void TEdit98::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    if (!FAutoSelect && event->reason() == Qt::TabFocusReason) {
        deselect();
    }
    update();
}

void TEdit98::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    update();
}
