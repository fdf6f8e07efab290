#include "controls/richtext/RtfReader.h"

#include "controls/richtext/RtfReaderState.h"

#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

namespace {

// Deeper groups than this are still balanced but no longer get their own state.
constexpr int MaxDepth = 512;
constexpr int MaxWordLength = 32;
constexpr int MaxParamDigits = 10;

} // namespace

namespace Rtf {

void TRtfReader::Run()
{
    FStack.emplace_back();
    FDocument.clear();
    FCursor = QTextCursor(&FDocument);
    FCursor.beginEditBlock();

    const qsizetype size = FData.size();
    while (FPos < size) {
        if (FMaxCharacters >= 0 &&
            FDocument.characterCount() + FText.size() + qsizetype(FBytes.size()) > FMaxCharacters + 1) {
            // The control shows no more; reading on would only cost time and memory.
            break;
        }
        const char c = FData[FPos++];
        if (c == '{') {
            OpenGroup();
        } else if (c == '}') {
            CloseGroup();
        } else if (c == '\\') {
            if (FPos >= size) {
                break;
            }
            const char next = FData[FPos];
            if (std::isalpha(static_cast<unsigned char>(next))) {
                const qsizetype start = FPos;
                while (FPos < size && std::isalpha(static_cast<unsigned char>(FData[FPos])) &&
                       FPos - start < MaxWordLength) {
                    ++FPos;
                }
                const std::string_view word(FData.data() + start, static_cast<size_t>(FPos - start));
                // Overlong words are cut; their remaining letters are skipped.
                while (FPos < size && std::isalpha(static_cast<unsigned char>(FData[FPos]))) {
                    ++FPos;
                }
                bool negative = false;
                bool hasParam = false;
                std::int64_t value = 0;
                if (FPos < size && FData[FPos] == '-' && FPos + 1 < size &&
                    std::isdigit(static_cast<unsigned char>(FData[FPos + 1]))) {
                    negative = true;
                    ++FPos;
                }
                int digits = 0;
                while (FPos < size && std::isdigit(static_cast<unsigned char>(FData[FPos]))) {
                    if (digits++ < MaxParamDigits) {
                        value = value * 10 + (FData[FPos] - '0');
                    }
                    hasParam = true;
                    ++FPos;
                }
                value = std::clamp<std::int64_t>(negative ? -value : value, INT32_MIN, INT32_MAX);
                if (FPos < size && FData[FPos] == ' ') {
                    ++FPos;
                }
                if (word == "bin") {
                    // Binary data: its bytes are never read as RTF.
                    FlushBytes();
                    FPos += std::min<std::int64_t>(std::max<std::int64_t>(value, 0), size - FPos);
                    continue;
                }
                ControlWord(word, hasParam, static_cast<int>(value));
            } else {
                ++FPos;
                if (next == '\'') {
                    auto hex = [](char h) {
                        if (h >= '0' && h <= '9')
                            return h - '0';
                        if (h >= 'a' && h <= 'f')
                            return h - 'a' + 10;
                        if (h >= 'A' && h <= 'F')
                            return h - 'A' + 10;
                        return -1;
                    };
                    int value = 0;
                    int digits = 0;
                    while (digits < 2 && FPos < size && hex(FData[FPos]) >= 0) {
                        value = value * 16 + hex(FData[FPos++]);
                        ++digits;
                    }
                    if (digits > 0) {
                        Byte(static_cast<unsigned char>(value));
                    }
                } else {
                    ControlSymbol(next);
                }
            }
        } else if (c == '\r' || c == '\n') {
            // Line ends in RTF source are not text.
        } else {
            Byte(static_cast<unsigned char>(c));
        }
    }

    FlushBytes();
    FlushText();
    if (!FLastFormatApplied) {
        ApplyBlockFormat();
    }
    // The writer's closing \par ends the last paragraph; it does not start an empty one.
    if (FEndedWithPar && FCursor.block().length() == 1 && FDocument.blockCount() > 1) {
        FCursor.deletePreviousChar();
    }
    FCursor.endEditBlock();
    QTextOption option = FDocument.defaultTextOption();
    option.setTabStopDistance(TwipsToPixels(std::min(FDefaultTab, 31680))); // at most 22 inches
    FDocument.setDefaultTextOption(option);
}

void TRtfReader::OpenGroup()
{
    FlushBytes();
    FSkipCount = 0;
    if (static_cast<int>(FStack.size()) >= MaxDepth) {
        ++FOverflowDepth;
        return;
    }
    TGroupState inner = State();
    inner.Ignorable = false;
    if (inner.Destination == TDestination::FontTable) {
        inner.Destination = TDestination::FontEntry;
        FFontName.clear();
    }
    FStack.push_back(inner);
}

void TRtfReader::CloseGroup()
{
    FSkipCount = 0;
    if (FOverflowDepth > 0) {
        --FOverflowDepth;
        return;
    }
    if (FStack.size() <= 1) {
        return; // an unbalanced brace
    }
    const TGroupState closing = State();
    // An object group without a \result still shows its object.
    if (closing.Destination == TDestination::Object &&
        FStack[FStack.size() - 2].Destination != TDestination::Object && !FObject.Tried()) {
        FlushText();
        FObject.Insert(FCursor);
    }
    if (closing.Destination == TDestination::FontEntry) {
        FlushBytes();
        if (!FFontName.trimmed().isEmpty() && FFonts[FFontEntry].Name.isEmpty()) {
            FFonts[FFontEntry].Name = FFontName.trimmed();
        }
        FFontName.clear();
    }
    if (closing.Destination == TDestination::Text || closing.Destination == TDestination::ListText) {
        FlushBytes();
    } else {
        FBytes.clear();
    }
    if (FStack.size() == 2 && closing.Destination == TDestination::Text) {
        // The document's own group ends: a last paragraph without \par keeps the format it was
        // written in, not the empty one outside the document.
        FlushText();
        ApplyBlockFormat();
        FLastFormatApplied = true;
    }
    FStack.pop_back();
}

void TRtfReader::Byte(unsigned char b)
{
    if (FSkipCount > 0) {
        --FSkipCount;
        return;
    }
    const TDestination d = State().Destination;
    if (d == TDestination::Skip || d == TDestination::Object) {
        return;
    }
    if (d == TDestination::ObjectData) {
        FObject.DataByte(b);
        return;
    }
    if (d == TDestination::ColorTable) {
        if (b == ';') {
            FColors.append(FColorSet ? QColor(FRed, FGreen, FBlue) : QColor());
            FRed = FGreen = FBlue = 0;
            FColorSet = false;
        }
        return;
    }
    if (d == TDestination::FontTable || d == TDestination::FontEntry) {
        if (b == ';') {
            FlushBytes();
            if (FFonts[FFontEntry].Name.isEmpty()) {
                FFonts[FFontEntry].Name = FFontName.trimmed();
            }
            FFontName.clear();
        } else if (b >= 0x20) {
            FBytesCodePage = FAnsiCodePage;
            FBytes += static_cast<char>(b);
        }
        return;
    }
    if (b == '\t') {
        FlushBytes(); // the text before it first
        Char(u'\t');
        return;
    }
    if (b < 0x20 || b == 0x7F) {
        return; // control bytes are not text
    }
    const int cp = CurrentCodePage();
    if (!FBytes.empty() && cp != FBytesCodePage) {
        FlushBytes();
    }
    FBytesCodePage = cp;
    FBytes += static_cast<char>(b);
}

void TRtfReader::FlushBytes()
{
    if (FBytes.empty()) {
        return;
    }
    QString decoded;
    FDecoder.Decode(FBytes, FBytesCodePage, decoded);
    FBytes.clear();
    const TDestination d = State().Destination;
    if (d == TDestination::FontTable || d == TDestination::FontEntry) {
        FFontName += decoded;
        return;
    }
    for (QChar c : decoded) {
        Char(c);
    }
}

void TRtfReader::UnicodeChar(int code)
{
    FlushBytes();
    const TDestination d = State().Destination;
    if (code < 0) {
        code += 65536;
    }
    if (d == TDestination::Text || d == TDestination::ListText) {
        char16_t unit = static_cast<char16_t>(code & 0xFFFF);
        // A symbol font's characters written as Unicode sit at U+F020..U+F0FF, its code plus 0xF000.
        if (const int cp = CurrentCodePage();
            TCodePageDecoder::IsSymbolFontPage(cp) && unit >= 0xF020 && unit <= 0xF0FF) {
            unit = TCodePageDecoder::SymbolFontChar(static_cast<unsigned char>(unit - 0xF000), cp).unicode();
        }
        if (unit >= 0x20 || unit == u'\t') {
            Char(QChar(unit));
        }
    } else if (d == TDestination::FontEntry || d == TDestination::FontTable) {
        FFontName += QChar(static_cast<char16_t>(code & 0xFFFF));
    }
    FSkipCount = std::clamp(State().UnicodeSkip, 0, 16);
}

void TRtfReader::Char(QChar c)
{
    const TDestination d = State().Destination;
    if ((d != TDestination::Text && d != TDestination::ListText) || State().Char.Hidden) {
        return;
    }
    if (!FText.isEmpty() && !(FTextFormat == State().Char)) {
        FlushText();
    }
    FTextFormat = State().Char;
    FText += c;
    FEndedWithPar = false;
}

void TRtfReader::FlushText()
{
    if (FText.isEmpty()) {
        return;
    }
    FLastFormatApplied = false;
    if (!FBlockStarted) {
        ApplyBlockFormat();
        FBlockStarted = true;
    }
    const TCharState saved = State().Char;
    State().Char = FTextFormat;
    FCursor.insertText(FText, CharFormat());
    State().Char = saved;
    FText.clear();
}

void TRtfReader::ApplyBlockFormat()
{
    FCursor.setBlockFormat(BlockFormat());
}

void TRtfReader::EndParagraph()
{
    FLastFormatApplied = false;
    FlushBytes();
    FlushText();
    ApplyBlockFormat();
    FCursor.insertBlock(BlockFormat(), CharFormat());
    FBlockStarted = false;
    FEndedWithPar = true;
}

int TRtfReader::CurrentCodePage() const
{
    auto it = FFonts.find(State().Char.Font);
    if (it == FFonts.end()) {
        return FAnsiCodePage;
    }
    if (const int symbols = PictureFontCodePage(it->second.Name); symbols != 0) {
        return symbols;
    }
    return it->second.CodePage != 0 ? it->second.CodePage : FAnsiCodePage;
}

QColor TRtfReader::Colour(int index) const
{
    return index > 0 && index < FColors.size() ? FColors[index] : QColor();
}

QTextCharFormat TRtfReader::CharFormat() const
{
    const TCharState& s = State().Char;
    QTextCharFormat f;
    auto font = FFonts.find(s.Font);
    if (font != FFonts.end() && !font->second.Name.isEmpty()) {
        f.setFontFamilies({font->second.Name});
    }
    f.setFontPointSize(std::clamp(s.Size, 2, 3276) / 2.0);
    f.setFontWeight(s.Bold ? QFont::Bold : QFont::Normal);
    f.setFontItalic(s.Italic);
    f.setFontUnderline(s.Underline);
    f.setFontStrikeOut(s.Strike);
    if (const QColor fore = Colour(s.ForeColor); fore.isValid()) {
        f.setForeground(fore);
    }
    if (const QColor back = Colour(s.Highlight > 0 ? s.Highlight : s.BackColor); back.isValid()) {
        f.setBackground(back);
    }
    if (s.VerticalAlign != 0) {
        f.setVerticalAlignment(s.VerticalAlign > 0 ? QTextCharFormat::AlignSuperScript
                                                   : QTextCharFormat::AlignSubScript);
    }
    return f;
}

QTextBlockFormat TRtfReader::BlockFormat() const
{
    const TParaState& p = State().Para;
    QTextBlockFormat f;
    f.setAlignment(p.Align);
    f.setLeftMargin(TwipsToPixels(p.LeftIndent));
    f.setRightMargin(TwipsToPixels(p.RightIndent));
    f.setTextIndent(TwipsToPixels(p.FirstIndent));
    f.setTopMargin(TwipsToPixels(p.SpaceBefore));
    f.setBottomMargin(TwipsToPixels(p.SpaceAfter));
    // RTF tab stops are measured from the left edge; the layout measures them from where the first
    // line starts.
    const double firstLine = TwipsToPixels(p.LeftIndent + p.FirstIndent);
    QList<QTextOption::Tab> tabs;
    for (QTextOption::Tab tab : p.Tabs) {
        tab.position -= firstLine;
        if (tab.position > 0) {
            tabs.append(tab);
        }
    }
    if (p.FirstIndent < 0) {
        // A hanging first line has an implicit tab stop at the left indent, where its bullet's tab goes.
        tabs.append(QTextOption::Tab(TwipsToPixels(-p.FirstIndent), QTextOption::LeftTab));
        std::sort(tabs.begin(), tabs.end(), [](const QTextOption::Tab& a, const QTextOption::Tab& b) {
            return a.position < b.position;
        });
    }
    if (!tabs.isEmpty()) {
        f.setTabPositions(tabs);
    }
    return f;
}

} // namespace Rtf

