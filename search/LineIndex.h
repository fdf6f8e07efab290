#pragma once

#include "search/SearchRequest.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class LiteralFinder;
class TextSource;

/// One line of a text as LineIndex::ReadLine gives it.
struct IndexedLine {
    std::int64_t Start = 0; ///< offset of its first byte
    std::string Bytes; ///< its bytes without the line end, at most the number asked for
    bool Cut = false; ///< the line goes on past Bytes
    std::int64_t ContentEnd = 0; ///< offset just past its last byte (its line end, or the text's end)
    std::int64_t Next = -1; ///< where the next line starts; -1 when this is the last line
};

/// The lines of a text, found by number and by offset under the DOS or the Unix rule, without holding
/// the text: the same lines, numbered the same way, as the search's LineReader reads (CR LF is one
/// end, byte 26 ends the text). It keeps one count per block of the text it has passed (the line
/// ends before the block), so a line is found by reading at most one block, and what it keeps is a
/// few bytes per block whatever the text's size. Blocks are counted forward on demand with the
/// engine's line-end kernels; nothing is read before it is asked for.
class LineIndex {
public:
    static constexpr std::size_t DefaultBlock = std::size_t{64} << 10;

    /// block: the stretch of text each count covers (tests make it small to cross its edges).
    LineIndex(TextSource& source, LineFormat format, std::size_t block = DefaultBlock);
    LineIndex(const LineIndex&) = delete;
    LineIndex& operator=(const LineIndex&) = delete;

    /// Where line number (1-based) starts; -1 when the text has fewer lines.
    std::int64_t StartOf(std::int64_t number);
    /// The number of the line that holds offset; an offset past the text gives its last line, and an
    /// empty text gives 0.
    std::int64_t LineAt(std::int64_t offset);
    /// The number of lines (the whole text is counted the first time).
    std::int64_t LineCount();
    /// The end of the text as far as it is known: the source's size until the count has reached a byte
    /// 26 or the real end.
    std::int64_t KnownEnd() const;

    /// Reads the line that starts at start: at most maxBytes of its bytes, and where the next one
    /// starts. False when no line starts there (the text ends).
    bool ReadLine(std::int64_t start, std::size_t maxBytes, IndexedLine& line);
    /// Hands the bytes [from, to) of the text to out, piece by piece (a whole line however long).
    void CopyBytes(std::int64_t from, std::int64_t to, const std::function<void(std::string_view)>& out);

    /// The offset of an occurrence of finder's needle lying wholly within [low, high) of the text:
    /// the first one going down, the last one going up; -1 when there is none.
    std::int64_t Find(const LiteralFinder& finder, std::int64_t low, std::int64_t high, bool down);

    /// The byte at offset of the source, or -1 past its end (byte 26 included: it is the caller's to
    /// know whether the count has passed offset).
    int ByteAt(std::int64_t offset);

    /// True once a read of the source has failed; what could be read is still given.
    bool Failed() const { return !FFailReason.empty(); }
    const std::string& FailReason() const { return FFailReason; }

private:
    std::int64_t Read(std::int64_t offset, char* buffer, std::size_t size);
    bool EndsLineAt(std::int64_t offset, int byte);
    void Extend();
    void IndexTo(std::int64_t offset);
    std::int64_t CountEnds(std::int64_t from, std::int64_t to);
    std::int64_t IndexedEnd() const;

    TextSource& FSource;
    LineFormat FFormat;
    std::size_t FBlock;
    std::vector<std::int64_t> FEnds{0}; // line ends finished before each block's first byte
    std::int64_t FEnd = -1; // the text's end once the count has met it
    bool FPreviousCr = false; // the last byte counted so far is a carriage return
    std::vector<char> FBuffer; // what a count or a search reads
    std::vector<char> FPeek; // a small window for single bytes
    std::int64_t FPeekOffset = 0;
    std::size_t FPeekSize = 0;
    std::string FFailReason;
};
