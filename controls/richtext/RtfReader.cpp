#include "controls/richtext/RtfReader.h"

#include "controls/objects/RtfObjects.h"

#include <QHash>
#include <QList>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextOption>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iconv.h>
#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Deeper groups than this are still balanced but no longer get their own state.
constexpr int MaxDepth = 512;
constexpr int MaxWordLength = 32;
constexpr int MaxParamDigits = 10;
constexpr int SymbolCodePage = 42; // a font of the symbol character set: its own characters
constexpr int SymbolFontCodePage = -42; // the font named Symbol: Greek, marks and mathematics
constexpr int WingdingsCodePage = -43; // the Wingdings font's pictures
constexpr int DefaultTabTwips = 720; // \deftab when a document gives none
constexpr int DefaultFontSize = 24; // half-points

// Windows-1252 for 0x80..0x9F; the rest of the code page is Latin-1.
constexpr std::array<char16_t, 32> Cp1252High = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

int CodePageOfCharset(int charset, int ansiCodePage)
{
    switch (charset) {
    case 0:
        return 1252;
    case 2:
        return SymbolCodePage;
    case 77:
        return 10000;
    case 128:
        return 932;
    case 129:
        return 949;
    case 134:
        return 936;
    case 136:
        return 950;
    case 161:
        return 1253;
    case 162:
        return 1254;
    case 163:
        return 1258;
    case 177:
        return 1255;
    case 178:
        return 1256;
    case 186:
        return 1257;
    case 204:
        return 1251;
    case 222:
        return 874;
    case 238:
        return 1250;
    case 255:
        return 437;
    default:
        return ansiCodePage;
    }
}

// Code page bytes to text; iconv does every code page but 1252 and UTF-8, which are built in.
class TCodePageDecoder {
public:
    TCodePageDecoder() = default;
    TCodePageDecoder(const TCodePageDecoder&) = delete;
    TCodePageDecoder& operator=(const TCodePageDecoder&) = delete;
    ~TCodePageDecoder()
    {
        for (auto& [cp, cd] : FConverters) {
            if (cd != reinterpret_cast<iconv_t>(-1)) {
                iconv_close(cd);
            }
        }
    }

    void Decode(const std::string& bytes, int codePage, QString& out)
    {
        if (codePage == 65001) {
            out += QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
            return;
        }
        if (IsSymbolFontPage(codePage)) {
            for (unsigned char b : bytes) {
                out += SymbolFontChar(b, codePage);
            }
            return;
        }
        iconv_t cd = codePage == 1252 ? reinterpret_cast<iconv_t>(-1) : Converter(codePage);
        if (cd == reinterpret_cast<iconv_t>(-1)) {
            for (unsigned char b : bytes) {
                out += Cp1252(b);
            }
            return;
        }
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        std::vector<char16_t> buffer(bytes.size() * 2 + 4);
        char* in = const_cast<char*>(bytes.data());
        size_t inLeft = bytes.size();
        while (inLeft > 0) {
            char* outPtr = reinterpret_cast<char*>(buffer.data());
            size_t outLeft = buffer.size() * sizeof(char16_t);
            const size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
            const size_t produced = (buffer.size() * sizeof(char16_t) - outLeft) / sizeof(char16_t);
            out += QStringView(buffer.data(), static_cast<qsizetype>(produced));
            if (r == static_cast<size_t>(-1) && inLeft > 0) {
                // An invalid or incomplete sequence: one replacement character, then go on.
                out += QChar::ReplacementCharacter;
                ++in;
                --inLeft;
                iconv(cd, nullptr, nullptr, nullptr, nullptr);
            }
        }
    }

private:
    static QChar Cp1252(unsigned char b)
    {
        return b >= 0x80 && b < 0xA0 ? QChar(Cp1252High[b - 0x80]) : QChar(b);
    }

public:
    static bool IsSymbolFontPage(int codePage)
    {
        return codePage == SymbolCodePage || codePage == SymbolFontCodePage || codePage == WingdingsCodePage;
    }

