#include "controls/richtext/qvtext.h"

#include "controls/FlatFrame.h"
#include "controls/richtext/FindDialog.h"
#include "controls/richtext/RtfReader.h"
#include "controls/richtext/TextAttributes.h"
#include "controls/richtext/qvtext_objects.h"
#include "platform/Application.h"
#include "platform/Dialogs.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextDocumentFragment>

#include <stdexcept>

namespace {

// EM_EXLIMITTEXT with 0 gives the platform's own default limit.
constexpr int PlatformDefaultLimit = 65536;
constexpr qint64 StreamChunk = 4096;

const QString MissingFileText =
    QStringLiteral("     This application could not open the file for viewing because\r"
                   "the path or file name no longer exists. Please try again later.\r\r"
                   "     Press Ok to continue.\r");

std::unique_ptr<TConversion> MakeConversion()
{
    return std::make_unique<TConversion>();
}

const TConversionFormat RtfFormat{&MakeConversion, QStringLiteral("rtf"), nullptr};
const TConversionFormat TxtFormat{&MakeConversion, QStringLiteral("txt"), &RtfFormat};

bool IsLineBreak(QChar c)
{
    return c == u'\n' || c == u'\r' || c == QChar::ParagraphSeparator || c == QChar::LineSeparator;
}

// Every break form (CR LF, CR, LF) becomes one paragraph break, as the platform reads plain text.
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

bool IsWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == u'_';
}

// The control library's message boxes: application title as caption, task-modal and on top.
int ShowLibraryMessage(const QString& text, unsigned flags)
{
    return MessageBox(text, Application::Title(), flags | MB_TASKMODAL | MB_TOPMOST);
}

// A standard input stream seen as a device, so that loading reads it in chunks like a file.
class StdInputDevice final : public QIODevice {
public:
    explicit StdInputDevice(std::istream& stream)
        : FStream(stream)
    {
    }
    bool isSequential() const override { return false; }
    bool seek(qint64 pos) override
    {
        FStream.clear();
        FStream.seekg(pos, std::ios::beg);
        return QIODevice::seek(pos) && !FStream.fail();
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        if (FStream.bad()) {
            return -1;
        }
        FStream.read(data, maxSize);
        const qint64 count = FStream.gcount();
        FStream.clear(FStream.rdstate() & ~(std::ios::failbit | std::ios::eofbit));
        return count;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    std::istream& FStream;
};

} // namespace

qint64 TConversion::ConvertReadStream(QIODevice& stream, char* buffer, qint64 bufferSize)
{
    return stream.read(buffer, bufferSize);
}

qint64 TConversion::ConvertWriteStream(QIODevice& stream, const char* buffer, qint64 bufferSize)
{
    return stream.write(buffer, bufferSize);
}

const TConversionFormat* ConversionFormatList()
{
    return &TxtFormat;
}

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

// ---- loading ---------------------------------------------------------------------------------

void TQvEdit::LoadBytes(QIODevice& stream, TConversion& converter)
{
    stream.seek(0);
    QByteArray buffer(StreamChunk, Qt::Uninitialized);
    const int limit = EffectiveMaxLength();

    if (!FPlainText) {
        QByteArray rtf;
        // The markup's size says little about the text it holds, so all of it is read; the reader
        // stops building the document once the control is full.
        while (true) {
            const qint64 count = converter.ConvertReadStream(stream, buffer.data(), buffer.size());
            if (count <= 0) {
                break;
            }
            rtf.append(buffer.constData(), count);
        }
        if (FMultiLine) {
            ReadRtf(rtf, *document(), limit);
            TrimToMaxLength();
            document()->clearUndoRedoStacks();
            moveCursor(QTextCursor::Start);
        } else {
            QTextDocument loaded;
            ReadRtf(rtf, loaded, limit);
            setPlainText(FitToControl(loaded.toPlainText()));
        }
    } else {
        QStringDecoder decoder(QStringDecoder::System);
        QString text;
        bool pendingCr = false;
        // Stop reading once the limit is met: a huge result log only shows its beginning anyway.
        while (text.size() <= limit) {
            const qint64 count = converter.ConvertReadStream(stream, buffer.data(), buffer.size());
            if (count <= 0) {
                break;
            }
            QString chunk = decoder.decode(QByteArrayView(buffer.constData(), count));
            if (pendingCr && chunk.startsWith(u'\n')) {
                chunk.remove(0, 1);
            }
            pendingCr = chunk.endsWith(u'\r');
            text += NormalizeBreaks(chunk);
        }
        text += decoder.decode(QByteArrayView());
        UseDefaultFormat();
        setPlainText(FitToControl(text));
    }
    SetModified(false);
}

