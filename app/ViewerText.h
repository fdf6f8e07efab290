#pragma once

#include "app/MatchHighlight.h"

#include <QAbstractScrollArea>
#include <QString>

#include <compare>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

class LineIndex;
class QTextLayout;

/// The text of the file viewer: a gutter of line numbers beside the lines of a file, read through a
/// LineIndex as they come in view. Only the lines in view and a page above and below are held, each
/// at most MaxLineBytes long, so a file of any size costs the same. Read-only: a caret, a selection,
/// copying; the run's strings are marked as the output pane marks them.
class TViewerText final : public QAbstractScrollArea {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TViewerText)

public:
    /// Bytes of a line shown at most; a longer line ends in a mark that says it goes on.
    static constexpr std::size_t MaxLineBytes = std::size_t{16} << 10;
    /// Characters copied at most in one go.
    static constexpr qsizetype MaxCopy = qsizetype{16} << 20;

    /// A place in the text: a line (1-based) and a column of its shown text.
    struct TPosition {
        std::int64_t Line = 0;
        int Column = 0;
        friend auto operator<=>(const TPosition&, const TPosition&) = default;
    };

    explicit TViewerText(QWidget* parent = nullptr);
    ~TViewerText() override;

    /// The lines shown from now on (nullptr: none); what was read before is forgotten.
    void SetIndex(LineIndex* index);
    /// The strings marked from now on.
    void SetStrings(const TMatchStrings& strings);
    const TMatchStrings& Strings() const { return FStrings; }

    /// Selects line (0: nothing) whole and puts it in the middle of the view, scrolled sideways to its
    /// first mark.
    void ShowLine(std::int64_t line);
    /// Selects from anchor to caret and scrolls the caret into view.
    void Select(TPosition anchor, TPosition caret);
    TPosition Caret() const { return FCaret; }
    TPosition Anchor() const { return FAnchor; }
    /// The selected text, lines joined by line feeds (at most MaxCopy characters).
    QString SelectedText() const;
    void CopySelection() const;

    /// The shown text of a line (empty when there is no such line) and whether the line goes on past it.
    QString LineText(std::int64_t line) const;
    bool LineCut(std::int64_t line) const;
    /// The last line of the text (the whole text is counted).
    std::int64_t LastLine() const;
    std::int64_t TopLine() const { return FTop; }
    /// Whole rows the view shows.
    int Rows() const;
    /// Pixels the text is scrolled sideways.
    int LeftOffset() const { return FLeft; }
    /// Where a text column of a line is drawn in the viewport (its left edge); -1 when not in view.
    int ColumnX(std::int64_t line, int column) const;

    /// Told whenever the caret moves.
    std::function<void()> OnCaretMoved;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    struct TShownLine {
        std::int64_t Start = 0;
        std::int64_t Next = -1;
        QString Text;
        bool Cut = false;
        std::vector<std::pair<int, int>> Marks;
        std::unique_ptr<QTextLayout> Layout;
    };

    TShownLine* Fetch(std::int64_t line) const;
    QTextLayout& LayoutOf(TShownLine& shown) const;
    void Forget(); // every line read so far
    void KeepNear(); // drops the lines far from the view
    bool Exists(std::int64_t line) const { return Fetch(line) != nullptr; }
    std::int64_t LastTop() const;
    void SetTop(std::int64_t line);
    void MoveCaret(TPosition caret, bool extend);
    void EnsureCaretVisible();
    void UpdateScrollBars();
    int GutterWidth() const;
    int TextLeft() const; // where column 0 is drawn, scrolling included
    int RowHeight() const;
    TPosition PositionAt(QPoint point) const;
    QString TextBetween(TPosition from, TPosition to) const;

    LineIndex* FIndex = nullptr;
    TMatchStrings FStrings;
    std::unique_ptr<TMatchFinder> FFinder; // FStrings, prepared (regular expressions compiled once)
    mutable std::map<std::int64_t, TShownLine> FLines; // the lines read, by number
    mutable std::int64_t FLastLine = -1; // -1 until counted
    std::int64_t FTop = 1;
    int FLeft = 0;
    int FWidest = 0; // the widest line seen, for the sideways scroll bar
    int FShift = 0; // the vertical scroll bar counts bytes >> FShift
    bool FSettingBars = false;
    std::int64_t FCentred = 0; // the line ShowLine put in the middle, until the view is moved
    TPosition FCaret{1, 0};
    TPosition FAnchor{1, 0};
};
