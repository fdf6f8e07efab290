#pragma once

#include <QColor>
#include <QSyntaxHighlighter>
#include <QTextCharFormat>
#include <QTextEdit>

#include <functional>
#include <istream>
#include <memory>

class QIODevice;
class QMenu;
class QTextDocument;
class TFindDialog;
class TParaAttributes;
class TTextAttributes;
class TQvEditObjects;

/// Moves bytes from a stream into the control while it loads; both registered kinds pass them unchanged.
class TConversion {
public:
    virtual ~TConversion() = default;
    /// Reads up to bufferSize bytes from the stream; returns the count, -1 on a read error.
    virtual qint64 ConvertReadStream(QIODevice& stream, char* buffer, qint64 bufferSize);
    /// Writes up to bufferSize bytes to the stream; returns the count, -1 on a write error.
    virtual qint64 ConvertWriteStream(QIODevice& stream, const char* buffer, qint64 bufferSize);
};

using TConversionClass = std::unique_ptr<TConversion> (*)();

/// One entry of the list that picks a converter by file extension.
struct TConversionFormat {
    TConversionClass ConversionClass;
    QString Extension; // lower case, no dot
    const TConversionFormat* Next;
};

/// The registered formats: "txt", then "rtf".
const TConversionFormat* ConversionFormatList();

/// Shows the web addresses in a document underlined in the link colour, while URL detection is on.
class TUrlHighlighter final : public QSyntaxHighlighter {
public:
    explicit TUrlHighlighter(QTextDocument* document);

protected:
    void highlightBlock(const QString& text) override;
};

/// The rich text control: single-line entry fields and multi-line viewers alike,
/// with a flat three-pixel frame that turns sunken while hot.
class TQvEdit : public QTextEdit {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TQvEdit)

public:
    enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
    Q_ENUM(TScrollStyle)
    enum TAlignment { taLeftJustify, taRightJustify, taCenter };
    Q_ENUM(TAlignment)
    /// Values of FindState.
    enum : int { FreshSearch = -1, Continuing = 0, Wrapped = 1 };

    /// The characters that end a word for the URL hover watch.
    static const QString UrlDelimiters;

    // An invalid colour means "the system colour" (clWindow for Color).
    Q_PROPERTY(QColor Color READ Color WRITE SetColor)
    Q_PROPERTY(QString Text READ Text WRITE SetText)
    Q_PROPERTY(bool WantTabs READ WantTabs WRITE SetWantTabs)
    Q_PROPERTY(bool WantReturns READ WantReturns WRITE SetWantReturns)
    Q_PROPERTY(bool HideScrollBars READ HideScrollBars WRITE SetHideScrollBars)
    Q_PROPERTY(bool AutoDetectUrls READ AutoDetectUrls WRITE SetAutoDetectUrls)
    Q_PROPERTY(TScrollStyle ScrollBars READ ScrollBars WRITE SetScrollBars)
    Q_PROPERTY(bool WordWrap READ WordWrap WRITE SetWordWrap)
    Q_PROPERTY(bool MultiLine READ MultiLine WRITE SetMultiLine)
    Q_PROPERTY(bool HideSelection READ HideSelection WRITE SetHideSelection)
    Q_PROPERTY(int MaxLength READ MaxLength WRITE SetMaxLength)
    Q_PROPERTY(bool OEMConvert READ OEMConvert WRITE SetOEMConvert)
    Q_PROPERTY(QChar PasswordChar READ PasswordChar WRITE SetPasswordChar)
    Q_PROPERTY(bool ParentColor READ ParentColor WRITE SetParentColor)
    Q_PROPERTY(bool ReadOnly READ ReadOnly WRITE SetReadOnly)
    Q_PROPERTY(bool PlainText READ PlainText WRITE SetPlainText)
    Q_PROPERTY(TAlignment Alignment READ Alignment WRITE SetAlignment)
    Q_PROPERTY(bool AutoSelect READ AutoSelect WRITE SetAutoSelect)