double TwipsToPixels(int twips)
{
    return twips / 15.0;
}

int PixelsToTwips(double pixels)
{
    const double twips = pixels * 15.0;
    if (std::isnan(twips)) {
        return 0;
    }
    return static_cast<int>(std::lround(std::clamp<double>(twips, INT_MIN, INT_MAX)));
}

void ReadRtf(QByteArrayView rtf, QTextDocument& document, int maxCharacters)
{
    // Some writers (and editors that saved the file again) put a UTF-8 byte-order mark first.
    if (rtf.startsWith("\xEF\xBB\xBF")) {
        rtf = rtf.sliced(3);
    }
    qsizetype start = 0;
    while (start < rtf.size() && std::isspace(static_cast<unsigned char>(rtf[start]))) {
        ++start;
    }
    if (!rtf.sliced(start).startsWith("{\\rtf")) {
        if (maxCharacters >= 0) {
            // No character takes more than four bytes.
            rtf.truncate(std::min<qsizetype>(rtf.size(), (qsizetype(maxCharacters) + 1) * 4));
        }
        QString text = QString::fromLocal8Bit(rtf);
        text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        text.replace(u'\r', u'\n');
        document.setPlainText(text);
        return;
    }
    Rtf::TRtfReader(rtf.sliced(start), document, maxCharacters).Run();
}