    // A character of the Symbol or the Wingdings font as the text it shows. Writers put list bullets
    // in these fonts ("\'b7" in Symbol, "\'a7", "\'d8" or "\'fc" in Wingdings) and the letters of a
    // symbol font are no letters: the common ones are mapped, others read as the code page would.
    static QChar SymbolFontChar(unsigned char b, int codePage)
    {
        if (codePage == WingdingsCodePage) {
            switch (b) {
            case 0x4A:
                return QChar(0x263A); // smiling face
            case 0x4C:
                return QChar(0x2639); // frowning face
            case 0x6C:
                return QChar(0x25CF); // black circle
            case 0x6E:
                return QChar(0x25A0); // black square
            case 0x6F:
                return QChar(0x25A1); // white square
            case 0x71:
                return QChar(0x2751); // shadowed square
            case 0x72:
                return QChar(0x2752);
            case 0x75:
                return QChar(0x25C6); // black diamond
            case 0x76:
                return QChar(0x2756); // diamond of four diamonds
            case 0x77:
                return QChar(0x2B25);
            case 0xA1:
                return QChar(0x25CB); // white circle
            case 0xA7:
                return QChar(0x25AA); // small black square
            case 0xD8:
                return QChar(0x27A2); // arrowhead
            case 0xFB:
                return QChar(0x2718); // ballot x
            case 0xFC:
                return QChar(0x2714); // check mark
            case 0xFD:
                return QChar(0x2612); // ballot box with x
            case 0xFE:
                return QChar(0x2611); // ballot box with check
            default:
                return Cp1252(b);
            }
        }
        if (codePage == SymbolCodePage) {
            // Some other font of pictures: only the bullets and marks list writers take from such fonts.
            switch (b) {
            case 0xB7:
                return QChar(0x2022);
            case 0xA8:
                return QChar(0x2666);
            case 0xAE:
                return QChar(0x2192);
            case 0xD2:
                return QChar(0x00AE);
            case 0xD3:
                return QChar(0x00A9);
            case 0xD4:
                return QChar(0x2122);
            default:
                return Cp1252(b);
            }
        }
        // Symbol: Greek letters where Latin ones are, then marks, arrows and mathematics.
        static constexpr char16_t Greek[26] = {0x03B1, 0x03B2, 0x03C7, 0x03B4, 0x03B5, 0x03C6, 0x03B3,
                                               0x03B7, 0x03B9, 0x03D5, 0x03BA, 0x03BB, 0x03BC, 0x03BD,
                                               0x03BF, 0x03C0, 0x03B8, 0x03C1, 0x03C3, 0x03C4, 0x03C5,
                                               0x03D6, 0x03C9, 0x03BE, 0x03C8, 0x03B6};
        static constexpr char16_t GreekCapitals[26] = {0x0391, 0x0392, 0x03A7, 0x0394, 0x0395, 0x03A6, 0x0393,
                                                       0x0397, 0x0399, 0x03D1, 0x039A, 0x039B, 0x039C, 0x039D,
                                                       0x039F, 0x03A0, 0x0398, 0x03A1, 0x03A3, 0x03A4, 0x03A5,
                                                       0x03C2, 0x03A9, 0x039E, 0x03A8, 0x0396};
        if (b >= 'a' && b <= 'z') {
            return QChar(Greek[b - 'a']);
        }
        if (b >= 'A' && b <= 'Z') {
            return QChar(GreekCapitals[b - 'A']);
        }
        // 0xA0..0xF2 of the Symbol font; 0 where nothing is mapped.
        static constexpr char16_t High[] = {
            0x00A0, 0x03D2, 0x2032, 0x2264, 0x2044, 0x221E, 0x0192, 0x2663, // A0
            0x2666, 0x2665, 0x2660, 0x2194, 0x2190, 0x2191, 0x2192, 0x2193, // A8
            0x00B0, 0x00B1, 0x2033, 0x2265, 0x00D7, 0x221D, 0x2202, 0x2022, // B0
            0x00F7, 0x2260, 0x2261, 0x2248, 0x2026, 0,      0,      0, // B8
            0x2135, 0x2111, 0x211C, 0x2118, 0x2297, 0x2295, 0x2205, 0x2229, // C0
            0x222A, 0x2283, 0x2287, 0x2284, 0x2282, 0x2286, 0x2208, 0x2209, // C8
            0x2220, 0x2207, 0x00AE, 0x00A9, 0x2122, 0x220F, 0x221A, 0x22C5, // D0
            0x00AC, 0x2227, 0x2228, 0x21D4, 0x21D0, 0x21D1, 0x21D2, 0x21D3, // D8
            0x25CA, 0x2329, 0x00AE, 0x00A9, 0x2122, 0x2211, 0,      0, // E0
            0,      0,      0,      0,      0,      0,      0,      0, // E8
            0,      0x232A, 0x222B}; // F0
        if (b >= 0xA0 && b - 0xA0 < static_cast<int>(std::size(High)) && High[b - 0xA0] != 0) {
            return QChar(High[b - 0xA0]);
        }
        switch (b) {
        case 0x22:
            return QChar(0x2200); // for all
        case 0x24:
            return QChar(0x2203); // there exists
        case 0x27:
            return QChar(0x220B);
        case 0x2A:
            return QChar(0x2217);
        case 0x2D:
            return QChar(0x2212); // minus
        case 0x40:
            return QChar(0x2245);
        case 0x5C:
            return QChar(0x2234); // therefore
        case 0x5E:
            return QChar(0x22A5);
        case 0x7E:
            return QChar(0x223C);
        default:
            return Cp1252(b);
        }
    }

private:
    iconv_t Converter(int codePage)
    {
        auto it = FConverters.find(codePage);
        if (it != FConverters.end()) {
            return it->second;
        }
        std::string name = codePage == 10000 ? "MACINTOSH" : "CP" + std::to_string(codePage);
        iconv_t cd = iconv_open("UTF-16LE", name.c_str());
        FConverters.emplace(codePage, cd);
        return cd;
    }

