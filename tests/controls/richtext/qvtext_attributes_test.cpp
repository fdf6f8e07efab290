#include "controls/richtext/RtfReader.h"
#include "controls/richtext/TextAttributes.h"
#include "controls/richtext/qvtext.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QKeyEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <QTextList>

#include <climits>
#include <gtest/gtest.h>

namespace {

void Type(QWidget& w, const QString& text)
{
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QString(c));
        QApplication::sendEvent(&w, &press);
    }
}

QTextCharFormat FormatAt(const TQvEdit& edit, int index)
{
    QTextCursor c(edit.document());
    c.setPosition(index + 1);
    return c.charFormat();
}

// A rich-mode control holding "alpha beta gamma" with "beta" selected.
struct RichFixture {
    RichFixture()
    {
        Edit.SetPlainText(false);
        Edit.SetText("alpha beta gamma");
        Edit.SetSelStart(6);
        Edit.SetSelLength(4);
    }
    TQvEdit Edit;
};

} // namespace

// ---- the zero record --------------------------------------------------------------------------

TEST(TextAttributes, WithoutAControlReadsTheZeroRecord)
{
    TTextAttributes attributes(nullptr, TTextAttributes::Selection);
    EXPECT_EQ(attributes.Size(), 0);
    EXPECT_EQ(attributes.Name(), "");
    EXPECT_EQ(attributes.Style(), 0u);
    EXPECT_EQ(attributes.Color(), QColor(0, 0, 0));
    EXPECT_EQ(attributes.Pitch(), fpDefault);
    attributes.SetSize(12); // nothing to write to
    EXPECT_EQ(attributes.Size(), 0);

    TParaAttributes paragraph(nullptr);
    EXPECT_EQ(paragraph.Alignment(), TQvEdit::taLeftJustify);
    EXPECT_EQ(paragraph.FirstIndent(), 0);
    EXPECT_EQ(paragraph.LeftIndent(), 0);
    EXPECT_EQ(paragraph.Numbering(), TParaAttributes::NumberingNone);
    EXPECT_EQ(paragraph.Tab(5), 0);
}

TEST(TextAttributes, EveryControlOwnsItsThreeObjects)
{
    TQvEdit edit;
    ASSERT_NE(edit.SelAttributes(), nullptr);
    ASSERT_NE(edit.DefAttributes(), nullptr);
    ASSERT_NE(edit.Paragraph(), nullptr);
    EXPECT_EQ(edit.SelAttributes()->AttributeType(), TTextAttributes::Selection);
    EXPECT_EQ(edit.DefAttributes()->AttributeType(), TTextAttributes::DefaultText);
    EXPECT_EQ(edit.SelAttributes()->Size(), edit.font().pointSize());
    EXPECT_EQ(edit.SelAttributes()->Color(), clWindowText);
}

// ---- rich mode: the selection ---------------------------------------------------------------------

TEST(TextAttributes, ColorRoundTripsOnTheSelectionOnly)
{
    RichFixture f;
    TTextAttributes& sel = *f.Edit.SelAttributes();
    sel.SetColor(QColor(200, 10, 20));
    EXPECT_EQ(sel.Color(), QColor(200, 10, 20));
    EXPECT_EQ(FormatAt(f.Edit, 7).foreground().color(), QColor(200, 10, 20));
    EXPECT_FALSE(FormatAt(f.Edit, 0).hasProperty(QTextFormat::ForegroundBrush));

    // clWindowText: the text follows the palette again and reads back as clWindowText.
    sel.SetColor(clWindowText);
    EXPECT_EQ(sel.Color(), clWindowText);
    EXPECT_EQ(FormatAt(f.Edit, 7).foreground().style(), Qt::NoBrush);
}

TEST(TextAttributes, NameRoundTripsAndIsCutTo31Characters)
{
    RichFixture f;
    TTextAttributes& sel = *f.Edit.SelAttributes();
    sel.SetName("DejaVu Sans Mono");
    EXPECT_EQ(sel.Name(), "DejaVu Sans Mono");
    EXPECT_NE(FormatAt(f.Edit, 0).fontFamilies().toStringList(), QStringList{"DejaVu Sans Mono"});
    const QString longName(40, u'x');
    sel.SetName(longName);
    EXPECT_EQ(sel.Name(), longName.left(31));
}

