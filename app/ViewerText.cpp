#include "app/ViewerText.h"

#include "search/LineIndex.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QTextLayout>

#include <algorithm>

namespace {

constexpr int GutterPadding = 6; // on each side of the numbers
constexpr int TextPadding = 4; // between the gutter and column 0
constexpr int WheelLines = 3;
// Below this the whole text is counted at once, so the scroll bar is exact from the start.
constexpr std::int64_t SmallText = std::int64_t{1} << 20;

bool IsWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

int DigitsOf(std::int64_t n)
{
    int digits = 1;
    for (; n >= 10; n /= 10) {
        ++digits;
    }
    return digits;
}

} // namespace

TViewerText::TViewerText(QWidget* parent)
    : QAbstractScrollArea(parent)
{
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

TViewerText::~TViewerText() = default;

void TViewerText::SetIndex(LineIndex* index)
{
    FIndex = index;
    Forget();
    FTop = 1;
    FLeft = 0;
    FWidest = 0;
    FCaret = FAnchor = {1, 0};
    FCentred = 0;
    UpdateScrollBars();
    viewport()->update();
}

void TViewerText::SetStrings(const TMatchStrings& strings)
{
    FStrings = strings;
    FFinder = std::make_unique<TMatchFinder>(FStrings);
    for (auto& [number, shown] : FLines) {
        shown.Marks = FFinder->Find(shown.Text, 0);
    }
    viewport()->update();
}

void TViewerText::Forget()
{
    FLines.clear();
    FLastLine = -1;
}

// ---- lines --------------------------------------------------------------------------------------------

TViewerText::TShownLine* TViewerText::Fetch(std::int64_t line) const
{
    if (FIndex == nullptr || line < 1 || (FLastLine >= 0 && line > FLastLine)) {
        return nullptr;
    }
    if (const auto found = FLines.find(line); found != FLines.end()) {
        return &found->second;
    }
    // The line after one already read starts where that one said; others are found through the index.
    std::int64_t start = -1;
    if (const auto before = FLines.find(line - 1); before != FLines.end()) {
        start = before->second.Next;
    } else {
        start = FIndex->StartOf(line);
    }
    IndexedLine read;
    if (start < 0 || !FIndex->ReadLine(start, MaxLineBytes, read)) {
        if (start < 0 && FLastLine < 0 && FLines.contains(line - 1)) {
            FLastLine = line - 1;
        }
        return nullptr;
    }
    TShownLine& shown = FLines[line];
    shown.Start = start;
    shown.Next = read.Next;
    shown.Cut = read.Cut;
    shown.Text = QString::fromLocal8Bit(read.Bytes.data(), qsizetype(read.Bytes.size()));
    if (FFinder) {
        shown.Marks = FFinder->Find(shown.Text, 0);
    }
    if (read.Next < 0) {
        FLastLine = line;
    }
    return &shown;
}

QTextLayout& TViewerText::LayoutOf(TShownLine& shown) const
{
    if (!shown.Layout) {
        shown.Layout = std::make_unique<QTextLayout>(shown.Text, font());
        QTextOption option;
        option.setWrapMode(QTextOption::NoWrap);
        option.setTabStopDistance(8 * fontMetrics().horizontalAdvance(u' '));
        shown.Layout->setTextOption(option);
        shown.Layout->setCacheEnabled(true);
        shown.Layout->beginLayout();
        QTextLine line = shown.Layout->createLine();
        if (line.isValid()) {
            line.setLineWidth(1e9);
        }
        shown.Layout->endLayout();
    }
    return *shown.Layout;
}

// What is kept: the lines of the page in view and of a page above and below it; laid-out text only
// for the page in view.
void TViewerText::KeepNear()
{
    const std::int64_t rows = Rows() + 1;
    for (auto at = FLines.begin(); at != FLines.end();) {
        const std::int64_t line = at->first;
        if (line < FTop - rows || line > FTop + 2 * rows) {
            at = FLines.erase(at);
            continue;
        }
        if (line < FTop || line > FTop + rows) {
            at->second.Layout.reset();
        }
        ++at;
    }
}

QString TViewerText::LineText(std::int64_t line) const
{
    const TShownLine* shown = Fetch(line);
    return shown != nullptr ? shown->Text : QString();
}

bool TViewerText::LineCut(std::int64_t line) const
{
    const TShownLine* shown = Fetch(line);
    return shown != nullptr && shown->Cut;
}

std::int64_t TViewerText::LastLine() const
{
    if (FLastLine < 0 && FIndex != nullptr) {
        FLastLine = FIndex->LineCount();
    }
    return std::max<std::int64_t>(FLastLine, 0);
}

std::int64_t TViewerText::LastTop() const
{
    return std::max<std::int64_t>(1, LastLine() - Rows() + 1);
}

// ---- geometry -----------------------------------------------------------------------------------------

int TViewerText::RowHeight() const
{
    return std::max(1, fontMetrics().lineSpacing());
}

int TViewerText::Rows() const
{
    return std::max(1, viewport()->height() / RowHeight());
}

int TViewerText::GutterWidth() const
{
    const int digits = std::max(4, DigitsOf(FTop + Rows()));
    return digits * fontMetrics().horizontalAdvance(u'0') + 2 * GutterPadding;
}

int TViewerText::TextLeft() const
{
    return GutterWidth() + TextPadding - FLeft;
}

int TViewerText::ColumnX(std::int64_t line, int column) const
{
    TShownLine* shown = line >= FTop && line < FTop + Rows() ? Fetch(line) : nullptr;
    if (shown == nullptr) {
        return -1;
    }
    return TextLeft() +
           int(LayoutOf(*shown).lineAt(0).cursorToX(std::clamp(column, 0, int(shown->Text.size()))));
}

TViewerText::TPosition TViewerText::PositionAt(QPoint point) const
{
    std::int64_t line = FTop + std::max(0, point.y()) / RowHeight();
    while (line > FTop && !Exists(line)) {
        --line;
    }
    TShownLine* shown = Fetch(line);
    if (shown == nullptr) {
        return {1, 0};
    }
    const int column = LayoutOf(*shown).lineAt(0).xToCursor(point.x() - TextLeft());
    return {line, std::clamp(column, 0, int(shown->Text.size()))};
}

// ---- scrolling ----------------------------------------------------------------------------------------

void TViewerText::SetTop(std::int64_t line)
{
    line = std::max<std::int64_t>(line, 1);
    // The last page stays full: the bottom row is never past the last line.
    if (!Exists(line + Rows() - 1)) {
        line = std::min(line, LastTop());
    }
    if (line != FTop) {
        FTop = line;
        viewport()->update();
    }
    UpdateScrollBars();
}

// The vertical bar stands for the byte offset of the top line, so it needs no line count: a big text
// is counted only as far as the view has gone. The horizontal bar counts pixels.
void TViewerText::UpdateScrollBars()
{
    FSettingBars = true;
    std::int64_t end = FIndex != nullptr ? FIndex->KnownEnd() : 0;
    if (FIndex != nullptr && end <= SmallText) {
        LastLine();
    }
    FShift = 0;
    while ((end >> FShift) > (std::int64_t{1} << 30)) {
        ++FShift;
    }
    const TShownLine* top = Fetch(FTop);
    const std::int64_t topStart = top != nullptr ? top->Start : 0;
    std::int64_t maximum = end;
    if (FLastLine >= 0) {
        const TShownLine* lastTop = Fetch(LastTop());
        maximum = lastTop != nullptr ? lastTop->Start : 0;
    }
    const TShownLine* below = Fetch(FTop + Rows());
    const std::int64_t page = std::max<std::int64_t>(1, (below != nullptr ? below->Start : end) - topStart);
    QScrollBar* vertical = verticalScrollBar();
    vertical->setRange(0, int(maximum >> FShift));
    vertical->setPageStep(std::max(1, int(page >> FShift)));
    vertical->setSingleStep(std::max(1, int((page / Rows()) >> FShift)));
    vertical->setValue(int(topStart >> FShift));

    const int width = viewport()->width() - GutterWidth() - TextPadding;
    QScrollBar* horizontal = horizontalScrollBar();
    horizontal->setRange(0, std::max(0, FWidest + fontMetrics().horizontalAdvance(u'M') * 2 - width));
    horizontal->setPageStep(std::max(1, width));
    horizontal->setSingleStep(fontMetrics().horizontalAdvance(u'0'));
    FLeft = std::clamp(FLeft, 0, horizontal->maximum());
    horizontal->setValue(FLeft);
    FSettingBars = false;
}

void TViewerText::scrollContentsBy(int dx, int dy)
{
    if (FSettingBars || FIndex == nullptr) {
        return;
    }
    if (dx != 0) {
        FLeft = horizontalScrollBar()->value();
        viewport()->update();
    }
    if (dy != 0) {
        FCentred = 0;
        QScrollBar* vertical = verticalScrollBar();
        const std::int64_t line = vertical->value() >= vertical->maximum()
                                      ? LastTop()
                                      : FIndex->LineAt(std::int64_t(vertical->value()) << FShift);
        SetTop(line);
        viewport()->update();
    }
}

void TViewerText::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    // A window shown for the first time gets its size after the line was put in its middle.
    if (FCentred > 0) {
        const TPosition anchor = FAnchor;
        const TPosition caret = FCaret;
        ShowLine(FCentred);
        FAnchor = anchor;
        FCaret = caret;
    } else {
        // The caret stays in view when the view shrinks (a notice shown above it, say).
        const int rowsBefore = std::max(1, event->oldSize().height() / RowHeight());
        const bool caretShown = FCaret.Line >= FTop && FCaret.Line < FTop + rowsBefore;
        SetTop(FTop);
        if (caretShown && FCaret.Line >= FTop + Rows()) {
            SetTop(FCaret.Line - Rows() + 1);
        }
    }
}

