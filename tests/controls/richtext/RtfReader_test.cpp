#include "controls/richtext/RtfReader.h"
#include "controls/richtext/qvtext.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QFile>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <climits>
#include <cmath>
#include <gtest/gtest.h>
#include <random>

// data/libreoffice.rtf was written by LibreOffice 7.4 from data/sample.html
// (soffice --headless --convert-to rtf), data/pandoc.rtf by pandoc from data/sample.md (-s -t rtf).
// data/word.rtf is written in Word's own way (Word 2013 and later): the theme fonts, style sheet, list
// table, revision ids, a header, list bullets in Symbol and Wingdings, hidden text, fields and the
// trailing theme data, with \r\n breaks every line or so.

namespace {

QByteArray DataFile(const char* name)
{
    QFile file(qEnvironmentVariable("SIFTON_SOURCE") + "/tests/controls/richtext/data/" + name);
    if (!file.open(QIODevice::ReadOnly)) {
        ADD_FAILURE() << "cannot read " << name;
        return {};
    }
    return file.readAll();
}

QString Read(QByteArrayView rtf)
{
    QTextDocument document;
    ReadRtf(rtf, document);
    // Raw text keeps non-breaking spaces and line separators apart from their plain forms.
    return document.toRawText().replace(QChar::ParagraphSeparator, u'\n');
}

// The formats at the first occurrence of a text.
struct TFound {
    QTextCharFormat Char;
    QTextBlockFormat Block;
    bool Ok = false;
};

TFound FormatOf(const QTextDocument& document, const QString& text)
{
    const QTextCursor found = document.find(text);
    TFound result;
    if (found.isNull()) {
        ADD_FAILURE() << "not in the document: " << text.toStdString();
        return result;
    }
    QTextCursor c(const_cast<QTextDocument*>(&document));
    c.setPosition(found.selectionStart() + 1);
    result.Char = c.charFormat();
    result.Block = c.blockFormat();
    result.Ok = true;
    return result;
}

// What WordPad writes for a small readme.
const char* const WordPadReadme =
    "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1033{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}"
    "{\\f1\\fnil\\fcharset2 Symbol;}{\\f2\\fmodern\\fcharset0 Courier New;}}\r\n"
    "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green128\\blue0;\\red255\\green255\\blue0;}\r\n"
    "{\\*\\generator Msftedit 5.41.21.2510;}\\viewkind4\\uc1\\pard\\qc\\b\\f0\\fs32 Title\\b0\\fs20\\par\r\n"
    "\\pard\\qr Right\\par\r\n"
    "\\pard\\qj\\li720\\ri360\\fi-360\\sb120\\sa240 Body with \\b bold\\b0 , \\i italic\\i0 , \\ul "
    "under\\ulnone , "
    "\\strike gone\\strike0 , \\cf1 red\\cf0 , \\highlight3 marked\\highlight0 , \\f2\\fs28 mono\\f0\\fs20 "
    ".\\par\r\n"
    "\\pard\\tx1440\\tqr\\tx4320 a\\tab b\\tab c\\par\r\n"
    "{\\pntext\\f1\\'b7\\tab}{\\*\\pn\\pnlvlblt\\pnf1\\pnindent0{\\pntxtb\\'b7}}\\fi-360\\li720 Bullet "
    "one\\par\r\n"
    "{\\pntext\\f1\\'b7\\tab}Bullet two\\par\r\n"
    "\\pard caf\\'e9 costs \\u8364?5\\par\r\n"
    "}\r\n";

} // namespace