void TQvEdit::LoadFromStream(QIODevice& stream)
{
    LoadBytes(stream, *FConverter);
}

void TQvEdit::LoadFromStream(std::istream& stream)
{
    StdInputDevice device(stream);
    device.open(QIODevice::ReadOnly);
    LoadBytes(device, *FConverter);
}

bool TQvEdit::LoadFromFile(const QString& fileName)
{
    if (!QFileInfo::exists(fileName)) {
        ShowLibraryMessage(MissingFileText, MB_OK | MB_ICONHAND);
        return false;
    }
    QFile file(fileName);
    if (QFileInfo(fileName).isDir() || !file.open(QIODevice::ReadOnly)) {
        throw std::runtime_error(
            QStringLiteral("Cannot open file %1").arg(QFileInfo(fileName).absoluteFilePath()).toStdString());
    }
    const QString extension = QFileInfo(fileName).suffix().toLower();
    TConversionClass conversionClass = ConversionFormatList()->ConversionClass;
    for (const TConversionFormat* f = ConversionFormatList(); f; f = f->Next) {
        if (f->Extension == extension) {
            conversionClass = f->ConversionClass;
            break;
        }
    }
    const std::unique_ptr<TConversion> converter = conversionClass();
    LoadBytes(file, *converter);
    return true;
}

// ---- editing ---------------------------------------------------------------------------------

void TQvEdit::Undo()
{
    // A read-only control's text is not the user's to change, by undo neither.
    if (!FReadOnly) {
        undo();
    }
}

void TQvEdit::CutToClipboard()
{
    if (FPasswordChar.isNull()) {
        cut();
    }
}

void TQvEdit::CopyToClipboard()
{
    if (FPasswordChar.isNull()) {
        copy();
    }
}

void TQvEdit::PasteFromClipboard()
{
    paste();
}

void TQvEdit::ClearSelection()
{
    if (!FReadOnly) {
        textCursor().removeSelectedText();
    }
}

void TQvEdit::SelectAll()
{
    selectAll();
}

int TQvEdit::SelStart() const
{
    return textCursor().selectionStart();
}

void TQvEdit::SetSelStart(int value)
{
    QTextCursor c = textCursor();
    c.setPosition(std::clamp(value, 0, TextLength()));
    setTextCursor(c);
}

int TQvEdit::SelLength() const
{
    const QTextCursor c = textCursor();
    return c.selectionEnd() - c.selectionStart();
}

void TQvEdit::SetSelLength(int value)
{
    QTextCursor c = textCursor();
    const int start = c.selectionStart();
    c.setPosition(start);
    // In 64 bits: a huge length must select to the end, not wrap round to a negative position.
    c.setPosition(static_cast<int>(std::clamp<qint64>(qint64(start) + value, 0, TextLength())),
                  QTextCursor::KeepAnchor);
    setTextCursor(c);
    ensureCursorVisible();
}

QString TQvEdit::SelText() const
{
    QString text = textCursor().selectedText();
    for (QChar& c : text) {
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator) {
            c = u'\n';
        }
    }
    return text;
}

int TQvEdit::GetSelTextBuf(char* buffer, int bufferSize) const
{
    if (!buffer || bufferSize <= 0) {
        return 0;
    }
    const QString text = SelText();
    int copied = 0;
    // Whole characters only: a multi-byte character that does not fit is left out.
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype n = (text[i].isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        const QByteArray bytes = text.mid(i, n).toLocal8Bit();
        if (copied + bytes.size() > bufferSize - 1) {
            break;
        }
        std::memcpy(buffer + copied, bytes.constData(), bytes.size());
        copied += bytes.size();
        i += n - 1;
    }
    buffer[copied] = '\0';
    return copied;
}

// ---- find ------------------------------------------------------------------------------------

