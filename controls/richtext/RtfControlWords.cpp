// What the RTF reader does on control words and control symbols: destinations, the font and
// colour tables, document settings, special characters, character and paragraph formatting.

#include "controls/richtext/RtfReader.h"
#include "controls/richtext/RtfReaderState.h"

#include <algorithm>

namespace {

// A paragraph measurement in twips, within what the layout takes.
int Measure(int twips, int least)
{
    return std::clamp(twips, least, MaxMeasureTwips);
}

} // namespace

namespace Rtf {

void TRtfReader::ControlSymbol(char symbol)
{
    switch (symbol) {
    case '\\':
    case '{':
    case '}':
        Byte(static_cast<unsigned char>(symbol));
        break;
    case '~':
        FlushBytes();
        Char(QChar(0x00A0));
        break;
    case '_':
        FlushBytes();
        Char(QChar(0x2011));
        break;
    case '-': // an optional hyphen shows nothing
        break;
    case '*':
        State().Ignorable = true;
        break;
    case '\r':
    case '\n':
        if (State().Destination == TDestination::Text) {
            EndParagraph();
        }
        break;
    case '\t':
        FlushBytes();
        Char(u'\t');
        break;
    default:
        break;
    }
}

// Inside an \object group: the object's data, and its \result, which shows only when the object
// cannot be shown itself.
void TRtfReader::ObjectWord(std::string_view word, bool ignorable)
{
    TGroupState& s = State();
    if (word == "objemb") {
        FObject.SetEmbedded();
    } else if (word == "objdata") {
        s.Destination = TDestination::ObjectData;
    } else if (word == "result") {
        FlushText();
        s.Destination = FObject.Insert(FCursor) ? TDestination::Skip : TDestination::Text;
    } else if (ignorable) {
        s.Destination = TDestination::Skip;
    }
}

void TRtfReader::ControlWord(std::string_view word, bool hasParam, int param)
{
    // Text read so far takes the formatting it was read under and stands before what this word adds;
    // nothing below adds bytes, so this one flush serves every word.
    FlushBytes();
    TGroupState& s = State();
    const bool wasIgnorable = s.Ignorable;
    s.Ignorable = false;
    const int on = hasParam ? param : 1; // \b and \b0

    // A control word counts as one fallback character after \uN.
    if (FSkipCount > 0) {
        --FSkipCount;
        return;
    }

    // Destinations
    static const std::vector<std::string_view> skipped = {"info",
                                                          "stylesheet",
                                                          "pict",
                                                          "header",
                                                          "footer",
                                                          "headerl",
                                                          "headerr",
                                                          "headerf",
                                                          "footerl",
                                                          "footerr",
                                                          "footerf",
                                                          "fldinst",
                                                          "listtable",
                                                          "listoverridetable",
                                                          "revtbl",
                                                          "rsidtbl",
                                                          "pn",
                                                          "xe",
                                                          "tc",
                                                          "footnote",
                                                          "annotation",
                                                          "atnid",
                                                          "atnauthor",
                                                          "bkmkstart",
                                                          "bkmkend",
                                                          "nonshppict",
                                                          "shpinst",
                                                          "themedata",
                                                          "colorschememapping",
                                                          "latentstyles",
                                                          "datastore",
                                                          "xmlnstbl",
                                                          "mmathPr",
                                                          "generator",
                                                          "userprops",
                                                          "docvar",
                                                          "ftnsep",
                                                          "ftnsepc",
                                                          "ftncn",
                                                          "aftnsep",
                                                          "aftnsepc",
                                                          "aftncn",
                                                          "template",
                                                          "pgdsctbl",
                                                          "filetbl",
                                                          "private",
                                                          "fchars",
                                                          "lchars",
                                                          "author",
                                                          "title",
                                                          "subject",
                                                          "keywords",
                                                          "comment",
                                                          "doccomm",
                                                          "company",
                                                          "operator",
                                                          "manager",
                                                          "category",
                                                          "hlinkbase",
                                                          "creatim",
                                                          "revtim",
                                                          "printim",
                                                          "buptim",
                                                          "panose",
                                                          "falt",
                                                          "txe",
                                                          "pgdsc",
                                                          "picprop",
                                                          "blipuid",
                                                          "do",
                                                          "sp"};
    if (std::find(skipped.begin(), skipped.end(), word) != skipped.end()) {
        s.Destination = TDestination::Skip;
        return;
    }
    if (s.Destination == TDestination::Text && word == "object") {
        s.Destination = TDestination::Object;
        FObject.Start();
        return;
    }
    if (s.Destination == TDestination::Object) {
        ObjectWord(word, wasIgnorable);
        return;
    }
    if (s.Destination == TDestination::Skip) {
        return;
    }
    if (word == "fonttbl") {
        s.Destination = TDestination::FontTable;
        FFontName.clear();
        return;
    }
    if (word == "colortbl") {
        s.Destination = TDestination::ColorTable;
        FColorSet = false;
        FRed = FGreen = FBlue = 0;
        return;
    }
    if (word == "pntext" || word == "listtext") {
        s.Destination = TDestination::ListText;
        return;
    }
    if (wasIgnorable) {
        // An optional destination this reader does not know: its contents are not text.
        s.Destination = TDestination::Skip;
        return;
    }

    if (s.Destination == TDestination::ColorTable) {
        const int component = std::clamp(param, 0, 255);
        if (word == "red") {
            FRed = component;
            FColorSet = true;
        } else if (word == "green") {
            FGreen = component;
            FColorSet = true;
        } else if (word == "blue") {
            FBlue = component;
            FColorSet = true;
        }
        return;
    }
    if (s.Destination == TDestination::FontTable || s.Destination == TDestination::FontEntry) {
        if (word == "f") {
            FFontEntry = param;
            FFonts[FFontEntry];
            FFontName.clear();
        } else if (word == "fcharset") {
            FFonts[FFontEntry].CodePage = CodePageOfCharset(param, 0);
        } else if (word == "cpg" && param > 0) {
            FFonts[FFontEntry].CodePage = param;
        } else if (word == "u") {
            UnicodeChar(param);
        }
        return;
    }

    // Document
    if (word == "ansicpg") {
        if (param > 0) {
            FAnsiCodePage = param;
        }
    } else if (word == "mac") {
        FAnsiCodePage = 10000;
    } else if (word == "pc") {
        FAnsiCodePage = 437;
    } else if (word == "pca") {
        FAnsiCodePage = 850;
    } else if (word == "deff") {
        FDefaultFont = param;
        if (s.Char.Font < 0) {
            s.Char.Font = param;
        }
    } else if (word == "deftab") {
        if (param > 0) {
            FDefaultTab = param;
        }
    } else if (word == "uc") {
        s.UnicodeSkip = std::max(0, param);
    } else if (word == "u") {
        UnicodeChar(param);
    }
    // Characters
    else if (word == "par" || word == "page" || word == "sect" || word == "row") {
        EndParagraph();
    } else if (word == "line") {
        Char(QChar::LineSeparator);
    } else if (word == "tab" || word == "cell") {
        Char(u'\t');
    } else if (word == "emdash") {
        Char(QChar(0x2014));
    } else if (word == "endash") {
        Char(QChar(0x2013));
    } else if (word == "bullet") {
        Char(QChar(0x2022));
    } else if (word == "lquote") {
        Char(QChar(0x2018));
    } else if (word == "rquote") {
        Char(QChar(0x2019));
    } else if (word == "ldblquote") {
        Char(QChar(0x201C));
    } else if (word == "rdblquote") {
        Char(QChar(0x201D));
    } else if (word == "emspace" || word == "enspace" || word == "qmspace") {
        Char(u' ');
    }
    // Character formatting
    else if (word == "plain") {
        s.Char = TCharState{};
        s.Char.Font = FDefaultFont;
    } else if (word == "f") {
        s.Char.Font = param;
    } else if (word == "fs") {
        s.Char.Size = hasParam && param > 0 ? param : DefaultFontSize;
    } else if (word == "b") {
        s.Char.Bold = on != 0;
    } else if (word == "i") {
        s.Char.Italic = on != 0;
    } else if (word == "ul" || word == "uld" || word == "uldb" || word == "ulw" || word == "uldash" ||
               word == "ulth" || word == "ulwave" || word == "uldashd" || word == "uldashdd") {
        s.Char.Underline = on != 0;
    } else if (word == "ulnone") {
        s.Char.Underline = false;
    } else if (word == "strike" || word == "striked") {
        s.Char.Strike = on != 0;
    } else if (word == "cf") {
        s.Char.ForeColor = param;
    } else if (word == "cb" || word == "chcbpat") {
        s.Char.BackColor = param;
    } else if (word == "highlight") {
        s.Char.Highlight = param;
    } else if (word == "super") {
        s.Char.VerticalAlign = on != 0 ? 1 : 0;
    } else if (word == "sub") {
        s.Char.VerticalAlign = on != 0 ? -1 : 0;
    } else if (word == "nosupersub") {
        s.Char.VerticalAlign = 0;
    } else if (word == "v") {
        s.Char.Hidden = on != 0;
    }
    // Paragraph formatting
    else if (word == "pard") {
        s.Para = TParaState{};
    } else if (word == "ql") {
        s.Para.Align = Qt::AlignLeft;
    } else if (word == "qr") {
        s.Para.Align = Qt::AlignRight;
    } else if (word == "qc") {
        s.Para.Align = Qt::AlignHCenter;
    } else if (word == "qj") {
        s.Para.Align = Qt::AlignJustify;
    } else if (word == "li") {
        s.Para.LeftIndent = Measure(param, -MaxMeasureTwips);
    } else if (word == "ri") {
        s.Para.RightIndent = Measure(param, -MaxMeasureTwips);
    } else if (word == "fi") {
        s.Para.FirstIndent = Measure(param, -MaxMeasureTwips);
    } else if (word == "sb") {
        s.Para.SpaceBefore = Measure(param, 0);
    } else if (word == "sa") {
        s.Para.SpaceAfter = Measure(param, 0);
    } else if (word == "tqr") {
        s.Para.NextTabType = QTextOption::RightTab;
    } else if (word == "tqc") {
        s.Para.NextTabType = QTextOption::CenterTab;
    } else if (word == "tqdec") {
        s.Para.NextTabType = QTextOption::DelimiterTab;
    } else if (word == "tx" || word == "tb") {
        if (s.Para.Tabs.size() < 64) {
            QTextOption::Tab tab(TwipsToPixels(Measure(param, 0)), s.Para.NextTabType);
            if (tab.type == QTextOption::DelimiterTab) {
                tab.delimiter = u'.';
            }
            s.Para.Tabs.append(tab);
        }
        s.Para.NextTabType = QTextOption::LeftTab;
    }
}

} // namespace Rtf