public:
    explicit TQvEdit(QWidget* parent = nullptr);
    ~TQvEdit() override;

    QColor Color() const { return FColor; }
    void SetColor(const QColor& value);
    QString Text() const;
    void SetText(const QString& value);
    bool WantTabs() const { return FWantTabs; }
    void SetWantTabs(bool value);
    bool WantReturns() const { return FWantReturns; }
    void SetWantReturns(bool value) { FWantReturns = value; }
    bool HideScrollBars() const { return FHideScrollBars; }
    void SetHideScrollBars(bool value);
    bool AutoDetectUrls() const { return FAutoDetectUrls; }
    void SetAutoDetectUrls(bool value);
    TScrollStyle ScrollBars() const { return FScrollBars; }
    void SetScrollBars(TScrollStyle value);
    bool WordWrap() const { return FWordWrap; }
    void SetWordWrap(bool value);
    bool MultiLine() const { return FMultiLine; }
    void SetMultiLine(bool value);
    bool HideSelection() const { return FHideSelection; }
    void SetHideSelection(bool value);
    int MaxLength() const { return FMaxLength; }
    void SetMaxLength(int value) { FMaxLength = value; }
    bool OEMConvert() const { return FOEMConvert; }
    void SetOEMConvert(bool value) { FOEMConvert = value; }
    QChar PasswordChar() const { return FPasswordChar; }
    void SetPasswordChar(QChar value);
    bool ParentColor() const { return FParentColor; }
    void SetParentColor(bool value);
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool value);
    bool PlainText() const { return FPlainText; }
    void SetPlainText(bool value) { FPlainText = value; }
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment value);
    bool AutoSelect() const { return FAutoSelect; }
    void SetAutoSelect(bool value) { FAutoSelect = value; }

    /// The context menu; before it pops up it carries this control in its "PopupComponent" property.
    QMenu* PopupMenu() const { return FPopupMenu; }
    void SetPopupMenu(QMenu* value) { FPopupMenu = value; }

    /// The number of characters the control can hold; MaxLength 0 means the platform default.
    int EffectiveMaxLength() const;
    /// Characters held; a paragraph break counts as one.
    int TextLength() const;
    bool Modified() const;
    void SetModified(bool value);
    void Clear();

    /// Replaces the whole contents with the stream's data, always from its first byte.
    void LoadFromStream(QIODevice& stream);
    void LoadFromStream(std::istream& stream);
    /// False (after a message box) when the file does not exist.
    bool LoadFromFile(const QString& fileName);

    TConversion* Converter() const { return FConverter.get(); }
    TConversionClass ConverterClass() const { return FConverterClass; }
    void SetConverterClass(TConversionClass value) { FConverterClass = value; }

    // Editing commands; the control decides whether there is anything to do.
    void Undo();
    void CutToClipboard();
    void CopyToClipboard();
    void PasteFromClipboard();
    void ClearSelection();
    void SelectAll();

    int SelStart() const;
    void SetSelStart(int value);
    int SelLength() const;
    /// Selects from SelStart on and scrolls the selection into view.
    void SetSelLength(int value);
    QString SelText() const;
    /// Copies the selection as 8-bit text, at most bufferSize - 1 bytes, terminated; returns the count.
    int GetSelTextBuf(char* buffer, int bufferSize) const;

    TFindDialog* FindDialog() const { return FFindDialog; }
    int FindState() const { return FFindState; }
    void SetFindState(int value) { FFindState = value; }
    /// The range of the search sequence: start and end (start is the higher one going up), text, match.
    struct TFindRange {
        int Min = 0;
        int Max = 0;
        QString Text;
        int MatchMin = -1;
        int MatchMax = -1;
    };
    const TFindRange& FindRange() const { return FFindRange; }
    /// Shows the find dialog (modeless).
    void Find();
    /// One search step, as the find dialog's Find Next button runs it.
    void FindNext();

    /// Prints the whole text on the default printer, page by page, with the progress window;
    /// margins in inches.
    void Print(const QString& title, float top, float left, float bottom, float right);

    /// Character format of the selection, of default text; paragraph format of the selection.
    TTextAttributes* SelAttributes() const { return FSelAttributes.get(); }
    TTextAttributes* DefAttributes() const { return FDefAttributes.get(); }
    TParaAttributes* Paragraph() const { return FParagraph.get(); }

    bool Highlighted() const { return FHighlighted; }
    QString CurrentURL() const { return FCurrentURL; }

    std::function<void()> OnChange;
    std::function<void()> OnSelectionChange;
    std::function<void(const QString& URL)> OnMouseOverURL;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    QMimeData* createMimeDataFromSelection() const override;

private:
    friend class TTextAttributes;
    friend class TParaAttributes;

    void PaintFrame(QPainter& painter);
    /// Before text is replaced in rich mode: new text is default text.
    void UseDefaultFormat();
    void SetHighlighted(bool value);
    void ApplyScrollBars();
    void ApplyColor();
    void ApplySelectionColours();
    void ApplyLineMode();
    void ApplyReadOnly();
    /// Room left for new characters when the selection is replaced.
    int Room() const;
    QString FitToControl(QString text) const;
    void LoadBytes(QIODevice& stream, TConversion& converter);
    void TrimToMaxLength();
    void TextChanged();
    /// Redraws the masked text of a password control from the real one.
    void RefreshMask();
    void SelectionMoved();
    void WatchUrl(const QPoint& viewportPos);
    bool AskToWrap();

    QColor FColor;
    bool FWantTabs = false;
    bool FWantReturns = true;
    bool FHideScrollBars = true;
    bool FAutoDetectUrls = false;
    TScrollStyle FScrollBars = ssNone;
    bool FWordWrap = false;
    bool FMultiLine = true;
    bool FHideSelection = true;
    int FMaxLength = 32768;
    bool FOEMConvert = false;
    QChar FPasswordChar;
    bool FParentColor = false;
    bool FReadOnly = false;
    bool FPlainText = true;
    TAlignment FAlignment = taLeftJustify;
    bool FAutoSelect = true;
    QMenu* FPopupMenu = nullptr;

    bool FCreating = true;
    bool FQuiet = false; // formatting-only updates: no OnChange
    bool FHighlighted = false;
    QString FCurrentURL;
    int FLastSelStart = 0;
    int FLastSelEnd = 0;

    TFindDialog* FFindDialog = nullptr; // owned as a child
    int FFindState = FreshSearch;
    TFindRange FFindRange;

    std::unique_ptr<TConversion> FConverter;
    TConversionClass FConverterClass;
    QTextCharFormat FDefaultFormat; // what DefAttributes set: the format of default text
    std::unique_ptr<TTextAttributes> FSelAttributes;
    std::unique_ptr<TTextAttributes> FDefAttributes;
    std::unique_ptr<TParaAttributes> FParagraph;
    std::unique_ptr<TUrlHighlighter> FUrlHighlighter;
    std::unique_ptr<QTextDocument> FMaskDocument; // what is painted while PasswordChar is set
    std::unique_ptr<TQvEditObjects> FObjects; // OLE callback and embedded objects
};

/// EM_FINDTEXTEX on a document: searches range.Text within [range.Min, range.Max] (downward) or
/// from range.Min back to range.Max (upward); a match never crosses the range. Returns the match
/// start or -1, and sets range.MatchMin/MatchMax.
int FindTextEx(const QTextDocument& document, bool down, bool wholeWord, bool matchCase,
               TQvEdit::TFindRange& range);