class StyleRoundTrip : public ::testing::TestWithParam<TFontStyles> { };

TEST_P(StyleRoundTrip, StyleSetIsReadBack)
{
    RichFixture f;
    f.Edit.SelAttributes()->SetStyle(GetParam());
    EXPECT_EQ(f.Edit.SelAttributes()->Style(), GetParam());
    EXPECT_EQ(FormatAt(f.Edit, 0).fontWeight(), QFont::Normal);
}

INSTANTIATE_TEST_SUITE_P(, StyleRoundTrip,
                         ::testing::Values(0u, fsBold, fsItalic, fsUnderline, fsStrikeOut, fsBold | fsItalic,
                                           fsBold | fsItalic | fsUnderline | fsStrikeOut));

TEST(TextAttributes, SizeIsWholePointsTruncated)
{
    RichFixture f;
    TTextAttributes& sel = *f.Edit.SelAttributes();
    sel.SetSize(18);
    EXPECT_EQ(sel.Size(), 18);
    EXPECT_EQ(FormatAt(f.Edit, 7).fontPointSize(), 18);
    QTextCharFormat half;
    half.setFontPointSize(10.5);
    f.Edit.mergeCurrentCharFormat(half);
    EXPECT_EQ(sel.Size(), 10);
    sel.SetSize(0); // no such size: ignored
    EXPECT_EQ(sel.Size(), 10);
}

TEST(TextAttributes, PitchIsIgnoredByTheTextInRichMode)
{
    RichFixture f;
    const bool fixedBefore = f.Edit.font().fixedPitch();
    f.Edit.SelAttributes()->SetPitch(fpFixed);
    EXPECT_EQ(f.Edit.SelAttributes()->Pitch(), fpDefault);
    EXPECT_EQ(f.Edit.font().fixedPitch(), fixedBefore);
}

TEST(TextAttributes, FormatWritesRaiseNoChangeNotice)
{
    RichFixture f;
    int changes = 0;
    f.Edit.OnChange = [&] { ++changes; };
    f.Edit.SelAttributes()->SetStyle(fsBold);
    f.Edit.SelAttributes()->SetSize(20);
    f.Edit.Paragraph()->SetAlignment(TQvEdit::taCenter);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(f.Edit.Text(), "alpha beta gamma");
}

// ---- plain mode: the whole text -------------------------------------------------------------------

TEST(TextAttributes, PlainTextSizeChangesAllTextAndTheFont)
{
    TQvEdit edit;
    edit.SetText("first line\nsecond line");
    edit.SetSelStart(2);
    edit.SetSelLength(3);
    edit.SelAttributes()->SetSize(12);
    EXPECT_EQ(FormatAt(edit, 0).fontPointSize(), 12);
    EXPECT_EQ(FormatAt(edit, 20).fontPointSize(), 12);
    EXPECT_EQ(edit.font().pointSize(), 12);
}

TEST(TextAttributes, PlainTextStyleChangesAllTextButNotTheFont)
{
    TQvEdit edit;
    edit.SetText("first line\nsecond line");
    edit.SelAttributes()->SetStyle(fsBold | fsItalic);
    EXPECT_EQ(FormatAt(edit, 0).fontWeight(), QFont::Bold);
    EXPECT_TRUE(FormatAt(edit, 20).fontItalic());
    EXPECT_FALSE(edit.font().bold());
    EXPECT_FALSE(edit.font().italic());
    // Text typed afterwards takes the one format too.
    edit.SetSelStart(edit.TextLength());
    Type(edit, "x");
    EXPECT_EQ(FormatAt(edit, edit.TextLength() - 1).fontWeight(), QFont::Bold);
}

TEST(TextAttributes, PlainTextDefaultPitchIsMirroredIntoTheFontToo)
{
    TQvEdit edit;
    edit.SetText("abc");
    edit.DefAttributes()->SetPitch(fpFixed);
    ASSERT_TRUE(edit.font().fixedPitch());
    edit.DefAttributes()->SetPitch(fpDefault);
    EXPECT_FALSE(edit.font().fixedPitch());
}

