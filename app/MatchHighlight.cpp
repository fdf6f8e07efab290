#include "app/MatchHighlight.h"

#include "search/Regex.h"
#include "search/SearchRequest.h"

#include <QAbstractTextDocumentLayout>
#include <QEvent>
#include <QPainter>
#include <QPalette>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>
#include <QTimer>

#include <algorithm>

namespace {

// The engine's case rule: only the ASCII letters fold, every other character stays as it is.
QString FoldAscii(const QString& text)
{
    QString folded = text;
    for (QChar& c : folded) {
        if (c >= u'a' && c <= u'z') {
            c = QChar(c.unicode() - (u'a' - u'A'));
        }
    }
    return folded;
}

const QString NewSearchText = QStringLiteral("*****  New Search  *****");
const QString HeaderStart = QStringLiteral("***** File: \"");
const QString HeaderEnd = QStringLiteral(" *****");

} // namespace

TMatchStrings MatchStringsOf(const SearchRequest& Request)
{
    TMatchStrings strings;
    if (!Request.ReverseLogic) {
        const auto text = [](const std::string& bytes) {
            return QString::fromLocal8Bit(bytes.data(), qsizetype(bytes.size()));
        };
        strings.String1 = text(Request.Pattern1Text);
        // As compared: folded unless the run was case-sensitive or of regular expressions (kept as
        // typed); the marks fold alike.
        strings.String2 = text(Request.Pattern2);
    }
    strings.CaseSensitive = Request.CaseSensitive;
    strings.Regex = Request.Regex;
    return strings;
}

namespace {

/// The UTF-8 bytes of text from From on, with the character range each byte belongs to.
struct TUtf8Line {
    QByteArray Bytes;
    std::vector<int> CharStart; // per byte: the first column of its character
    std::vector<int> CharEnd; // per byte: the column after its character
};

TUtf8Line Utf8Of(const QString& Text, int From)
{
    TUtf8Line line;
    for (int i = std::max(From, 0); i < Text.size();) {
        char32_t code = Text.at(i).unicode();
        int units = 1;
        if (QChar::isHighSurrogate(code) && i + 1 < Text.size() && Text.at(i + 1).isLowSurrogate()) {
            code = QChar::surrogateToUcs4(Text.at(i), Text.at(i + 1));
            units = 2;
        } else if (QChar::isSurrogate(code)) {
            code = 0xfffd; // as the codec writes a lone half
        }
        char bytes[4];
        int n = 0;
        if (code < 0x80) {
            bytes[n++] = char(code);
        } else if (code < 0x800) {
            bytes[n++] = char(0xc0 | (code >> 6));
            bytes[n++] = char(0x80 | (code & 0x3f));
        } else if (code < 0x10000) {
            bytes[n++] = char(0xe0 | (code >> 12));
            bytes[n++] = char(0x80 | ((code >> 6) & 0x3f));
            bytes[n++] = char(0x80 | (code & 0x3f));
        } else {
            bytes[n++] = char(0xf0 | (code >> 18));
            bytes[n++] = char(0x80 | ((code >> 12) & 0x3f));
            bytes[n++] = char(0x80 | ((code >> 6) & 0x3f));
            bytes[n++] = char(0x80 | (code & 0x3f));
        }
        line.Bytes.append(bytes, n);
        for (int k = 0; k < n; ++k) {
            line.CharStart.push_back(i);
            line.CharEnd.push_back(i + units);
        }
        i += units;
    }
    return line;
}

std::vector<std::pair<int, int>> Joined(std::vector<std::pair<int, int>> found)
{
    std::sort(found.begin(), found.end());
    std::vector<std::pair<int, int>> joined;
    for (const auto& [start, length] : found) {
        if (!joined.empty() && start < joined.back().first + joined.back().second) {
            const int end = std::max(joined.back().first + joined.back().second, start + length);
            joined.back().second = end - joined.back().first;
        } else {
            joined.emplace_back(start, length);
        }
    }
    return joined;
}

} // namespace

