#include "controls/richtext/RtfCodePages.h"

#include <QStringView>

#include <array>
#include <iterator>
#include <vector>

namespace {

// Windows-1252 for 0x80..0x9F; the rest of the code page is Latin-1.
constexpr std::array<char16_t, 32> Cp1252High = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

} // namespace

namespace Rtf {

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

TCodePageDecoder::~TCodePageDecoder()
{
    for (auto& [cp, cd] : FConverters) {
        if (cd != reinterpret_cast<iconv_t>(-1)) {
            iconv_close(cd);
        }
    }
}

void TCodePageDecoder::Decode(const std::string& bytes, int codePage, QString& out)
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

QChar TCodePageDecoder::Cp1252(unsigned char b)
{
    return b >= 0x80 && b < 0xA0 ? QChar(Cp1252High[b - 0x80]) : QChar(b);
}

bool TCodePageDecoder::IsSymbolFontPage(int codePage)
{
    return codePage == SymbolCodePage || codePage == SymbolFontCodePage || codePage == WingdingsCodePage;
}

QChar TCodePageDecoder::SymbolFontChar(unsigned char b, int codePage)
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
    static constexpr char16_t High[] = {0x00A0, 0x03D2, 0x2032, 0x2264, 0x2044, 0x221E, 0x0192, 0x2663, // A0
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

iconv_t TCodePageDecoder::Converter(int codePage)
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

} // namespace Rtf
