#pragma once

// Bytes of RTF text to characters: the code page of a font's character set, iconv for the code
// pages, and the picture fonts (Symbol, Wingdings) whose characters are no letters.

#include <QChar>
#include <QString>

#include <iconv.h>
#include <map>
#include <string>

namespace Rtf {

inline constexpr int SymbolCodePage = 42; // a font of the symbol character set: its own characters
inline constexpr int SymbolFontCodePage = -42; // the font named Symbol: Greek, marks and mathematics
inline constexpr int WingdingsCodePage = -43; // the Wingdings font's pictures

/// The code page of a font's \fcharset; ansiCodePage for a character set it does not name.
int CodePageOfCharset(int charset, int ansiCodePage);

/// The pseudo code page of a font whose characters are pictures, by its name; 0 for any other font.
int PictureFontCodePage(const QString& name);

/// Code page bytes to text; iconv does every code page but 1252 and UTF-8, which are built in.
class TCodePageDecoder {
public:
    TCodePageDecoder() = default;
    TCodePageDecoder(const TCodePageDecoder&) = delete;
    TCodePageDecoder& operator=(const TCodePageDecoder&) = delete;
    ~TCodePageDecoder();

    void Decode(const std::string& bytes, int codePage, QString& out);

    static bool IsSymbolFontPage(int codePage);
    // A character of the Symbol or the Wingdings font as the text it shows. Writers put list bullets
    // in these fonts ("\'b7" in Symbol, "\'a7", "\'d8" or "\'fc" in Wingdings) and the letters of a
    // symbol font are no letters: the common ones are mapped, others read as the code page would.
    static QChar SymbolFontChar(unsigned char b, int codePage);

private:
    static QChar Cp1252(unsigned char b);
    iconv_t Converter(int codePage);

    std::map<int, iconv_t> FConverters;
};

} // namespace Rtf