void TViewerText::wheelEvent(QWheelEvent* event)
{
    const QPoint steps = event->angleDelta() / 120;
    if (event->modifiers() & Qt::ShiftModifier || steps.x() != 0) {
        const int by = (steps.x() != 0 ? steps.x() : steps.y()) * 8 * fontMetrics().horizontalAdvance(u'0');
        FLeft = std::max(0, FLeft - by);
        UpdateScrollBars();
        viewport()->update();
    } else if (steps.y() != 0) {
        FCentred = 0;
        SetTop(FTop - std::int64_t(steps.y()) * WheelLines);
    }
    event->accept();
}

// ---- caret and selection ------------------------------------------------------------------------------

void TViewerText::MoveCaret(TPosition caret, bool extend)
{
    FCentred = 0;
    FCaret = caret;
    if (!extend) {
        FAnchor = caret;
    }
    EnsureCaretVisible();
    viewport()->update();
    if (OnCaretMoved) {
        OnCaretMoved();
    }
}

void TViewerText::EnsureCaretVisible()
{
    if (FCaret.Line < FTop) {
        SetTop(FCaret.Line);
    } else if (FCaret.Line >= FTop + Rows()) {
        SetTop(FCaret.Line - Rows() + 1);
    }
    TShownLine* shown = Fetch(FCaret.Line);
    if (shown == nullptr) {
        return;
    }
    const int x = int(LayoutOf(*shown).lineAt(0).cursorToX(FCaret.Column));
    FWidest = std::max(FWidest, int(LayoutOf(*shown).lineAt(0).naturalTextWidth()));
    const int width = viewport()->width() - GutterWidth() - TextPadding;
    const int margin = fontMetrics().horizontalAdvance(u'0') * 2;
    if (x < FLeft + margin) {
        FLeft = std::max(0, x - width / 4);
    } else if (x > FLeft + width - margin) {
        FLeft = x - width * 3 / 4;
    }
    UpdateScrollBars();
}