    std::map<int, iconv_t> FConverters;
};

// A paragraph measurement in twips, within what the layout takes.
int Measure(int twips, int least)
{
    return std::clamp(twips, least, MaxMeasureTwips);
}

enum class TDestination { Text, Skip, FontTable, FontEntry, ColorTable, ListText, Object, ObjectData };

struct TCharState {
    int Font = -1;
    int Size = DefaultFontSize;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool Strike = false;
    int ForeColor = 0;
    int BackColor = 0;
    int Highlight = 0;
    int VerticalAlign = 0; // 0 normal, 1 super, -1 sub
    bool Hidden = false; // \v: hidden text, not shown
    bool operator==(const TCharState&) const = default;
};

struct TParaState {
    Qt::Alignment Align = Qt::AlignLeft;
    int LeftIndent = 0; // twips
    int RightIndent = 0;
    int FirstIndent = 0;
    int SpaceBefore = 0;
    int SpaceAfter = 0;
    QList<QTextOption::Tab> Tabs;
    QTextOption::TabType NextTabType = QTextOption::LeftTab;
};

struct TGroupState {
    TDestination Destination = TDestination::Text;
    TCharState Char;
    TParaState Para;
    int UnicodeSkip = 1; // \ucN
    bool Ignorable = false; // \* seen, the next control word names the destination
};

struct TFont {
    QString Name;
    int CodePage = 0; // 0: the document's code page
};

// The pseudo code page of a font whose characters are pictures, by its name; 0 for any other font.
int PictureFontCodePage(const QString& name)
{
    if (name.compare(QLatin1String("Wingdings"), Qt::CaseInsensitive) == 0) {
        return WingdingsCodePage;
    }
    if (name.compare(QLatin1String("Symbol"), Qt::CaseInsensitive) == 0) {
        return SymbolFontCodePage;
    }
    return 0;
}

class TRtfReader {
public:
    TRtfReader(QByteArrayView data, QTextDocument& document, int maxCharacters)
        : FData(data)
        , FMaxCharacters(maxCharacters)
        , FDocument(document)
        , FCursor(&document)
    {
    }

    void Run();

private:
    // Tokens
    void ControlWord(std::string_view word, bool hasParam, int param);
    void ObjectWord(std::string_view word, bool ignorable);
    void ControlSymbol(char symbol);
    void OpenGroup();
    void CloseGroup();
    void Byte(unsigned char b);
    void UnicodeChar(int code);
    void Char(QChar c);

    // Output
    void FlushBytes();
    void FlushText();
    void EndParagraph();
    void ApplyBlockFormat();
    QTextCharFormat CharFormat() const;
    QTextBlockFormat BlockFormat() const;
    int CurrentCodePage() const;
    QColor Colour(int index) const;

    TGroupState& State() { return FStack.back(); }
    const TGroupState& State() const { return FStack.back(); }

    QByteArrayView FData;
    qsizetype FPos = 0;
    int FMaxCharacters; // < 0: no limit
    QTextDocument& FDocument;
    QTextCursor FCursor;
    TCodePageDecoder FDecoder;

    std::vector<TGroupState> FStack;
    int FOverflowDepth = 0; // groups opened past MaxDepth
    int FSkipCount = 0; // fallback characters still to skip after \uN

    int FAnsiCodePage = 1252;
    int FDefaultFont = 0;
    int FDefaultTab = DefaultTabTwips;
    std::map<int, TFont> FFonts;
    int FFontEntry = 0;
    QString FFontName;
    QList<QColor> FColors;
    int FRed = 0, FGreen = 0, FBlue = 0;
    bool FColorSet = false;

    std::string FBytes; // 8-bit text waiting to be decoded
    int FBytesCodePage = 1252;
    QString FText; // decoded text waiting to be inserted
    TCharState FTextFormat;
    bool FBlockStarted = false;
    bool FEndedWithPar = false;
    bool FLastFormatApplied = false; // the last paragraph got its format when the document closed
    TRtfObjectGroup FObject; // the \object group being read
};

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

} // namespace

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
    TRtfReader(rtf.sliced(start), document, maxCharacters).Run();
}