int FindTextEx(const QTextDocument& document, bool down, bool wholeWord, bool matchCase,
               TQvEdit::TFindRange& range)
{
    range.MatchMin = range.MatchMax = -1;
    const QString text = document.toPlainText();
    const QString& needle = range.Text;
    const int length = static_cast<int>(text.size());
    if (needle.isEmpty() || needle.size() > length) {
        return -1;
    }
    const Qt::CaseSensitivity cs = matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
    const int n = static_cast<int>(needle.size());
    auto wholeAt = [&](int at) {
        return !wholeWord ||
               ((at == 0 || !IsWordChar(text[at - 1])) && (at + n >= length || !IsWordChar(text[at + n])));
    };
    auto clampPos = [length](int p) { return p < 0 ? length : std::min(p, length); };

    if (down) {
        const int from = clampPos(range.Min);
        const int to = clampPos(range.Max);
        for (int at = static_cast<int>(text.indexOf(needle, from, cs)); at >= 0 && at + n <= to;
             at = static_cast<int>(text.indexOf(needle, at + 1, cs))) {
            if (wholeAt(at)) {
                range.MatchMin = at;
                range.MatchMax = at + n;
                return at;
            }
        }
    } else {
        const int from = clampPos(range.Min); // the higher end
        const int to = std::clamp(range.Max, 0, length);
        for (int at = from - n; at >= to; --at) {
            at = static_cast<int>(text.lastIndexOf(needle, at, cs));
            if (at < to) {
                break;
            }
            if (wholeAt(at)) {
                range.MatchMin = at;
                range.MatchMax = at + n;
                return at;
            }
        }
    }
    return -1;
}

void TQvEdit::Find()
{
    FFindDialog->Execute();
}

bool TQvEdit::AskToWrap()
{
    return AskToWrapFind();
}

void TQvEdit::FindNext()
{
    const bool down = FFindDialog->Down();
    if (FFindState == FreshSearch) {
        int start = SelStart();
        if (down) {
            if (start == TextLength()) {
                if (!AskToWrap()) {
                    FFindDialog->CloseDialog();
                    return;
                }
                start = 0;
                // The user already chose to start over: a miss now ends the sequence.
                FFindState = Wrapped;
            }
            FFindRange.Min = start;
            FFindRange.Max = TextLength();
        } else {
            if (start == 0) {
                if (!AskToWrap()) {
                    FFindDialog->CloseDialog();
                    return;
                }
                start = TextLength();
                FFindState = Wrapped;
            }
            FFindRange.Min = start;
            FFindRange.Max = 0;
        }
    }

    while (true) {
        FFindRange.Text = FFindDialog->FindText();
        const int found =
            FindTextEx(*document(), down, FFindDialog->WholeWord(), FFindDialog->MatchCase(), FFindRange);
        if (found >= 0) {
            SetSelLength(0);
            SetSelStart(FFindRange.MatchMin);
            SetSelLength(FFindRange.MatchMax - FFindRange.MatchMin);
            FFindRange.Min = down ? FFindRange.MatchMax : FFindRange.MatchMin;
            FFindState = Continuing;
            return;
        }
        if (FFindState != FreshSearch) {
            ShowFindComplete();
            FFindDialog->CloseDialog();
            return;
        }
        if (!AskToWrap()) {
            FFindDialog->CloseDialog();
            return;
        }
        FFindRange.Min = down ? 0 : TextLength();
        FFindState = Wrapped;
    }
}

// ---- keyboard, mouse, focus ----------------------------------------------------------------

