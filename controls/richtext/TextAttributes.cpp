#include "controls/richtext/TextAttributes.h"

#include "controls/richtext/RtfReader.h"

#include <QScopedValueRollback>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

#include <algorithm>
#include <cmath>

namespace {

int PixelsToPoints(double pixels)
{
    // The control's records hold twips; points are twips / 20, truncated.
    return PixelsToTwips(pixels) / 20;
}

double PointsToPixels(int points)
{
    // Within what a paragraph measurement may be; the twips would not fit an int for large values.
    constexpr int most = MaxMeasureTwips / 20;
    return TwipsToPixels(std::clamp(points, -most, most) * 20);
}

TFontStyles StylesOf(const QFont& font)
{
    TFontStyles styles = 0;
    if (font.weight() >= QFont::DemiBold) {
        styles |= fsBold;
    }
    if (font.italic()) {
        styles |= fsItalic;
    }
    if (font.underline()) {
        styles |= fsUnderline;
    }
    if (font.strikeOut()) {
        styles |= fsStrikeOut;
    }
    return styles;
}

} // namespace

// ---- TPersistent -----------------------------------------------------------------------------

void TPersistent::Assign(const TPersistent& source)
{
    source.AssignTo(*this);
}

void TPersistent::AssignTo(TPersistent& dest) const
{
    dest.AssignError(this);
}

void TPersistent::AssignError(const TPersistent* source) const
{
    const QString sourceName = source ? source->ClassName() : QStringLiteral("nil");
    throw EConvertError(
        QStringLiteral("Cannot assign a %1 to a %2").arg(sourceName, ClassName()).toStdString());
}

// ---- TFont -----------------------------------------------------------------------------------

TFont::TFont(const QFont& font, const QColor& color)
    : Color(color)
    , Name(font.family())
    , Size(font.pointSize() > 0 ? font.pointSize() : 0)
    , Style(StylesOf(font))
    , Pitch(font.fixedPitch() ? fpFixed : fpDefault)
{
}

void TFont::Assign(const TPersistent& source)
{
    if (const auto* font = dynamic_cast<const TFont*>(&source)) {
        *this = *font;
        return;
    }
    TPersistent::Assign(source);
}

QFont TFont::ToQFont() const
{
    QFont font;
    if (!Name.isEmpty()) {
        font.setFamilies({Name});
    }
    if (Size > 0) {
        font.setPointSize(Size);
    }
    font.setBold((Style & fsBold) != 0);
    font.setItalic((Style & fsItalic) != 0);
    font.setUnderline((Style & fsUnderline) != 0);
    font.setStrikeOut((Style & fsStrikeOut) != 0);
    if (Pitch != fpDefault) {
        font.setFixedPitch(Pitch == fpFixed);
    }
    return font;
}

// ---- TTextAttributes -------------------------------------------------------------------------

TTextAttributes::TTextAttributes(TQvEdit* owner, TAttributeType attributeType)
    : FOwner(owner)
    , FType(attributeType)
{
}

bool TTextAttributes::HasWindow() const
{
    return FOwner && !FOwner->FCreating;
}

QTextCharFormat TTextAttributes::Read() const
{
    // Default text reads its own format, not the selection's: what was written is what is read.
    if (FType == DefaultText && !FOwner->PlainText()) {
        return FOwner->FDefaultFormat;
    }
    const QTextCursor c = FOwner->textCursor();
    if (c.hasSelection()) {
        // The selection's format is that of its first character.
        QTextCursor first(FOwner->document());
        first.setPosition(c.selectionStart() + 1);
        return first.charFormat();
    }
    return FOwner->currentCharFormat();
}

void TTextAttributes::Write(const QTextCharFormat& format)
{
    // Formatting changes no text: no change notice.
    const QScopedValueRollback quiet(FOwner->FQuiet, true);
    if (FOwner->PlainText()) {
        QTextCursor all(FOwner->document());
        all.select(QTextCursor::Document);
        all.mergeCharFormat(format);
        FOwner->mergeCurrentCharFormat(format);
        return;
    }
    if (FType == Selection) {
        FOwner->mergeCurrentCharFormat(format);
        return;
    }
    FOwner->FDefaultFormat.merge(format);
    if (FOwner->TextLength() == 0) {
        FOwner->mergeCurrentCharFormat(format);
    }
}

