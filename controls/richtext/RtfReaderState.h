#pragma once

// The RTF reader and the state it keeps per group. Its parts: RtfReader.cpp reads the tokens,
// keeps the groups and builds the document; RtfControlWords.cpp acts on control words and
// symbols; RtfCodePages.cpp turns bytes into characters.

#include "controls/objects/RtfObjects.h"
#include "controls/richtext/RtfCodePages.h"

#include <QByteArrayView>
#include <QColor>
#include <QList>
#include <QString>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextOption>

#include <map>
#include <string>
#include <string_view>
#include <vector>

class QTextDocument;

namespace Rtf {

inline constexpr int DefaultTabTwips = 720; // \deftab when a document gives none
inline constexpr int DefaultFontSize = 24; // half-points

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

} // namespace Rtf