TEST(TextAttributes, PlainTextNameAndPitchAreMirroredIntoTheFont)
{
    TQvEdit edit;
    edit.SetText("abc");
    edit.DefAttributes()->SetName("DejaVu Sans Mono");
    edit.DefAttributes()->SetPitch(fpFixed);
    EXPECT_EQ(edit.font().family(), "DejaVu Sans Mono");
    EXPECT_TRUE(edit.font().fixedPitch());
    EXPECT_EQ(FormatAt(edit, 1).fontFamilies().toStringList(), QStringList{"DejaVu Sans Mono"});
}

// ---- default text -----------------------------------------------------------------------------------

TEST(TextAttributes, DefaultTextFormatAppliesToNewTextOnly)
{
    TQvEdit edit;
    edit.SetPlainText(false);
    edit.SetText("old");
    edit.DefAttributes()->SetStyle(fsBold);
    edit.DefAttributes()->SetSize(20);
    EXPECT_EQ(edit.DefAttributes()->Size(), 20);
    EXPECT_EQ(edit.DefAttributes()->Style(), static_cast<TFontStyles>(fsBold));
    EXPECT_NE(FormatAt(edit, 1).fontWeight(), QFont::Bold);
    EXPECT_NE(edit.SelAttributes()->Size(), 20);

    edit.Clear();
    Type(edit, "new");
    EXPECT_EQ(edit.Text(), "new");
    EXPECT_EQ(FormatAt(edit, 1).fontWeight(), QFont::Bold);
    EXPECT_EQ(FormatAt(edit, 1).fontPointSize(), 20);
    edit.SetText("written");
    EXPECT_EQ(FormatAt(edit, 3).fontWeight(), QFont::Bold);
}

// ---- Assign --------------------------------------------------------------------------------------

TEST(TextAttributes, AssignBetweenAttributesLeavesTheSizeAlone)
{
    RichFixture source;
    source.Edit.SelAttributes()->SetColor(QColor(0, 0, 255));
    source.Edit.SelAttributes()->SetName("DejaVu Serif");
    source.Edit.SelAttributes()->SetStyle(fsUnderline);
    source.Edit.SelAttributes()->SetSize(30);
    RichFixture dest;
    dest.Edit.SelAttributes()->SetSize(9);
    dest.Edit.SelAttributes()->Assign(*source.Edit.SelAttributes());
    EXPECT_EQ(dest.Edit.SelAttributes()->Color(), QColor(0, 0, 255));
    EXPECT_EQ(dest.Edit.SelAttributes()->Name(), "DejaVu Serif");
    EXPECT_EQ(dest.Edit.SelAttributes()->Style(), static_cast<TFontStyles>(fsUnderline));
    EXPECT_EQ(dest.Edit.SelAttributes()->Size(), 9);

    RichFixture other;
    other.Edit.SelAttributes()->SetSize(11);
    source.Edit.SelAttributes()->AssignTo(*other.Edit.SelAttributes());
    EXPECT_EQ(other.Edit.SelAttributes()->Name(), "DejaVu Serif");
    EXPECT_EQ(other.Edit.SelAttributes()->Size(), 11);
}

TEST(TextAttributes, AssignWithAFontCopiesEverything)
{
    RichFixture f;
    TFont font;
    font.Color = QColor(10, 20, 30);
    font.Name = "DejaVu Sans";
    font.Style = fsItalic;
    font.Size = 15;
    f.Edit.SelAttributes()->Assign(font);
    EXPECT_EQ(f.Edit.SelAttributes()->Color(), QColor(10, 20, 30));
    EXPECT_EQ(f.Edit.SelAttributes()->Name(), "DejaVu Sans");
    EXPECT_EQ(f.Edit.SelAttributes()->Style(), static_cast<TFontStyles>(fsItalic));
    EXPECT_EQ(f.Edit.SelAttributes()->Size(), 15);

    TFont back;
    back.Assign(*f.Edit.SelAttributes()); // through AssignTo
    EXPECT_EQ(back.Color, QColor(10, 20, 30));
    EXPECT_EQ(back.Name, "DejaVu Sans");
    EXPECT_EQ(back.Style, static_cast<TFontStyles>(fsItalic));
    EXPECT_EQ(back.Size, 15);
    EXPECT_EQ(back.Pitch, fpDefault);
}