void TTextAttributes::MirrorIntoFont(const QFont& changes, bool family, bool size, bool pitch)
{
    if (!FOwner->PlainText()) {
        return;
    }
    QFont font = FOwner->font();
    if (family) {
        font.setFamilies(changes.families());
    }
    if (size) {
        font.setPointSize(changes.pointSize());
    }
    if (pitch) {
        font.setFixedPitch(changes.fixedPitch());
    }
    FOwner->setFont(font);
}

QColor TTextAttributes::Color() const
{
    if (!HasWindow()) {
        return QColor(0, 0, 0);
    }
    const QTextCharFormat f = Read();
    if (f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().style() != Qt::NoBrush) {
        return f.foreground().color();
    }
    return clWindowText;
}

void TTextAttributes::SetColor(const QColor& value)
{
    if (!HasWindow()) {
        return;
    }
    QTextCharFormat f;
    // An empty brush is the automatic colour: the palette's text colour.
    f.setForeground(value.isValid() ? QBrush(value) : QBrush());
    Write(f);
}

QString TTextAttributes::Name() const
{
    if (!HasWindow()) {
        return QString();
    }
    return Read().font().resolve(FOwner->document()->defaultFont()).family().left(MaxNameLength);
}

void TTextAttributes::SetName(const QString& value)
{
    if (!HasWindow()) {
        return;
    }
    QTextCharFormat f;
    f.setFontFamilies(QStringList{value.left(MaxNameLength)});
    Write(f);
    MirrorIntoFont(f.font(), true, false, false);
}

TFontStyles TTextAttributes::Style() const
{
    if (!HasWindow()) {
        return 0;
    }
    return StylesOf(Read().font().resolve(FOwner->document()->defaultFont()));
}

void TTextAttributes::SetStyle(TFontStyles value)
{
    if (!HasWindow()) {
        return;
    }
    QTextCharFormat f;
    f.setFontWeight((value & fsBold) ? QFont::Bold : QFont::Normal);
    f.setFontItalic((value & fsItalic) != 0);
    f.setFontUnderline((value & fsUnderline) != 0);
    f.setFontStrikeOut((value & fsStrikeOut) != 0);
    Write(f);
}

int TTextAttributes::Size() const
{
    if (!HasWindow()) {
        return 0;
    }
    const double points = Read().font().resolve(FOwner->document()->defaultFont()).pointSizeF();
    return points > 0 ? static_cast<int>(std::lround(points * 20)) / 20 : 0;
}

void TTextAttributes::SetSize(int value)
{
    // A font has no size of 0 points or less.
    if (!HasWindow() || value <= 0) {
        return;
    }
    QTextCharFormat f;
    f.setFontPointSize(value);
    Write(f);
    MirrorIntoFont(f.font(), false, true, false);
}

TFontPitch TTextAttributes::Pitch() const
{
    if (!HasWindow()) {
        return fpDefault;
    }
    const QTextCharFormat f = Read();
    if (!f.hasProperty(QTextFormat::FontFixedPitch)) {
        return fpDefault;
    }
    return f.fontFixedPitch() ? fpFixed : fpVariable;
}

void TTextAttributes::SetPitch(TFontPitch value)
{
    if (!HasWindow()) {
        return;
    }
    // The control itself ignores a pitch; only the control's Font takes it, the default pitch too
    // (which asks for no fixed pitch).
    QFont changes;
    changes.setFixedPitch(value == fpFixed);
    MirrorIntoFont(changes, false, false, true);
}

void TTextAttributes::Assign(const TPersistent& source)
{
    if (const auto* font = dynamic_cast<const TFont*>(&source)) {
        SetColor(font->Color);
        SetName(font->Name);
        SetStyle(font->Style);
        SetSize(font->Size);
        SetPitch(font->Pitch);
        return;
    }
    if (const auto* other = dynamic_cast<const TTextAttributes*>(&source)) {
        // The size is not copied between two attribute objects.
        const QColor color = other->Color();
        const QString name = other->Name();
        const TFontStyles style = other->Style();
        const TFontPitch pitch = other->Pitch();
        SetColor(color);
        SetName(name);
        SetStyle(style);
        SetPitch(pitch);
        return;
    }
    TPersistent::Assign(source);
}