TEST(RtfReader, WordPadReadmeKeepsItsAttributes)
{
    QTextDocument document;
    ReadRtf(WordPadReadme, document);
    EXPECT_EQ(document.toPlainText(),
              "Title\nRight\nBody with bold, italic, under, gone, red, marked, mono.\na\tb\tc\n"
              "\u2022\tBullet one\n\u2022\tBullet two\ncaf\u00e9 costs \u20ac5");

    const TFound title = FormatOf(document, "Title");
    EXPECT_EQ(title.Block.alignment(), Qt::AlignHCenter);
    EXPECT_EQ(title.Char.fontWeight(), QFont::Bold);
    EXPECT_EQ(title.Char.fontPointSize(), 16);
    EXPECT_EQ(title.Char.fontFamilies().toStringList(), QStringList{"Arial"});

    EXPECT_EQ(FormatOf(document, "Right").Block.alignment(), Qt::AlignRight);

    const TFound body = FormatOf(document, "Body");
    EXPECT_EQ(body.Block.alignment(), Qt::AlignJustify);
    EXPECT_DOUBLE_EQ(body.Block.leftMargin(), TwipsToPixels(720));
    EXPECT_DOUBLE_EQ(body.Block.rightMargin(), TwipsToPixels(360));
    EXPECT_DOUBLE_EQ(body.Block.textIndent(), TwipsToPixels(-360));
    EXPECT_DOUBLE_EQ(body.Block.topMargin(), TwipsToPixels(120));
    EXPECT_DOUBLE_EQ(body.Block.bottomMargin(), TwipsToPixels(240));
    EXPECT_EQ(body.Char.fontWeight(), QFont::Normal);
    EXPECT_EQ(body.Char.fontPointSize(), 10);

    EXPECT_EQ(FormatOf(document, "bold").Char.fontWeight(), QFont::Bold);
    EXPECT_TRUE(FormatOf(document, "italic").Char.fontItalic());
    EXPECT_FALSE(FormatOf(document, "italic").Char.fontUnderline());
    EXPECT_TRUE(FormatOf(document, "under").Char.fontUnderline());
    EXPECT_TRUE(FormatOf(document, "gone").Char.fontStrikeOut());
    EXPECT_EQ(FormatOf(document, "red").Char.foreground().color(), QColor(255, 0, 0));
    EXPECT_FALSE(FormatOf(document, ", red").Char.hasProperty(QTextFormat::ForegroundBrush));
    EXPECT_EQ(FormatOf(document, "marked").Char.background().color(), QColor(255, 255, 0));
    const TFound mono = FormatOf(document, "mono");
    EXPECT_EQ(mono.Char.fontFamilies().toStringList(), QStringList{"Courier New"});
    EXPECT_EQ(mono.Char.fontPointSize(), 14);

    const QList<QTextOption::Tab> tabs = FormatOf(document, "a\tb").Block.tabPositions();
    ASSERT_EQ(tabs.size(), 2);
    EXPECT_DOUBLE_EQ(tabs[0].position, TwipsToPixels(1440));
    EXPECT_EQ(tabs[0].type, QTextOption::LeftTab);
    EXPECT_DOUBLE_EQ(tabs[1].position, TwipsToPixels(4320));
    EXPECT_EQ(tabs[1].type, QTextOption::RightTab);

    const TFound bullet = FormatOf(document, "Bullet one");
    EXPECT_DOUBLE_EQ(bullet.Block.leftMargin(), TwipsToPixels(720));
    EXPECT_DOUBLE_EQ(bullet.Block.textIndent(), TwipsToPixels(-360));
}

TEST(RtfReader, LibreOfficeDocument)
{
    QTextDocument document;
    ReadRtf(DataFile("libreoffice.rtf"), document);
    EXPECT_EQ(
        document.toPlainText(),
        "Sample Readme\nPlain start, bold words, italic words, underlined, struck.\n"
        "Right aligned paragraph.\nRed text and big text.\nAccents: caf\u00e9, price 5 \u20ac, tab: end.\n"
        "\u2022\tFirst bullet\n\u2022\tSecond bullet\nIndented paragraph.");
    const TFound heading = FormatOf(document, "Sample Readme");
    EXPECT_EQ(heading.Block.alignment(), Qt::AlignHCenter);
    EXPECT_EQ(heading.Char.fontWeight(), QFont::Bold);
    EXPECT_EQ(heading.Char.fontPointSize(), 24);
    EXPECT_EQ(heading.Char.fontFamilies().toStringList(), QStringList{"Liberation Sans Unicode MS"});
    EXPECT_EQ(FormatOf(document, "bold words").Char.fontWeight(), QFont::Bold);
    EXPECT_TRUE(FormatOf(document, "italic words").Char.fontItalic());
    EXPECT_TRUE(FormatOf(document, "underlined").Char.fontUnderline());
    EXPECT_TRUE(FormatOf(document, "struck").Char.fontStrikeOut());
    EXPECT_EQ(FormatOf(document, "Right aligned").Block.alignment(), Qt::AlignRight);
    EXPECT_EQ(FormatOf(document, "Red text").Char.foreground().color(), QColor(255, 0, 0));
    EXPECT_EQ(FormatOf(document, "big text").Char.fontPointSize(), 20);
    EXPECT_DOUBLE_EQ(FormatOf(document, "Indented").Block.leftMargin(), TwipsToPixels(1440));
    const TFound bullet = FormatOf(document, "First bullet");
    EXPECT_DOUBLE_EQ(bullet.Block.leftMargin(), TwipsToPixels(709));
    EXPECT_DOUBLE_EQ(bullet.Block.textIndent(), TwipsToPixels(-283));
}