TEST(TextAttributes, AssignFromAnythingElseCannotAssign)
{
    TQvEdit edit;
    try {
        edit.SelAttributes()->Assign(*edit.Paragraph());
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "Cannot assign a TParaAttributes to a TTextAttributes");
    }
    TFont font;
    EXPECT_THROW(edit.Paragraph()->Assign(font), EConvertError);
    EXPECT_THROW(edit.SelAttributes()->AssignTo(*edit.Paragraph()), EConvertError);
}

// ---- paragraphs ----------------------------------------------------------------------------------

class ParaAlignment : public ::testing::TestWithParam<TQvEdit::TAlignment> { };

TEST_P(ParaAlignment, RoundTripsOnTheSelectedParagraphs)
{
    TQvEdit edit;
    edit.SetPlainText(false);
    edit.SetText("one\ntwo\nthree");
    edit.SetSelStart(1);
    edit.SetSelLength(4); // "ne\ntw"
    edit.Paragraph()->SetAlignment(GetParam());
    EXPECT_EQ(edit.Paragraph()->Alignment(), GetParam());
    const QTextDocument& doc = *edit.document();
    const Qt::Alignment expected = GetParam() == TQvEdit::taCenter         ? Qt::AlignHCenter
                                   : GetParam() == TQvEdit::taRightJustify ? Qt::AlignRight
                                                                           : Qt::AlignLeft;
    EXPECT_EQ(doc.findBlockByNumber(0).blockFormat().alignment(), expected);
    EXPECT_EQ(doc.findBlockByNumber(1).blockFormat().alignment(), expected);
    EXPECT_FALSE(doc.findBlockByNumber(2).blockFormat().hasProperty(QTextFormat::BlockAlignment));
}

INSTANTIATE_TEST_SUITE_P(, ParaAlignment,
                         ::testing::Values(TQvEdit::taLeftJustify, TQvEdit::taRightJustify,
                                           TQvEdit::taCenter));

TEST(ParaAttributes, IndentsRoundTripAndKeepEachOther)
{
    TQvEdit edit;
    edit.SetPlainText(false);
    edit.SetText("paragraph");
    TParaAttributes& para = *edit.Paragraph();
    para.SetFirstIndent(36);
    para.SetLeftIndent(18);
    para.SetRightIndent(9);
    EXPECT_EQ(para.FirstIndent(), 36);
    EXPECT_EQ(para.LeftIndent(), 18);
    EXPECT_EQ(para.RightIndent(), 9);
    // Following lines start at the first line's start plus the offset.
    const QTextBlockFormat f = edit.document()->firstBlock().blockFormat();
    EXPECT_DOUBLE_EQ(f.leftMargin(), TwipsToPixels((36 + 18) * 20));
    EXPECT_DOUBLE_EQ(f.textIndent(), -TwipsToPixels(18 * 20));
    EXPECT_DOUBLE_EQ(f.rightMargin(), TwipsToPixels(9 * 20));
    para.SetFirstIndent(0);
    EXPECT_EQ(para.LeftIndent(), 18);
}

TEST(ParaAttributes, HugeIndentsAreTheWidestPageInsteadOfOverflowing)
{
    TQvEdit edit;
    edit.SetPlainText(false);
    edit.SetText("paragraph");
    TParaAttributes& para = *edit.Paragraph();
    para.SetRightIndent(INT_MAX);
    EXPECT_EQ(para.RightIndent(), MaxMeasureTwips / 20);
    para.SetLeftIndent(INT_MIN);
    EXPECT_EQ(para.LeftIndent(), -MaxMeasureTwips / 20);
    para.SetTab(0, INT_MAX);
    EXPECT_EQ(para.Tab(0), MaxMeasureTwips / 20);
}

TEST(ParaAttributes, BulletRaisesTheOffsetAndShowsAList)
{
    TQvEdit edit;
    edit.SetPlainText(false);
    edit.SetText("item one\nitem two");
    edit.SelectAll();
    TParaAttributes& para = *edit.Paragraph();
    para.SetLeftIndent(5);
    para.SetNumbering(TParaAttributes::NumberingBullet);
    EXPECT_EQ(para.Numbering(), TParaAttributes::NumberingBullet);
    EXPECT_EQ(para.LeftIndent(), 10);
    for (QTextBlock block = edit.document()->firstBlock(); block.isValid(); block = block.next()) {
        ASSERT_NE(block.textList(), nullptr);
        EXPECT_EQ(block.textList()->format().style(), QTextListFormat::ListDisc);
    }

    para.SetLeftIndent(20);
    para.SetNumbering(TParaAttributes::NumberingBullet);
    EXPECT_EQ(para.LeftIndent(), 20);

    para.SetNumbering(TParaAttributes::NumberingNone);
    EXPECT_EQ(para.Numbering(), TParaAttributes::NumberingNone);
    EXPECT_EQ(para.LeftIndent(), 0);
    EXPECT_EQ(edit.document()->lastBlock().textList(), nullptr);
}