void TTextAttributes::AssignTo(TPersistent& dest) const
{
    if (auto* font = dynamic_cast<TFont*>(&dest)) {
        font->Color = Color();
        font->Name = Name();
        font->Style = Style();
        font->Size = Size();
        font->Pitch = Pitch();
        return;
    }
    if (auto* other = dynamic_cast<TTextAttributes*>(&dest)) {
        other->Assign(*this);
        return;
    }
    TPersistent::AssignTo(dest);
}

// ---- TParaAttributes -------------------------------------------------------------------------

TParaAttributes::TParaAttributes(TQvEdit* owner)
    : FOwner(owner)
{
}

bool TParaAttributes::HasWindow() const
{
    return FOwner && !FOwner->FCreating;
}

QTextCursor TParaAttributes::Cursor() const
{
    QTextCursor c = FOwner->textCursor();
    if (FOwner->PlainText()) {
        // Plain text has one paragraph format for all of it.
        c.select(QTextCursor::Document);
    }
    return c;
}

QTextBlockFormat TParaAttributes::Read() const
{
    const QTextCursor c = Cursor();
    return FOwner->document()->findBlock(c.selectionStart()).blockFormat();
}

void TParaAttributes::Write(const std::function<void(QTextBlockFormat& format)>& change)
{
    const QScopedValueRollback quiet(FOwner->FQuiet, true);
    const QTextCursor c = Cursor();
    QTextDocument* document = FOwner->document();
    QTextCursor edit(document);
    edit.beginEditBlock();
    const QTextBlock last = document->findBlock(c.selectionEnd());
    for (QTextBlock block = document->findBlock(c.selectionStart()); block.isValid(); block = block.next()) {
        QTextBlockFormat format = block.blockFormat();
        change(format);
        edit.setPosition(block.position());
        edit.setBlockFormat(format);
        if (block == last) {
            break;
        }
    }
    edit.endEditBlock();
}

TQvEdit::TAlignment TParaAttributes::Alignment() const
{
    if (!HasWindow()) {
        return TQvEdit::taLeftJustify;
    }
    const QTextBlockFormat f = Read();
    const Qt::Alignment align = f.hasProperty(QTextFormat::BlockAlignment)
                                    ? f.alignment()
                                    : FOwner->document()->defaultTextOption().alignment();
    if (align & Qt::AlignRight) {
        return TQvEdit::taRightJustify;
    }
    if (align & Qt::AlignHCenter) {
        return TQvEdit::taCenter;
    }
    return TQvEdit::taLeftJustify;
}

void TParaAttributes::SetAlignment(TQvEdit::TAlignment value)
{
    if (!HasWindow()) {
        return;
    }
    const Qt::Alignment align = value == TQvEdit::taRightJustify ? Qt::AlignRight
                                : value == TQvEdit::taCenter     ? Qt::AlignHCenter
                                                                 : Qt::AlignLeft;
    Write([align](QTextBlockFormat& f) { f.setAlignment(align); });
}

// The first line starts at leftMargin + textIndent; the following lines at leftMargin, which is
// the first line's start plus the offset (LeftIndent).
int TParaAttributes::FirstIndent() const
{
    if (!HasWindow()) {
        return 0;
    }
    const QTextBlockFormat f = Read();
    return PixelsToPoints(f.leftMargin() + f.textIndent());
}

void TParaAttributes::SetFirstIndent(int value)
{
    if (!HasWindow()) {
        return;
    }
    const double start = PointsToPixels(value);
    Write([start](QTextBlockFormat& f) {
        const double offset = -f.textIndent();
        f.setLeftMargin(start + offset);
        f.setTextIndent(-offset);
    });
}

int TParaAttributes::LeftIndent() const
{
    if (!HasWindow()) {
        return 0;
    }
    return PixelsToPoints(-Read().textIndent());
}