TEST(RtfReader, PandocDocument)
{
    QTextDocument document;
    ReadRtf(DataFile("pandoc.rtf"), document);
    EXPECT_EQ(
        document.toPlainText(),
        "Sample Readme\nPlain start, bold words, italic words, struck.\nAccents: caf\u00e9, price 5 \u20ac.\n"
        "\u2022\tFirst bullet\n\u2022\tSecond bullet\n1.\tOne\n2.\tTwo\nA quote paragraph.\n"
        "Visit https://example.com/page for more.");
    EXPECT_EQ(FormatOf(document, "Sample Readme").Char.fontPointSize(), 18);
    EXPECT_EQ(FormatOf(document, "Sample Readme").Char.fontFamilies().toStringList(),
              QStringList{"Helvetica"});
    EXPECT_TRUE(FormatOf(document, "https://example.com").Char.fontUnderline());
    EXPECT_FALSE(FormatOf(document, " for more").Char.fontUnderline());
    EXPECT_DOUBLE_EQ(FormatOf(document, "A quote").Block.leftMargin(), TwipsToPixels(720));
}

TEST(RtfReader, WordDocument)
{
    QTextDocument document;
    ReadRtf(DataFile("word.rtf"), document);
    EXPECT_EQ(document.toPlainText(),
              "Sample Readme\nPlain start, bold words, italic words, underlined, struck.\n"
              "Right aligned paragraph.\nRed text and big text.\n"
              "Accents: caf\u00e9, price 5 \u20ac, quoted \u201cwords\u201d, tab:\tend.\n"
              "\u2022\tFirst bullet\n\u2022\tSecond bullet\n\u25aa\tSquare bullet\n\u27a2\tArrow bullet\n"
              "\u2714\tCheck bullet\nIndented paragraph with a link and a symbol \u2022.");
    const TFound heading = FormatOf(document, "Sample Readme");
    EXPECT_EQ(heading.Block.alignment(), Qt::AlignHCenter);
    EXPECT_EQ(heading.Char.fontWeight(), QFont::Bold);
    EXPECT_EQ(heading.Char.fontPointSize(), 16);
    EXPECT_EQ(heading.Char.fontFamilies().toStringList(), QStringList{"Calibri Light"});
    const TFound body = FormatOf(document, "Plain start");
    EXPECT_EQ(body.Char.fontFamilies().toStringList(), QStringList{"Calibri"});
    EXPECT_EQ(body.Char.fontPointSize(), 11);
    EXPECT_DOUBLE_EQ(body.Block.bottomMargin(), TwipsToPixels(160));
    EXPECT_EQ(FormatOf(document, "bold words").Char.fontWeight(), QFont::Bold);
    EXPECT_TRUE(FormatOf(document, "italic words").Char.fontItalic());
    EXPECT_TRUE(FormatOf(document, "underlined").Char.fontUnderline());
    EXPECT_TRUE(FormatOf(document, "struck").Char.fontStrikeOut());
    EXPECT_EQ(FormatOf(document, "Right aligned").Block.alignment(), Qt::AlignRight);
    EXPECT_EQ(FormatOf(document, "Red text").Char.foreground().color(), QColor(255, 0, 0));
    EXPECT_EQ(FormatOf(document, "big text").Char.fontPointSize(), 20);
    const TFound bullet = FormatOf(document, "Square bullet");
    EXPECT_DOUBLE_EQ(bullet.Block.leftMargin(), TwipsToPixels(720));
    EXPECT_DOUBLE_EQ(bullet.Block.textIndent(), TwipsToPixels(-360));
    EXPECT_DOUBLE_EQ(FormatOf(document, "Indented").Block.leftMargin(), TwipsToPixels(1440));
    EXPECT_TRUE(FormatOf(document, "link").Char.fontUnderline());
    EXPECT_DOUBLE_EQ(document.defaultTextOption().tabStopDistance(), TwipsToPixels(720));
}

