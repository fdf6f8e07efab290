#include "controls/richtext/qvtext.h"

#include "controls/FlatFrame.h"
#include "controls/richtext/FindDialog.h"
#include "controls/richtext/TextAttributes.h"
#include "controls/richtext/qvtext_objects.h"
#include "controls/richtext/qvtext_shared.h"
#include "platform/Application.h"
#include "platform/Dialogs.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QPainter>
#include <QScrollBar>
#include <QTextDocument>

using QvText::FirstLine;
using QvText::MakeConversion;
using QvText::NormalizeBreaks;

namespace {

// EM_EXLIMITTEXT with 0 gives the platform's own default limit.
constexpr int PlatformDefaultLimit = 65536;

bool IsLineBreak(QChar c)
{
    return c == u'\n' || c == u'\r' || c == QChar::ParagraphSeparator || c == QChar::LineSeparator;
}

} // namespace

namespace QvText {

QString NormalizeBreaks(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\r') {
            out += u'\n';
            if (i + 1 < text.size() && text[i + 1] == u'\n') {
                ++i;
            }
        } else if (IsLineBreak(c)) {
            out += u'\n';
        } else {
            out += c;
        }
    }
    return out;
}

QString FirstLine(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (IsLineBreak(text[i])) {
            return text.left(i);
        }
    }
    return text;
}

int ShowLibraryMessage(const QString& text, unsigned flags)
{
    return MessageBox(text, Application::Title(), flags | MB_TASKMODAL | MB_TOPMOST);
}

} // namespace QvText

TQvEdit::TQvEdit(QWidget* parent)
    : QTextEdit(parent)
    , FConverter(MakeConversion())
    , FConverterClass(&MakeConversion)
    , FSelAttributes(std::make_unique<TTextAttributes>(this, TTextAttributes::Selection))
    , FDefAttributes(std::make_unique<TTextAttributes>(this, TTextAttributes::DefaultText))
    , FParagraph(std::make_unique<TParaAttributes>(this))
    , FObjects(std::make_unique<TQvEditObjects>(*this))
{
    // The flat frame takes the outer three pixels; scroll bars and text live inside it.
    // The frame reserves the room; PaintFrame draws over what the base class paints there.
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(3);
    setAcceptRichText(false);
    setAttribute(Qt::WA_Hover);
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
    resize(121, 25);

    FFindDialog = new TFindDialog(this);
    FFindDialog->OnShow = [this] { FFindState = FreshSearch; };
    FFindDialog->OnClose = [this] { FFindState = FreshSearch; };
    FFindDialog->OnFind = [this] { FindNext(); };

    connect(this, &QTextEdit::textChanged, this, &TQvEdit::TextChanged);
    connect(this, &QTextEdit::cursorPositionChanged, this, &TQvEdit::SelectionMoved);
    connect(this, &QTextEdit::selectionChanged, this, &TQvEdit::SelectionMoved);

    ApplyLineMode();
    ApplyScrollBars();
    ApplyColor();
    ApplyReadOnly();
    setTabChangesFocus(!FWantTabs);
    FCreating = false;
}

TQvEdit::~TQvEdit()
{
    // Taking the address highlighter off the document on the way out touches its formats; no handler
    // may hear of that as a change, since what a handler touches may already be gone.
    disconnect(this, nullptr, this, nullptr);
}

// ---- properties ----------------------------------------------------------------------------

void TQvEdit::SetColor(const QColor& value)
{
    if (value == FColor) {
        return;
    }
    FColor = value;
    FParentColor = false;
    ApplyColor();
}

void TQvEdit::SetParentColor(bool value)
{
    if (value == FParentColor) {
        return;
    }
    FParentColor = value;
    ApplyColor();
}

void TQvEdit::ApplyColor()
{
    QColor background = FColor;
    if (FParentColor && parentWidget()) {
        background = parentWidget()->palette().color(parentWidget()->backgroundRole());
    }
    if (!background.isValid()) {
        background = QApplication::palette(this).color(QPalette::Base);
    }
    QPalette p = viewport()->palette();
    p.setColor(QPalette::Base, background);
    viewport()->setPalette(p);
    viewport()->update();
    ApplySelectionColours();
}

QString TQvEdit::Text() const
{
    return toPlainText();
}

void TQvEdit::SetText(const QString& value)
{
    QString text = FitToControl(NormalizeBreaks(value));
    UseDefaultFormat();
    setPlainText(text);
}

void TQvEdit::SetWantTabs(bool value)
{
    FWantTabs = value;
    setTabChangesFocus(!value);
}

void TQvEdit::SetHideScrollBars(bool value)
{
    if (value != FHideScrollBars) {
        FHideScrollBars = value;
        ApplyScrollBars();
    }
}

void TQvEdit::SetScrollBars(TScrollStyle value)
{
    if (value != FScrollBars) {
        FScrollBars = value;
        ApplyScrollBars();
    }
}

