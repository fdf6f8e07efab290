#pragma once

#include <QColor>
#include <QObject>
#include <QString>

#include <cstddef>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

class QPalette;
class QTextEdit;
class RegexPattern;
struct SearchRequest;

/// What the output pane marks after a run: the run's two strings, compared by its case rule. A run with
/// Reverse Logic reports lines that fail the test, so it has nothing to mark (both strings empty).
struct TMatchStrings {
    QString String1;
    QString String2; ///< empty when the run searched one string
    bool CaseSensitive = false; ///< otherwise a..z and A..Z are the same, and nothing else folds
    bool LineNumbering = false; ///< reported entries begin with "N : ", which is not part of the line
    bool Regex =
        false; ///< the strings are regular expressions: their matches are marked, as the run found them
    bool Empty() const { return String1.isEmpty() && String2.isEmpty(); }
};

/// What a run made with request marks (the viewer's marks of a file the run read).
TMatchStrings MatchStringsOf(const SearchRequest& Request);

/// Where the strings occur in text from column From on: (start, length) ranges in order, overlapping
/// occurrences joined into one range. Regular expressions mark their non-empty matches, the text from
/// From on being the line they are matched in (as UTF-8, the pane's local encoding).
std::vector<std::pair<int, int>> FindMatches(const QString& Text, int From, const TMatchStrings& Strings);

/// FindMatches with the strings prepared once: regular expressions are compiled here, not per line.
class TMatchFinder {
public:
    explicit TMatchFinder(const TMatchStrings& Strings);
    ~TMatchFinder();
    TMatchFinder(const TMatchFinder&) = delete;
    TMatchFinder& operator=(const TMatchFinder&) = delete;

    std::vector<std::pair<int, int>> Find(const QString& Text, int From);

private:
    TMatchStrings FStrings;
    std::vector<std::unique_ptr<RegexPattern>> FPatterns; // the regular expressions that compiled
};

/// The character of text at which its UTF-8 form (the pane's and the fields' local encoding) reaches
/// byteOffset: where an offset that PCRE2 gives in the bytes of a search string lies in the field.
int CharacterPosition(const QString& Text, std::size_t ByteOffset);

/// The column where the reported line begins in one line of the pane, or -1 for the new-search line and
/// file header lines, which hold the strings only as the search pattern.
int ReportedTextStart(const QString& Line, bool LineNumbering);

/// Marks the occurrences in the output pane with a background from the pane's palette, on the lines in
/// view: the marks follow scrolling, resizing and every new text. They are painted under the text, not
/// stored in it, so they never enter its undo history, the clipboard, printing or the result log, and
/// neither loading nor painting the pane costs more than a rectangle per occurrence in view.
class TMatchHighlighter final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TMatchHighlighter)

public:
    /// Marks on at most this many lines, and at most MaxMarks marks, whatever the font size.
    static constexpr int MaxLines = 400;
    static constexpr int MaxMarks = 10000;

    explicit TMatchHighlighter(QTextEdit* Viewer);

    /// The strings marked from now on (on the blocks RunOfBlock does not answer for).
    void SetStrings(const TMatchStrings& Strings);
    const TMatchStrings& Strings() const { return FStrings; }

    /// Where the reported text of a block begins (-1: nothing to mark), when something knows better than
    /// the look of the line; unassigned, ReportedTextStart decides.
    std::function<int(int BlockNumber, const QString& Line)> TextStart;
    /// The request of the run that wrote a block, when the pane holds several runs' lines: the block is
    /// marked with that run's strings (MatchStringsOf). Empty (or unassigned) for a block whose run is
    /// not known: the strings set last are marked there.
    std::function<std::shared_ptr<const SearchRequest>(int BlockNumber)> RunOfBlock;

    /// Marks the lines now in view (done on its own after a change; tests call it to see the result).
    void Refresh();
    /// One mark: a range of the pane's text (document positions).
    struct TMark {
        int Position;
        int Length;
    };
    const std::vector<TMark>& Marks() const { return FMarks; }

    /// The marking colour: the base colour tinted toward the selection colour, so the pane's text colour
    /// stays readable on it in light and dark palettes alike, and a mark never looks like a selection.
    static QColor MatchColor(const QPalette& Palette);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void RefreshSoon();
    void PaintMarks();

    QTextEdit* FViewer;
    // Kept apart: while the pane is being destroyed it is no longer a text edit, but its viewport's
    // last events still reach the filter.
    QWidget* FViewport;
    TMatchStrings FStrings;
    std::unique_ptr<TMatchFinder> FFinder; // FStrings, prepared
    bool FRefreshPending{false};
    std::vector<TMark> FMarks; // in text order
};