void TQvEdit::keyPressEvent(QKeyEvent* e)
{
    const bool enter = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
    // Enter on a selected object runs its primary verb, as a double-click does.
    if (enter && e->modifiers() == Qt::NoModifier && FObjects->OpenSelected()) {
        e->accept();
        return;
    }
    if (enter && (!FMultiLine || !FWantReturns)) {
        // No character; the key goes on to the window (a dialog's default button).
        e->ignore();
        return;
    }
    if (!FPasswordChar.isNull() && (e->matches(QKeySequence::Copy) || e->matches(QKeySequence::Cut))) {
        e->accept();
        return;
    }
    const QString typed = e->text();
    const bool inserts = !FReadOnly && !typed.isEmpty() &&
                         (typed[0].isPrint() || typed[0] == u'\t' || enter) &&
                         !(e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (inserts && e->key() == Qt::Key_Tab && !FWantTabs) {
        QTextEdit::keyPressEvent(e);
        return;
    }
    if (inserts) {
        if (TextLength() == 0 && !FPlainText) {
            // Nothing around to take a format from: typed text is default text.
            mergeCurrentCharFormat(FDefaultFormat);
        }
        const int room = Room();
        if (room <= 0) {
            QApplication::beep();
            e->accept();
            return;
        }
        if (typed.size() > room) {
            textCursor().insertText(typed.left(room));
            e->accept();
            return;
        }
        if (enter) {
            // A plain paragraph break, whatever the modifiers (no soft line breaks).
            textCursor().insertBlock();
            ensureCursorVisible();
            e->accept();
            return;
        }
    }
    QTextEdit::keyPressEvent(e);
}

void TQvEdit::inputMethodEvent(QInputMethodEvent* e)
{
    QString commit = e->commitString();
    if (!FMultiLine) {
        commit = FirstLine(commit);
    }
    const int room = Room();
    if (commit.size() > room) {
        commit.truncate(room);
    }
    if (commit != e->commitString()) {
        QInputMethodEvent trimmed(e->preeditString(), e->attributes());
        trimmed.setCommitString(commit, e->replacementStart(), e->replacementLength());
        QTextEdit::inputMethodEvent(&trimmed);
        return;
    }
    QTextEdit::inputMethodEvent(e);
}

bool TQvEdit::canInsertFromMimeData(const QMimeData* source) const
{
    return source->hasText() || FObjects->CanInsert(*source) ||
           (!FPlainText && QTextEdit::canInsertFromMimeData(source));
}

void TQvEdit::insertFromMimeData(const QMimeData* source)
{
    if (FReadOnly || !source) {
        return;
    }
    const int room = Room();
    if (room > 0 && FObjects->Insert(*source)) {
        return;
    }
    if (!FPlainText && FMultiLine && source->hasHtml()) {
        const QTextDocumentFragment fragment = QTextDocumentFragment::fromHtml(source->html(), document());
        if (fragment.toPlainText().size() <= room) {
            textCursor().insertFragment(fragment);
            ensureCursorVisible();
            return;
        }
    }
    if (!source->hasText()) {
        return;
    }
    QString text = NormalizeBreaks(source->text());
    if (!FMultiLine) {
        text = FirstLine(text);
    }
    text.truncate(room);
    if (text.isEmpty()) {
        if (room == 0) {
            QApplication::beep();
        }
        return;
    }
    textCursor().insertText(text);
    ensureCursorVisible();
}

QMimeData* TQvEdit::createMimeDataFromSelection() const
{
    if (!FPasswordChar.isNull()) {
        return new QMimeData;
    }
    if (FPlainText) {
        auto* data = new QMimeData;
        data->setText(SelText());
        return data;
    }
    QMimeData* data = QTextEdit::createMimeDataFromSelection();
    // Objects have no text: their characters stay out of the plain text.
    data->setText(data->text().remove(QChar::ObjectReplacementCharacter));
    FObjects->AddSelectedObject(*data);
    return data;
}

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

void TQvEdit::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::RightButton) {
        setFocus(Qt::MouseFocusReason);
        e->accept();
        return;
    }
    QTextEdit::mousePressEvent(e);
}

void TQvEdit::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() == Qt::RightButton) {
        // The focus first, then the popup menu (through the context-menu event that follows).
        setFocus(Qt::MouseFocusReason);
        e->accept();
        return;
    }
    QTextEdit::mouseReleaseEvent(e);
}

void TQvEdit::contextMenuEvent(QContextMenuEvent* e)
{
    setFocus(Qt::OtherFocusReason);
    if (!FPopupMenu) {
        // The parents' menu, if any, handles it.
        e->ignore();
        return;
    }
    FPopupMenu->setProperty("PopupComponent", QVariant::fromValue<QObject*>(this));
    FPopupMenu->popup(e->globalPos());
    e->accept();
}

void TQvEdit::mouseDoubleClickEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton && FObjects->OpenAt(e->position().toPoint())) {
        e->accept();
        return;
    }
    QTextEdit::mouseDoubleClickEvent(e);
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

// ---- painting --------------------------------------------------------------------------------

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