void TParaAttributes::SetLeftIndent(int value)
{
    if (!HasWindow()) {
        return;
    }
    const double offset = PointsToPixels(value);
    Write([offset](QTextBlockFormat& f) {
        const double start = f.leftMargin() + f.textIndent();
        f.setLeftMargin(start + offset);
        f.setTextIndent(-offset);
    });
}

int TParaAttributes::RightIndent() const
{
    if (!HasWindow()) {
        return 0;
    }
    return PixelsToPoints(Read().rightMargin());
}

void TParaAttributes::SetRightIndent(int value)
{
    if (!HasWindow()) {
        return;
    }
    const double right = PointsToPixels(value);
    Write([right](QTextBlockFormat& f) { f.setRightMargin(right); });
}

TParaAttributes::TNumbering TParaAttributes::Numbering() const
{
    if (!HasWindow()) {
        return NumberingNone;
    }
    const QTextCursor c = Cursor();
    return FOwner->document()->findBlock(c.selectionStart()).textList() ? NumberingBullet : NumberingNone;
}

void TParaAttributes::SetNumbering(TNumbering value)
{
    if (!HasWindow()) {
        return;
    }
    if (value == NumberingNone) {
        SetLeftIndent(0);
    } else if (LeftIndent() < 10) {
        SetLeftIndent(10);
    }
    const QScopedValueRollback quiet(FOwner->FQuiet, true);
    QTextCursor c = Cursor();
    QTextDocument* document = FOwner->document();
    const QTextBlock first = document->findBlock(c.selectionStart());
    const QTextBlock last = document->findBlock(c.selectionEnd());
    c.beginEditBlock();
    if (value == NumberingNone) {
        for (QTextBlock block = first; block.isValid(); block = block.next()) {
            if (QTextList* list = block.textList()) {
                list->remove(block);
            }
            if (block == last) {
                break;
            }
        }
    } else if (QTextList* list = first.textList()) {
        QTextListFormat format = list->format();
        format.setStyle(QTextListFormat::ListDisc);
        list->setFormat(format);
    } else {
        c.createList(QTextListFormat::ListDisc);
    }
    c.endEditBlock();
}

int TParaAttributes::TabCount() const
{
    return HasWindow() ? static_cast<int>(Read().tabPositions().size()) : 0;
}

// Tab stops are measured from the left edge; the layout measures them from the first line's start.
int TParaAttributes::Tab(int index) const
{
    if (index < 0 || index >= MaxTabs) {
        throw std::out_of_range("Tab index out of range");
    }
    if (!HasWindow()) {
        return 0;
    }
    const QTextBlockFormat f = Read();
    const QList<QTextOption::Tab> tabs = f.tabPositions();
    if (index >= tabs.size()) {
        return 0;
    }
    return PixelsToPoints(tabs[index].position + f.leftMargin() + f.textIndent());
}

void TParaAttributes::SetTab(int index, int value)
{
    if (index < 0 || index >= MaxTabs) {
        throw std::out_of_range("Tab index out of range");
    }
    if (!HasWindow()) {
        return;
    }
    const QTextBlockFormat current = Read();
    QList<QTextOption::Tab> tabs = current.tabPositions();
    const double firstLine = current.leftMargin() + current.textIndent();
    while (tabs.size() <= index) {
        tabs.append(QTextOption::Tab(-firstLine, QTextOption::LeftTab));
    }
    tabs[index].position = PointsToPixels(value) - firstLine;
    Write([&tabs](QTextBlockFormat& f) { f.setTabPositions(tabs); });
}

void TParaAttributes::Assign(const TPersistent& source)
{
    if (const auto* other = dynamic_cast<const TParaAttributes*>(&source)) {
        SetAlignment(other->Alignment());
        SetFirstIndent(other->FirstIndent());
        SetLeftIndent(other->LeftIndent());
        SetRightIndent(other->RightIndent());
        SetNumbering(other->Numbering());
        for (int i = 0; i < MaxTabs; ++i) {
            SetTab(i, other->Tab(i));
        }
        return;
    }
    TPersistent::Assign(source);
}