void TViewerText::Select(TPosition anchor, TPosition caret)
{
    // A selection far from the view is put in its middle, as ShowLine does, not at its edge.
    if (caret.Line < FTop || caret.Line >= FTop + Rows()) {
        SetTop(caret.Line - (Rows() - 1) / 2);
    }
    FAnchor = anchor;
    MoveCaret(caret, true);
}

void TViewerText::ShowLine(std::int64_t line)
{
    const TShownLine* shown = Fetch(line);
    FCentred = shown != nullptr ? line : 0;
    if (shown == nullptr) {
        FCaret = FAnchor = {1, 0};
        FLeft = 0;
        SetTop(1);
    } else {
        FAnchor = {line, 0};
        FCaret = {line, int(shown->Text.size())};
        // The whole line is selected; in a line wider than the view its first mark is what counts.
        const int firstMark = shown->Marks.empty() ? 0 : shown->Marks.front().first;
        SetTop(line - (Rows() - 1) / 2);
        TShownLine* again = Fetch(line);
        const int x = int(LayoutOf(*again).lineAt(0).cursorToX(firstMark));
        FWidest = std::max(FWidest, int(LayoutOf(*again).lineAt(0).naturalTextWidth()));
        const int width = viewport()->width() - GutterWidth() - TextPadding;
        FLeft = x < width * 3 / 4 ? 0 : x - width / 4;
        UpdateScrollBars();
    }
    viewport()->update();
    if (OnCaretMoved) {
        OnCaretMoved();
    }
}