void TQvEdit::ApplyScrollBars()
{
    const Qt::ScrollBarPolicy shown = FHideScrollBars ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOn;
    const bool horizontal = FMultiLine && (FScrollBars == ssHorizontal || FScrollBars == ssBoth);
    const bool vertical = FMultiLine && (FScrollBars == ssVertical || FScrollBars == ssBoth);
    setHorizontalScrollBarPolicy(horizontal ? shown : Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(vertical ? shown : Qt::ScrollBarAlwaysOff);
}

void TQvEdit::SetWordWrap(bool value)
{
    if (value != FWordWrap) {
        FWordWrap = value;
        ApplyLineMode();
    }
}

void TQvEdit::SetMultiLine(bool value)
{
    if (value == FMultiLine) {
        return;
    }
    FMultiLine = value;
    if (!FMultiLine) {
        const QString text = toPlainText();
        const QString first = FirstLine(text);
        if (first.size() != text.size()) {
            setPlainText(first);
        }
    }
    ApplyLineMode();
    ApplyScrollBars();
    updateGeometry();
}

void TQvEdit::ApplyLineMode()
{
    setLineWrapMode(FWordWrap && FMultiLine ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
    // A one-line field has no inner margins, so its text fits a 22-pixel field.
    document()->setDocumentMargin(FMultiLine ? 4 : 1);
}

void TQvEdit::SetHideSelection(bool value)
{
    if (value != FHideSelection) {
        FHideSelection = value;
        ApplySelectionColours();
    }
}

void TQvEdit::ApplySelectionColours()
{
    // Unfocused, the selection paints with the inactive colours: the text's own colours hide it.
    QPalette p = palette();
    const QPalette app = QApplication::palette(this);
    if (FHideSelection) {
        p.setColor(QPalette::Inactive, QPalette::Highlight, viewport()->palette().color(QPalette::Base));
        p.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   app.color(QPalette::Active, QPalette::Text));
    } else {
        p.setColor(QPalette::Inactive, QPalette::Highlight, app.color(QPalette::Active, QPalette::Highlight));
        p.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   app.color(QPalette::Active, QPalette::HighlightedText));
    }
    setPalette(p);
    viewport()->update();
}

void TQvEdit::SetPasswordChar(QChar value)
{
    if (value == FPasswordChar) {
        return;
    }
    FPasswordChar = value;
    if (FPasswordChar.isNull()) {
        FMaskDocument.reset();
    } else {
        FMaskDocument = std::make_unique<QTextDocument>();
        TextChanged();
    }
    viewport()->update();
}

void TQvEdit::SetReadOnly(bool value)
{
    if (value != FReadOnly) {
        FReadOnly = value;
        ApplyReadOnly();
    }
}

void TQvEdit::ApplyReadOnly()
{
    setReadOnly(FReadOnly);
    // A read-only control still has a caret the keyboard can move and select with.
    setTextInteractionFlags(FReadOnly ? Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard
                                      : Qt::TextEditorInteraction);
}

void TQvEdit::SetAlignment(TAlignment value)
{
    if (value == FAlignment) {
        return;
    }
    FAlignment = value;
    QTextOption option = document()->defaultTextOption();
    option.setAlignment(value == taRightJustify ? Qt::AlignRight
                        : value == taCenter     ? Qt::AlignHCenter
                                                : Qt::AlignLeft);
    document()->setDefaultTextOption(option);
}

// ---- contents --------------------------------------------------------------------------------

int TQvEdit::EffectiveMaxLength() const
{
    return FMaxLength > 0 ? FMaxLength : PlatformDefaultLimit;
}

int TQvEdit::TextLength() const
{
    return document()->characterCount() - 1;
}

bool TQvEdit::Modified() const
{
    return document()->isModified();
}

void TQvEdit::SetModified(bool value)
{
    document()->setModified(value);
}

void TQvEdit::Clear()
{
    UseDefaultFormat();
    setPlainText(QString());
}

void TQvEdit::UseDefaultFormat()
{
    // Plain text keeps its one format; rich text replaced from code starts as default text.
    if (!FPlainText) {
        setCurrentCharFormat(FDefaultFormat);
    }
}

int TQvEdit::Room() const
{
    const QTextCursor c = textCursor();
    const int held = TextLength() - (c.selectionEnd() - c.selectionStart());
    return std::max(0, EffectiveMaxLength() - held);
}

QString TQvEdit::FitToControl(QString text) const
{
    if (!FMultiLine) {
        text = FirstLine(text);
    }
    if (text.size() > EffectiveMaxLength()) {
        text.truncate(EffectiveMaxLength());
    }
    return text;
}