TMatchFinder::TMatchFinder(const TMatchStrings& Strings)
    : FStrings(Strings)
{
    if (!FStrings.Regex) {
        return;
    }
    for (const QString& string : {FStrings.String1, FStrings.String2}) {
        if (string.isEmpty()) {
            continue;
        }
        RegexProblem problem;
        const QByteArray pattern = string.toUtf8();
        if (auto compiled =
                RegexPattern::Compile(std::string_view(pattern.constData(), std::size_t(pattern.size())),
                                      FStrings.CaseSensitive, LineFormat::Unix, problem)) {
            FPatterns.push_back(std::move(compiled));
        }
    }
}

TMatchFinder::~TMatchFinder() = default;

std::vector<std::pair<int, int>> TMatchFinder::Find(const QString& Text, int From)
{
    std::vector<std::pair<int, int>> found;
    if (FStrings.Empty() || From >= Text.size()) {
        return found;
    }
    if (FStrings.Regex) {
        const TUtf8Line line = Utf8Of(Text, From);
        const char* begin = line.Bytes.constData();
        const char* end = begin + line.Bytes.size();
        const auto size = std::size_t(line.Bytes.size());
        for (const std::unique_ptr<RegexPattern>& pattern : FPatterns) {
            // The run's own way through the line (as its word count): empty matches move on, unmarked.
            std::size_t from = 0;
            bool notEmpty = false;
            for (std::size_t at = 0, length = 0;
                 pattern->Find(begin, end, from, notEmpty, at, length) == RegexOutcome::Match;) {
                if (length != 0) {
                    const int first = line.CharStart[at];
                    found.emplace_back(first, line.CharEnd[at + length - 1] - first);
                }
                from = at + length;
                notEmpty = length == 0;
                if (notEmpty && from >= size) {
                    break;
                }
            }
        }
        return Joined(std::move(found));
    }
    const QString text = FStrings.CaseSensitive ? Text : FoldAscii(Text);
    for (const QString& string : {FStrings.String1, FStrings.String2}) {
        if (string.isEmpty()) {
            continue;
        }
        const QString pattern = FStrings.CaseSensitive ? string : FoldAscii(string);
        for (qsizetype at = text.indexOf(pattern, From); at >= 0; at = text.indexOf(pattern, at + 1)) {
            found.emplace_back(int(at), int(pattern.size()));
        }
    }
    return Joined(std::move(found));
}

std::vector<std::pair<int, int>> FindMatches(const QString& Text, int From, const TMatchStrings& Strings)
{
    return TMatchFinder(Strings).Find(Text, From);
}

int CharacterPosition(const QString& Text, std::size_t ByteOffset)
{
    const TUtf8Line line = Utf8Of(Text, 0);
    if (ByteOffset >= line.CharStart.size()) {
        return int(Text.size());
    }
    return line.CharStart[ByteOffset];
}

int ReportedTextStart(const QString& Line, bool LineNumbering)
{
    if (Line == NewSearchText || (Line.startsWith(HeaderStart) && Line.endsWith(HeaderEnd))) {
        return -1;
    }
    if (!LineNumbering) {
        return 0;
    }
    int digits = 0;
    while (digits < Line.size() && Line.at(digits) >= u'0' && Line.at(digits) <= u'9') {
        ++digits;
    }
    if (digits > 0 && QStringView(Line).mid(digits).startsWith(u" : ")) {
        return digits + 3;
    }
    return 0; // the rest of a reported line that held a line feed
}

TMatchHighlighter::TMatchHighlighter(QTextEdit* Viewer)
    : QObject(Viewer)
    , FViewer(Viewer)
    , FViewport(Viewer->viewport())
{
    connect(Viewer->document(), &QTextDocument::contentsChanged, this, &TMatchHighlighter::RefreshSoon);
    connect(Viewer->verticalScrollBar(), &QScrollBar::valueChanged, this, &TMatchHighlighter::RefreshSoon);
    Viewer->installEventFilter(this);
    FViewport->installEventFilter(this);
}