QString TViewerText::TextBetween(TPosition from, TPosition to) const
{
    QString text;
    if (FIndex == nullptr) {
        return text;
    }
    std::int64_t start = FIndex->StartOf(from.Line);
    IndexedLine read;
    for (std::int64_t line = from.Line; line <= to.Line && start >= 0; ++line) {
        if (!FIndex->ReadLine(start, MaxLineBytes, read)) {
            break;
        }
        const QString shown = QString::fromLocal8Bit(read.Bytes.data(), qsizetype(read.Bytes.size()));
        const int first = line == from.Line ? from.Column : 0;
        const int last = line == to.Line ? to.Column : int(shown.size());
        text += shown.mid(first, std::max(0, last - first));
        if (line < to.Line) {
            text += u'\n';
        }
        if (text.size() >= MaxCopy) {
            text.truncate(MaxCopy);
            break;
        }
        start = read.Next;
    }
    return text;
}

QString TViewerText::SelectedText() const
{
    return TextBetween(std::min(FAnchor, FCaret), std::max(FAnchor, FCaret));
}

void TViewerText::CopySelection() const
{
    if (FAnchor != FCaret) {
        QApplication::clipboard()->setText(SelectedText());
    }
}

// ---- input --------------------------------------------------------------------------------------------

void TViewerText::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy) ||
        (event->key() == Qt::Key_Insert && event->modifiers() == Qt::ControlModifier)) {
        CopySelection();
        return;
    }
    const bool extend = event->modifiers() & Qt::ShiftModifier;
    const bool whole = event->modifiers() & Qt::ControlModifier;
    const std::int64_t page = std::max(1, Rows() - 1);
    TPosition caret = FCaret;
    const auto lengthOf = [this](std::int64_t line) { return int(LineText(line).size()); };
    switch (event->key()) {
    case Qt::Key_Up:
        caret.Line = std::max<std::int64_t>(1, caret.Line - 1);
        break;
    case Qt::Key_Down:
        caret.Line += Exists(caret.Line + 1) ? 1 : 0;
        break;
    case Qt::Key_PageUp:
        caret.Line = std::max<std::int64_t>(1, caret.Line - page);
        SetTop(FTop - page);
        break;
    case Qt::Key_PageDown:
        caret.Line = Exists(caret.Line + page) ? caret.Line + page : LastLine();
        SetTop(FTop + page);
        break;
    case Qt::Key_Home:
        caret = {whole ? 1 : caret.Line, 0};
        break;
    case Qt::Key_End:
        caret.Line = whole ? LastLine() : caret.Line;
        caret.Column = lengthOf(caret.Line);
        break;
    case Qt::Key_Left:
        if (caret.Column > 0) {
            --caret.Column;
        } else if (caret.Line > 1) {
            caret = {caret.Line - 1, lengthOf(caret.Line - 1)};
        }
        break;
    case Qt::Key_Right:
        if (caret.Column < lengthOf(caret.Line)) {
            ++caret.Column;
        } else if (Exists(caret.Line + 1)) {
            caret = {caret.Line + 1, 0};
        }
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    caret.Line = std::max<std::int64_t>(caret.Line, 1);
    caret.Column = std::clamp(caret.Column, 0, lengthOf(caret.Line));
    MoveCaret(caret, extend);
}

void TViewerText::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    MoveCaret(PositionAt(event->position().toPoint()), event->modifiers() & Qt::ShiftModifier);
}