// Where the text after the first tab of a document's only line starts, from the line's start.
double XAfterTab(QByteArrayView rtf)
{
    QTextDocument document;
    ReadRtf(rtf, document);
    document.setTextWidth(2000);
    const QTextBlock block = document.firstBlock();
    document.documentLayout()->blockBoundingRect(block); // lays the block out
    const QTextLayout* layout = block.layout();
    if (layout == nullptr || layout->lineCount() == 0) {
        ADD_FAILURE() << "the block was not laid out";
        return -1;
    }
    const QTextLine line = layout->lineAt(0);
    return line.cursorToX(static_cast<int>(block.text().indexOf(u'\t')) + 1) - line.x();
}

TEST(RtfReader, DeftabSetsTheDefaultTabStops)
{
    EXPECT_NEAR(XAfterTab("{\\rtf1\\deftab1440 a\\tab b}"), TwipsToPixels(1440), 0.5);
    EXPECT_NEAR(XAfterTab("{\\rtf1\\deftab360 a\\tab\\tab b}"), TwipsToPixels(360), 0.5);
}

TEST(RtfReader, WithoutDeftabTabStopsAreHalfAnInchApart)
{
    EXPECT_NEAR(XAfterTab("{\\rtf1 a\\tab b}"), TwipsToPixels(720), 0.5);
}

TEST(RtfReader, ProgramReadmeReadsAsRichText)
{
    QTextDocument document;
    ReadRtf(DataFile("../../../../resources/Readme.RTF"), document);
    const QString text = document.toPlainText();
    EXPECT_TRUE(text.startsWith("Sifton\n")) << text.left(80).toStdString();
    EXPECT_FALSE(text.contains("Sifton Readme")); // the \info group is not text
    EXPECT_FALSE(text.contains('\\'));
    EXPECT_EQ(FormatOf(document, "Sifton").Char.fontWeight(), QFont::Bold);
}

// ---- small inputs ------------------------------------------------------------------------------

struct SnippetCase {
    const char* name;
    const char* rtf;
    const char* text; // UTF-8
};

class RtfSnippets : public ::testing::TestWithParam<SnippetCase> { };

TEST_P(RtfSnippets, ReadAsText)
{
    const SnippetCase& c = GetParam();
    EXPECT_EQ(Read(c.rtf), QString::fromUtf8(c.text));
}