void TQvEdit::TrimToMaxLength()
{
    const int excess = TextLength() - EffectiveMaxLength();
    if (excess <= 0) {
        return;
    }
    QTextCursor c(document());
    c.movePosition(QTextCursor::End);
    c.setPosition(EffectiveMaxLength(), QTextCursor::KeepAnchor);
    c.removeSelectedText();
}

void TQvEdit::RefreshMask()
{
    if (!FMaskDocument) {
        return;
    }
    QString masked = toPlainText();
    for (QChar& c : masked) {
        if (c != u'\n') {
            c = FPasswordChar;
        }
    }
    FMaskDocument->setDefaultFont(document()->defaultFont());
    FMaskDocument->setDocumentMargin(document()->documentMargin());
    FMaskDocument->setPlainText(masked);
    viewport()->update();
}

void TQvEdit::TextChanged()
{
    RefreshMask();
    if (!FCreating && !FQuiet && OnChange) {
        OnChange();
    }
}

void TQvEdit::SelectionMoved()
{
    const QTextCursor c = textCursor();
    if (c.selectionStart() == FLastSelStart && c.selectionEnd() == FLastSelEnd) {
        return;
    }
    FLastSelStart = c.selectionStart();
    FLastSelEnd = c.selectionEnd();
    if (FMaskDocument) {
        viewport()->update();
    }
    if (OnSelectionChange) {
        OnSelectionChange();
    }
}

// ---- hot tracking and painting -----------------------------------------------------------------

void TQvEdit::focusInEvent(QFocusEvent* e)
{
    QTextEdit::focusInEvent(e);
    if (FAutoSelect && !FMultiLine && !(QApplication::mouseButtons() & Qt::LeftButton)) {
        selectAll();
    }
    SetHighlighted(true);
}

void TQvEdit::focusOutEvent(QFocusEvent* e)
{
    QTextEdit::focusOutEvent(e);
    SetHighlighted(false);
}

void TQvEdit::enterEvent(QEnterEvent* e)
{
    QTextEdit::enterEvent(e);
    SetHighlighted(true);
}

void TQvEdit::leaveEvent(QEvent* e)
{
    QTextEdit::leaveEvent(e);
    SetHighlighted(false);
}

void TQvEdit::SetHighlighted(bool value)
{
    FHighlighted = value;
    update();
}

bool TQvEdit::event(QEvent* e)
{
    const bool result = QTextEdit::event(e);
    if (e->type() == QEvent::Paint) {
        QPainter painter(this);
        PaintFrame(painter);
    } else if (e->type() == QEvent::FontChange || e->type() == QEvent::PaletteChange) {
        // Only the look changed: the mask is redrawn, and no change is reported.
        RefreshMask();
    } else if (e->type() == QEvent::ParentChange && FParentColor) {
        ApplyColor();
    }
    return result;
}

void TQvEdit::PaintFrame(QPainter& painter)
{
    const QPalette& pal = palette();
    FlatFrame::PaintRings(painter, rect(), hasFocus() || FHighlighted, pal.color(QPalette::Button),
                          pal.color(QPalette::Base), pal);
}

void TQvEdit::paintEvent(QPaintEvent* e)
{
    if (!FMaskDocument) {
        QTextEdit::paintEvent(e);
        return;
    }
    // Masked text: the same positions, each character drawn as the password character.
    QPainter painter(viewport());
    const QPoint offset(horizontalScrollBar()->value(), verticalScrollBar()->value());
    painter.translate(-offset);
    QAbstractTextDocumentLayout::PaintContext context;
    context.palette = palette();
    context.clip = QRectF(e->rect().translated(offset));
    FMaskDocument->setTextWidth(FWordWrap && FMultiLine ? document()->textWidth() : -1);
    const QTextCursor c = textCursor();
    if (hasFocus() && !FReadOnly) {
        context.cursorPosition = c.position();
    }
    if (c.hasSelection() && (hasFocus() || !FHideSelection)) {
        QAbstractTextDocumentLayout::Selection selection;
        selection.cursor = QTextCursor(FMaskDocument.get());
        selection.cursor.setPosition(c.selectionStart());
        selection.cursor.setPosition(c.selectionEnd(), QTextCursor::KeepAnchor);
        selection.format.setBackground(palette().brush(QPalette::Active, QPalette::Highlight));
        selection.format.setForeground(palette().brush(QPalette::Active, QPalette::HighlightedText));
        context.selections.append(selection);
    }
    FMaskDocument->documentLayout()->draw(&painter, context);
}

QSize TQvEdit::sizeHint() const
{
    if (!FMultiLine) {
        return {121, std::max(22, fontMetrics().height() + 2 * 3 + 2)};
    }
    return QTextEdit::sizeHint();
}

QSize TQvEdit::minimumSizeHint() const
{
    if (!FMultiLine) {
        return {20, fontMetrics().height() + 2 * 3 + 2};
    }
    return QTextEdit::minimumSizeHint();
}