void TViewerText::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton)) {
        return;
    }
    QPoint point = event->position().toPoint();
    // Dragging past an edge scrolls a line at a time.
    if (point.y() < 0) {
        SetTop(FTop - 1);
        point.setY(0);
    } else if (point.y() >= viewport()->height()) {
        SetTop(FTop + 1);
        point.setY(viewport()->height() - 1);
    }
    MoveCaret(PositionAt(point), true);
}

void TViewerText::mouseDoubleClickEvent(QMouseEvent* event)
{
    const TPosition at = PositionAt(event->position().toPoint());
    const QString text = LineText(at.Line);
    int first = at.Column;
    int last = at.Column;
    while (first > 0 && IsWordChar(text[first - 1])) {
        --first;
    }
    while (last < text.size() && IsWordChar(text[last])) {
        ++last;
    }
    Select({at.Line, first}, {at.Line, last});
}

void TViewerText::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    viewport()->update();
}

void TViewerText::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    viewport()->update();
}

// ---- painting -----------------------------------------------------------------------------------------

void TViewerText::paintEvent(QPaintEvent* event)
{
    static_cast<void>(event);
    QPainter painter(viewport());
    const QPalette& colours = palette();
    const QRect area = viewport()->rect();
    const int gutter = GutterWidth();
    const int rowHeight = RowHeight();
    painter.fillRect(area, colours.color(QPalette::Base));
    painter.fillRect(QRect(0, 0, gutter, area.height()), colours.color(QPalette::Window));
    const QColor markColour = TMatchHighlighter::MatchColor(colours);
    const TPosition from = std::min(FAnchor, FCaret);
    const TPosition to = std::max(FAnchor, FCaret);
    QTextCharFormat selected;
    selected.setBackground(colours.color(QPalette::Highlight));
    selected.setForeground(colours.color(QPalette::HighlightedText));
    const int widest = FWidest;
    const int left = TextLeft();
    for (int row = 0; row * rowHeight < area.height(); ++row) {
        const std::int64_t line = FTop + row;
        TShownLine* shown = Fetch(line);
        if (shown == nullptr) {
            break;
        }
        const int y = row * rowHeight;
        painter.setPen(colours.color(QPalette::PlaceholderText));
        painter.drawText(QRect(0, y, gutter - GutterPadding, rowHeight), Qt::AlignRight | Qt::AlignVCenter,
                         QString::number(line));
        painter.save();
        painter.setClipRect(QRect(gutter, 0, area.width() - gutter, area.height()));
        QTextLayout& layout = LayoutOf(*shown);
        const QTextLine text = layout.lineAt(0);
        FWidest = std::max(FWidest, int(text.naturalTextWidth()));
        for (const auto& [at, length] : shown->Marks) {
            const qreal x = text.cursorToX(at);
            painter.fillRect(QRectF(left + x, y, text.cursorToX(at + length) - x, rowHeight), markColour);
        }
        QList<QTextLayout::FormatRange> selection;
        if (line >= from.Line && line <= to.Line) {
            const int first = line == from.Line ? from.Column : 0;
            const int last = line == to.Line ? to.Column : int(shown->Text.size());
            if (last > first) {
                selection.append({first, last - first, selected});
            }
            if (line < to.Line) {
                // The line's end is selected too.
                const qreal end = text.cursorToX(int(shown->Text.size()));
                painter.fillRect(QRectF(left + end, y, fontMetrics().horizontalAdvance(u' '), rowHeight),
                                 colours.color(QPalette::Highlight));
            }
        }
        painter.setPen(colours.color(QPalette::Text));
        layout.draw(&painter, QPointF(left, y), selection);
        if (shown->Cut) {
            painter.setPen(colours.color(QPalette::PlaceholderText));
            painter.drawText(
                QPointF(left + text.naturalTextWidth() + TextPadding, y + fontMetrics().ascent()),
                QStringLiteral("\u2026"));
        }
        if (line == FCaret.Line && hasFocus()) {
            painter.fillRect(QRectF(left + text.cursorToX(FCaret.Column), y, 1, rowHeight),
                             colours.color(QPalette::Text));
        }
        painter.restore();
    }
    KeepNear();
    if (FWidest != widest) {
        UpdateScrollBars();
    }
}