void TMatchHighlighter::SetStrings(const TMatchStrings& Strings)
{
    FStrings = Strings;
    FFinder = std::make_unique<TMatchFinder>(FStrings);
    RefreshSoon();
}

QColor TMatchHighlighter::MatchColor(const QPalette& Palette)
{
    const QColor base = Palette.color(QPalette::Active, QPalette::Base);
    const QColor tint = Palette.color(QPalette::Active, QPalette::Highlight);
    constexpr double share = 0.4;
    const auto mix = [&](int from, int to) { return int(from + (to - from) * share + 0.5); };
    return QColor(mix(base.red(), tint.red()), mix(base.green(), tint.green()),
                  mix(base.blue(), tint.blue()));
}

void TMatchHighlighter::RefreshSoon()
{
    // A load changes the text once but may scroll and resize too: one refresh after all of them.
    if (!FRefreshPending) {
        FRefreshPending = true;
        QTimer::singleShot(0, this, [this] {
            if (FRefreshPending) {
                Refresh();
            }
        });
    }
}

void TMatchHighlighter::Refresh()
{
    FRefreshPending = false;
    FMarks.clear();
    if (!FStrings.Empty() && FFinder) {
        const int bottom = FViewer->viewport()->height();
        QAbstractTextDocumentLayout* layout = FViewer->document()->documentLayout();
        // A long text is laid out bit by bit after a load; finding the lines in view needs all of it.
        layout->documentSize();
        const int scrolled = FViewer->verticalScrollBar()->value();
        QTextBlock block = FViewer->cursorForPosition(QPoint(0, 0)).block();
        for (int lines = 0; block.isValid() && lines < MaxLines && int(FMarks.size()) < MaxMarks;
             block = block.next(), ++lines) {
            if (layout->blockBoundingRect(block).top() - scrolled > bottom) {
                break;
            }
            const QString text = block.text();
            const int start = TextStart ? TextStart(block.blockNumber(), text)
                                        : ReportedTextStart(text, FStrings.LineNumbering);
            if (start < 0) {
                continue;
            }
            for (const auto& [at, length] : FFinder->Find(text, start)) {
                FMarks.push_back({block.position() + at, length});
            }
        }
    }
    FViewer->viewport()->update();
}

void TMatchHighlighter::PaintMarks()
{
    if (FMarks.empty()) {
        return;
    }
    QTextDocument* document = FViewer->document();
    const QAbstractTextDocumentLayout* layout = document->documentLayout();
    const QPointF offset(-FViewer->horizontalScrollBar()->value(), -FViewer->verticalScrollBar()->value());
    QPainter painter(FViewer->viewport());
    const QColor colour = MatchColor(FViewer->palette());
    for (const TMark& mark : FMarks) {
        const QTextBlock block = document->findBlock(mark.Position);
        const QTextLayout* lines = block.layout();
        if (lines == nullptr || !block.isValid()) {
            continue;
        }
        const QPointF origin = layout->blockBoundingRect(block).topLeft() + offset;
        const int from = mark.Position - block.position();
        const int to = from + mark.Length;
        // A mark on a wrapped line may cover the end of one line and the start of the next.
        for (int at = from; at < to;) {
            const QTextLine line = lines->lineForTextPosition(at);
            if (!line.isValid()) {
                break;
            }
            const int end = std::min(to, line.textStart() + line.textLength());
            const qreal left = line.cursorToX(at);
            const qreal right = line.cursorToX(end);
            painter.fillRect(QRectF(origin.x() + left, origin.y() + line.y(), right - left, line.height()),
                             colour);
            if (end <= at) {
                break;
            }
            at = end;
        }
    }
}

bool TMatchHighlighter::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == FViewport && event->type() == QEvent::Paint) {
        PaintMarks(); // under the text, which the pane paints next
    } else if ((watched == FViewport && event->type() == QEvent::Resize) ||
               (watched == FViewer && event->type() == QEvent::PaletteChange)) {
        RefreshSoon(); // more lines in view, or a theme change that must recolour the marks
    }
    return QObject::eventFilter(watched, event);
}