INSTANTIATE_TEST_SUITE_P(
    , RtfSnippets,
    ::testing::Values(
        SnippetCase{"EscapedSymbols", "{\\rtf1 a\\{b\\}c\\\\d}", "a{b}c\\d"},
        SnippetCase{"NonBreakingAndHyphens", "{\\rtf1 a\\~b\\-c\\_d}", "a\u00a0bc\u2011d"},
        SnippetCase{"HexInCodePage1252", "{\\rtf1\\ansi caf\\'e9 \\'80\\'93}", "caf\u00e9 \u20ac\u201c"},
        SnippetCase{"HexInCodePage1251", "{\\rtf1\\ansi\\ansicpg1251 \\'c0\\'e1}", "\u0410\u0431"},
        SnippetCase{"FontCharsetPicksCodePage",
                    "{\\rtf1{\\fonttbl{\\f0 Arial;}{\\f1\\fcharset204 Arial Cyr;}}\\f1 \\'c0\\f0 \\'c0}",
                    "\u0410\u00c0"},
        SnippetCase{"SymbolBullet", "{\\rtf1{\\fonttbl{\\f1\\fcharset2 Symbol;}}{\\f1 \\'b7}x}", "\u2022x"},
        SnippetCase{"SymbolLettersAreGreek", "{\\rtf1{\\fonttbl{\\f1\\fcharset2 Symbol;}}{\\f1 abgW}x}",
                    "\u03b1\u03b2\u03b3\u03a9x"},
        SnippetCase{"SymbolMarks",
                    "{\\rtf1{\\fonttbl{\\f1\\fcharset2 Symbol;}}\\f1 \\'a7\\'ae\\'b0\\'b3\\'d6\\'de}",
                    "\u2663\u2192\u00b0\u2265\u221a\u21d2"},
        SnippetCase{"WingdingsBullets",
                    "{\\rtf1{\\fonttbl{\\f2\\fnil\\fcharset2 Wingdings;}}{\\f2 "
                    "\\'a7\\'d8\\'fc\\'76\\'6c\\'6e\\'71}x}",
                    "\u25aa\u27a2\u2714\u2756\u25cf\u25a0\u2751x"},
        SnippetCase{"WingdingsNamedWithoutSymbolCharset", "{\\rtf1{\\fonttbl{\\f2 Wingdings;}}\\f2 \\'a7}",
                    "\u25aa"},
        SnippetCase{"SymbolFontCharactersAsUnicode",
                    "{\\rtf1{\\fonttbl{\\f1\\fcharset2 Symbol;}{\\f2\\fcharset2 "
                    "Wingdings;}}{\\f1\\u-3913?}{\\f2\\u-3929?}}",
                    "\u2022\u25aa"},
        SnippetCase{"OtherSymbolFontsReadAsBefore", "{\\rtf1{\\fonttbl{\\f3\\fcharset2 Marlett;}}\\f3 \\'a7}",
                    "\u00a7"},
        SnippetCase{"HiddenTextIsNotShown", "{\\rtf1 a{\\v hidden}b\\v c\\v0 d}", "abd"},
        SnippetCase{"PlainEndsHiddenText", "{\\rtf1 \\v x\\plain y}", "y"},
        SnippetCase{"HiddenParagraphMarkStillBreaks", "{\\rtf1 a{\\v note}\\par b}", "a\nb"},
        SnippetCase{"Utf8ByteOrderMarkBeforeTheHeader", "\xEF\xBB\xBF{\\rtf1\\ansi caf\\'e9}", "caf\u00e9"},
        SnippetCase{"Utf8ByteOrderMarkThenBlankLine", "\xEF\xBB\xBF\r\n{\\rtf1 ok}", "ok"},
        SnippetCase{"UnicodeSkipsOneFallback", "{\\rtf1 \\u8364?5}", "\u20ac5"},
        SnippetCase{"UnicodeSkipsTwoHexFallbacks", "{\\rtf1\\uc2 \\u8364\\'80\\'80x}", "\u20acx"},
        SnippetCase{"UnicodeNoFallback", "{\\rtf1\\uc0 \\u8364 x}", "\u20acx"},
        SnippetCase{"UnicodeNegative", "{\\rtf1 \\u-4064?}", "\uf020"},
        SnippetCase{"UnicodeSkipEndsAtGroup", "{\\rtf1\\uc3 {\\u8364}abc}", "\u20acabc"},
        SnippetCase{"SurrogatePair", "{\\rtf1 \\u-10179?\\u-8704?}", "\U0001F600"},
        SnippetCase{"LineAndTab", "{\\rtf1 a\\line b\\tab c}", "a\u2028b\tc"},
        SnippetCase{"LiteralTabStaysInPlace", "{\\rtf1 ab\tc}", "ab\tc"},
        SnippetCase{"SourceLineEndsAreNotText", "{\\rtf1 a\r\nb\nc}", "abc"},
        SnippetCase{"BackslashNewlineIsParagraph", "{\\rtf1 a\\\nb}", "a\nb"},
        SnippetCase{"FinalParDoesNotAddALine", "{\\rtf1 a\\par b\\par}", "a\nb"},
        SnippetCase{"EmptyParagraphsStay", "{\\rtf1 a\\par\\par b}", "a\n\nb"},
        SnippetCase{"IgnorableUnknownDestination", "{\\rtf1 a{\\*\\unknownthing secret}b}", "ab"},
        SnippetCase{"UnknownControlWordIgnored", "{\\rtf1 a\\frobnicate42 b}", "ab"},
        SnippetCase{"InfoAndStylesheetSkipped",
                    "{\\rtf1{\\info{\\title T}{\\author A}}{\\stylesheet{\\s0 Normal;}}x}", "x"},
        SnippetCase{"PictureSkipped", "{\\rtf1 a{\\pict\\pngblip 89504e47}b}", "ab"},
        SnippetCase{"ObjectSkipped", "{\\rtf1 a{\\object\\objemb{\\*\\objdata 0102}{\\result{\\pict 00}}}b}",
                    "ab"},
        SnippetCase{"HeaderFooterSkipped", "{\\rtf1{\\header head}{\\footer foot}body}", "body"},
        SnippetCase{"BinaryDataSkipped", "{\\rtf1 a{\\pict\\bin4 }{\\}}b}", "ab"},
        SnippetCase{"FieldShowsItsResult",
                    "{\\rtf1 {\\field{\\*\\fldinst HYPERLINK \"http://x\"}{\\fldrslt link}}}", "link"},
        SnippetCase{"TableCellsBecomeTabs", "{\\rtf1\\trowd\\cellx100\\cellx200 a\\cell b\\cell\\row c}",
                    "a\tb\t\nc"},
        SnippetCase{"SpecialCharacters",
                    "{\\rtf1 \\emdash\\endash\\bullet\\lquote\\rquote\\ldblquote\\rdblquote}",
                    "\u2014\u2013\u2022\u2018\u2019\u201c\u201d"},
        SnippetCase{"UnbalancedCloseBraces", "{\\rtf1 a}}}b}", "ab"},
        SnippetCase{"TruncatedFile", "{\\rtf1{\\fonttbl{\\f0 Arial;}}\\f0 abc{\\b de", "abcde"},
        SnippetCase{"TruncatedControlWord", "{\\rtf1 abc\\", "abc"},
        SnippetCase{"TruncatedHex", "{\\rtf1 abc\\'e", "abc"},
        SnippetCase{"HugeNumbers",
                    "{\\rtf1\\fs999999999999999999 a\\li-99999999999999 b\\uc99999999999 \\u65 c}", "abA"},
        SnippetCase{"NotRtfIsPlainText", "hello\r\nworld", "hello\nworld"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RtfReader, NestedGroupsRestoreFormatting)
{
    QTextDocument document;
    ReadRtf("{\\rtf1 a{\\b b{\\i c}d}e\\b f\\plain g}", document);
    EXPECT_EQ(document.toPlainText(), "abcdefg");
    EXPECT_EQ(FormatOf(document, "a").Char.fontWeight(), QFont::Normal);
    EXPECT_EQ(FormatOf(document, "c").Char.fontWeight(), QFont::Bold);
    EXPECT_TRUE(FormatOf(document, "c").Char.fontItalic());
    EXPECT_FALSE(FormatOf(document, "d").Char.fontItalic());
    EXPECT_EQ(FormatOf(document, "e").Char.fontWeight(), QFont::Normal);
    EXPECT_EQ(FormatOf(document, "f").Char.fontWeight(), QFont::Bold);
    EXPECT_EQ(FormatOf(document, "g").Char.fontWeight(), QFont::Normal);
}

TEST(RtfReader, DeepNestingIsReadWithoutExhaustingTheStack)
{
    const int depth = 200000;
    QByteArray rtf = "{\\rtf1 ";
    rtf += QByteArray(depth, '{') + "\\b deep" + QByteArray(depth, '}') + " after}";
    EXPECT_EQ(Read(rtf), "deep after");
}

TEST(RtfReader, HugeBinaryLengthEndsTheInput)
{
    EXPECT_EQ(Read("{\\rtf1 a\\bin2147483647 rest"), "a");
}

// Measurements past the widest page are taken as the widest page, so that the layout never meets
// lengths it cannot add up (an indent of 2^31 twips once overflowed the first line's start).
struct TMeasureCase {
    const char* Name;
    const char* Rtf;
    double (*Read)(const QTextBlockFormat&);
    double Expected; // twips
};

class RtfMeasureClamp : public ::testing::TestWithParam<TMeasureCase> { };

TEST_P(RtfMeasureClamp, HugeParagraphMeasurementIsTheWidestPage)
{
    QTextDocument document;
    ReadRtf(GetParam().Rtf, document);
    document.setTextWidth(300);
    EXPECT_DOUBLE_EQ(GetParam().Read(document.firstBlock().blockFormat()),
                     TwipsToPixels(int(GetParam().Expected)));
    // The document still lays out to a finite height.
    EXPECT_LT(document.size().height(), 1e6);
}

INSTANTIATE_TEST_SUITE_P(
    RtfReader, RtfMeasureClamp,
    ::testing::Values(
        TMeasureCase{"Left", "{\\rtf1\\li2147483647 x\\tab y}",
                     [](const QTextBlockFormat& f) { return f.leftMargin(); }, MaxMeasureTwips},
        TMeasureCase{"LeftNegative", "{\\rtf1\\li-2147483648 x}",
                     [](const QTextBlockFormat& f) { return f.leftMargin(); }, -MaxMeasureTwips},
        TMeasureCase{"Right", "{\\rtf1\\ri99999999 x}",
                     [](const QTextBlockFormat& f) { return f.rightMargin(); }, MaxMeasureTwips},
        TMeasureCase{"FirstWithLeft", "{\\rtf1\\li2147483647\\fi2147483647\\tx100 x\\tab y}",
                     [](const QTextBlockFormat& f) { return f.textIndent(); }, MaxMeasureTwips},
        TMeasureCase{"HangingFirst", "{\\rtf1\\fi-2147483648 x\\tab y}",
                     [](const QTextBlockFormat& f) { return f.tabPositions().value(0).position; },
                     MaxMeasureTwips},
        TMeasureCase{"SpaceBefore", "{\\rtf1\\sb2147483647 x}",
                     [](const QTextBlockFormat& f) { return f.topMargin(); }, MaxMeasureTwips},
        TMeasureCase{"SpaceAfter", "{\\rtf1\\sa2147483647 x}",
                     [](const QTextBlockFormat& f) { return f.bottomMargin(); }, MaxMeasureTwips},
        TMeasureCase{"TabStop", "{\\rtf1\\tx2147483647 x\\tab y}",
                     [](const QTextBlockFormat& f) { return f.tabPositions().value(0).position; },
                     MaxMeasureTwips}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(RtfReader, LastParagraphWithoutParKeepsItsFormat)
{
    QTextDocument document;
    ReadRtf("{\\rtf1\\pard\\qc\\li720 first\\par\\qr\\li1440 last}", document);
    ASSERT_EQ(document.blockCount(), 2);
    EXPECT_EQ(document.lastBlock().blockFormat().alignment(), Qt::AlignRight);
    EXPECT_DOUBLE_EQ(document.lastBlock().blockFormat().leftMargin(), TwipsToPixels(1440));
    EXPECT_EQ(document.firstBlock().blockFormat().alignment(), Qt::AlignHCenter);
}

TEST(RtfReader, HugeTwipsFromPixelsStayWithinInt)
{
    EXPECT_EQ(PixelsToTwips(1e300), INT_MAX);
    EXPECT_EQ(PixelsToTwips(-1e300), INT_MIN);
    EXPECT_EQ(PixelsToTwips(std::nan("")), 0);
    EXPECT_EQ(PixelsToTwips(2.0), 30);
}

TEST(RtfReader, ReadingStopsOnceTheLimitIsMet)
{
    QByteArray rtf = "{\\rtf1 ";
    for (int i = 0; i < 2000; ++i) {
        rtf += "line {\\b bold} text\\par ";
    }
    QTextDocument document;
    ReadRtf(rtf + "}", document, 1000);
    EXPECT_GE(document.characterCount(), 1000);
    EXPECT_LE(document.characterCount(), 1010);
    // Plain text under the same limit.
    QTextDocument plain;
    ReadRtf(QByteArray(100000, 'p'), plain, 1000);
    EXPECT_GE(plain.characterCount(), 1000);
    EXPECT_LE(plain.characterCount(), 4010);
}

// ---- no crash, no hang -------------------------------------------------------------------------

TEST(RtfReaderFuzz, RandomAndMutatedInputsNeverCrash)
{
    const std::vector<QByteArray> seeds = {WordPadReadme, DataFile("libreoffice.rtf"),
                                           DataFile("pandoc.rtf")};
    const QByteArray alphabet = "{}\\'*;0123456789-abcdefuxbin \r\n\t\x80\xff";
    std::mt19937 random(20261207);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(std::max(1, n))); };
    int nonEmpty = 0;
    for (int round = 0; round < 4000; ++round) {
        QByteArray input;
        if (round % 4 == 0) {
            // Random bytes with an RTF header, so that the reader rather than the plain-text path runs.
            input = "{\\rtf1 ";
            const int n = pick(400);
            for (int i = 0; i < n; ++i) {
                input += round % 8 == 0 ? static_cast<char>(pick(256)) : alphabet[pick(alphabet.size())];
            }
        } else {
            input = seeds[round % seeds.size()];
            const int edits = 1 + pick(20);
            for (int e = 0; e < edits && !input.isEmpty(); ++e) {
                const int at = pick(input.size());
                switch (pick(5)) {
                case 0:
                    input[at] = static_cast<char>(pick(256));
                    break;
                case 1:
                    input.insert(at, alphabet[pick(alphabet.size())]);
                    break;
                case 2:
                    input.remove(at, 1 + pick(40));
                    break;
                case 3:
                    input.insert(at, input.mid(pick(input.size()), pick(60)));
                    break;
                default:
                    input.truncate(at);
                    break;
                }
            }
        }
        QTextDocument document;
        ReadRtf(input, document);
        if (!document.isEmpty()) {
            ++nonEmpty;
        }
        // The result is an ordinary document that can be laid out and edited.
        QTextCursor c(&document);
        c.movePosition(QTextCursor::End);
        c.insertText("x");
        ASSERT_GE(document.characterCount(), 2);
    }
    // Most mutated inputs still hold readable text.
    EXPECT_GT(nonEmpty, 2000);
}

// ---- the control reads rich text when PlainText is off -------------------------------------------

TEST(QvEditRich, LoadFromFileReadsRtfWhenPlainTextIsOff)
{
    QFile::copy(qEnvironmentVariable("SIFTON_SOURCE") + "/tests/controls/richtext/data/pandoc.rtf",
                "pandoc-copy.txt");
    TQvEdit edit;
    edit.SetPlainText(false);
    ASSERT_TRUE(edit.LoadFromFile("pandoc-copy.txt")); // the extension does not decide
    EXPECT_TRUE(edit.Text().startsWith("Sample Readme\n"));
    EXPECT_FALSE(edit.Modified());
    QFile::remove("pandoc-copy.txt");
}

TEST(QvEditRich, RichLoadStopsAtMaxLength)
{
    QByteArray rtf = "{\\rtf1 " + QByteArray(100, 'a') + "\\par " + QByteArray(100, 'b') + "}";
    QBuffer stream(&rtf);
    stream.open(QIODevice::ReadOnly);
    TQvEdit edit;
    edit.SetPlainText(false);
    edit.SetMaxLength(150);
    edit.LoadFromStream(stream);
    EXPECT_EQ(edit.TextLength(), 150);
    EXPECT_EQ(edit.Text(), QString(100, 'a') + "\n" + QString(49, 'b'));
}

TEST(QvEditRich, SingleLineKeepsTheFirstParagraph)
{
    QByteArray rtf = "{\\rtf1 {\\b first}\\par second}";
    QBuffer stream(&rtf);
    stream.open(QIODevice::ReadOnly);
    TQvEdit edit;
    edit.SetMultiLine(false);
    edit.SetPlainText(false);
    edit.LoadFromStream(stream);
    EXPECT_EQ(edit.Text(), "first");
}
