// Web addresses in the text: shown underlined while URL detection is on, and watched under the
// mouse pointer.

#include "controls/richtext/qvtext.h"

#include <QAbstractTextDocumentLayout>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QTextDocument>

#include <algorithm>

const QString TQvEdit::UrlDelimiters = QStringLiteral("[]!^,{}<> \t\r");

namespace {

bool IsUrlDelimiter(QChar c)
{
    return TQvEdit::UrlDelimiters.contains(c);
}

bool LooksLikeUrl(const QString& word)
{
    const QString lower = word.toLower();
    static const char* const marks[] = {"http://", "ftp://", "https://", "www.", "ftp.", "@"};
    return std::any_of(std::begin(marks), std::end(marks),
                       [&lower](const char* mark) { return lower.contains(QLatin1String(mark)); });
}

} // namespace

TUrlHighlighter::TUrlHighlighter(QTextDocument* document)
    : QSyntaxHighlighter(document)
{
}

void TUrlHighlighter::highlightBlock(const QString& text)
{
    QTextCharFormat link;
    link.setFontUnderline(true);
    link.setForeground(QGuiApplication::palette().color(QPalette::Link));
    int start = 0;
    const int length = static_cast<int>(text.size());
    while (start < length) {
        while (start < length && IsUrlDelimiter(text[start])) {
            ++start;
        }
        int end = start;
        while (end < length && !IsUrlDelimiter(text[end])) {
            ++end;
        }
        if (end > start && LooksLikeUrl(text.mid(start, end - start))) {
            setFormat(start, end - start, link);
        }
        start = end;
    }
}

void TQvEdit::SetAutoDetectUrls(bool value)
{
    if (value == FAutoDetectUrls) {
        return;
    }
    FAutoDetectUrls = value;
    if (value) {
        FUrlHighlighter = std::make_unique<TUrlHighlighter>(document());
        // Underlining changes no text: no change notice.
        const QScopedValueRollback quiet(FQuiet, true);
        FUrlHighlighter->rehighlight();
    } else {
        FUrlHighlighter.reset();
    }
    if (!value && !FCurrentURL.isEmpty()) {
        FCurrentURL.clear();
        viewport()->unsetCursor();
    }
}

void TQvEdit::mouseMoveEvent(QMouseEvent* e)
{
    QTextEdit::mouseMoveEvent(e);
    if (FAutoDetectUrls) {
        WatchUrl(e->position().toPoint());
    }
}

void TQvEdit::WatchUrl(const QPoint& viewportPos)
{
    const QString text = toPlainText();
    const int length = static_cast<int>(text.size());
    auto isDelimiter = [](QChar c) { return IsUrlDelimiter(c) || c == u'\n'; };
    auto plainCursor = [this] { viewport()->setCursor(FReadOnly ? Qt::ArrowCursor : Qt::IBeamCursor); };

    // Only a point over a character counts, not the empty space after a line's end.
    const int index = document()->documentLayout()->hitTest(
        viewportPos + QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value()), Qt::ExactHit);
    if (index < 0 || index >= length || isDelimiter(text[index])) {
        if (viewport()->cursor().shape() == Qt::PointingHandCursor) {
            plainCursor();
        }
        FCurrentURL.clear();
        if (OnMouseOverURL) {
            OnMouseOverURL(QString());
        }
        return;
    }
    int wordStart = index;
    while (wordStart > 0 && !isDelimiter(text[wordStart - 1])) {
        --wordStart;
    }
    int wordEnd = wordStart;
    while (wordEnd < length && !isDelimiter(text[wordEnd])) {
        ++wordEnd;
    }
    const QString word = text.mid(wordStart, wordEnd - wordStart);
    const bool isUrl = LooksLikeUrl(word);
    if (isUrl) {
        if (viewport()->cursor().shape() != Qt::PointingHandCursor) {
            viewport()->setCursor(Qt::PointingHandCursor);
        }
        FCurrentURL = word;
        if (OnMouseOverURL) {
            OnMouseOverURL(word);
        }
    } else {
        if (viewport()->cursor().shape() == Qt::PointingHandCursor) {
            plainCursor();
        }
        FCurrentURL.clear();
    }
}