TEST(ParaAttributes, SettingATabRaisesTheCount)
{
    TQvEdit edit;
    edit.SetPlainText(false);
    edit.SetText("a\tb\tc");
    TParaAttributes& para = *edit.Paragraph();
    EXPECT_EQ(para.TabCount(), 0);
    para.SetTab(2, 72);
    EXPECT_EQ(para.TabCount(), 3);
    EXPECT_EQ(para.Tab(2), 72);
    EXPECT_EQ(para.Tab(0), 0);
    para.SetTab(0, 36);
    EXPECT_EQ(para.TabCount(), 3);
    EXPECT_EQ(para.Tab(0), 36);
    const QList<QTextOption::Tab> tabs = edit.document()->firstBlock().blockFormat().tabPositions();
    ASSERT_EQ(tabs.size(), 3);
    EXPECT_DOUBLE_EQ(tabs[0].position, TwipsToPixels(36 * 20));
    EXPECT_DOUBLE_EQ(tabs[2].position, TwipsToPixels(72 * 20));
    EXPECT_THROW(para.Tab(32), std::out_of_range);
    EXPECT_THROW(para.SetTab(-1, 10), std::out_of_range);
}

TEST(ParaAttributes, TabsAreMeasuredFromTheLeftEdgeWhateverTheIndent)
{
    TQvEdit edit;
    edit.SetPlainText(false);
    edit.SetText("x\ty");
    TParaAttributes& para = *edit.Paragraph();
    para.SetFirstIndent(20);
    para.SetTab(0, 100);
    EXPECT_EQ(para.Tab(0), 100);
    // The layout puts the text after the tab 100 points from the left edge.
    edit.resize(600, 100);
    edit.document()->setDocumentMargin(0);
    QTextCursor afterTab(edit.document());
    afterTab.setPosition(2);
    const QTextBlock block = edit.document()->firstBlock();
    edit.document()->documentLayout()->blockBoundingRect(block);
    const QTextLine line = block.layout()->lineAt(0);
    EXPECT_NEAR(line.cursorToX(2), TwipsToPixels(100 * 20), 1.0);
}

TEST(ParaAttributes, AssignCopiesEveryPropertyInOrder)
{
    TQvEdit source;
    source.SetPlainText(false);
    source.SetText("source");
    source.Paragraph()->SetAlignment(TQvEdit::taCenter);
    source.Paragraph()->SetFirstIndent(12);
    source.Paragraph()->SetRightIndent(6);
    source.Paragraph()->SetNumbering(TParaAttributes::NumberingBullet);
    source.Paragraph()->SetTab(1, 144);
    TQvEdit dest;
    dest.SetPlainText(false);
    dest.SetText("dest");
    dest.Paragraph()->Assign(*source.Paragraph());
    EXPECT_EQ(dest.Paragraph()->Alignment(), TQvEdit::taCenter);
    EXPECT_EQ(dest.Paragraph()->FirstIndent(), 12);
    EXPECT_EQ(dest.Paragraph()->LeftIndent(), 10);
    EXPECT_EQ(dest.Paragraph()->RightIndent(), 6);
    EXPECT_EQ(dest.Paragraph()->Numbering(), TParaAttributes::NumberingBullet);
    EXPECT_EQ(dest.Paragraph()->Tab(1), 144);
    EXPECT_EQ(dest.Paragraph()->TabCount(), TParaAttributes::MaxTabs);
}

TEST(ParaAttributes, PlainTextFormatsEveryParagraph)
{
    TQvEdit edit;
    edit.SetText("one\ntwo\nthree");
    edit.SetSelStart(0);
    edit.Paragraph()->SetAlignment(TQvEdit::taRightJustify);
    EXPECT_EQ(edit.document()->lastBlock().blockFormat().alignment(), Qt::AlignRight);
}
