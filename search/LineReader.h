#pragma once

#include "search/Decoding.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Decode {
class DecodedStream;
}

/// Size of the blocks whose count the status bar shows as the reading position.
inline constexpr std::int64_t StatusBlockSize = 128;

/// Reads one file forward, line by line, under the DOS or the Unix line-end rule.
/// Byte 26 ends the file wherever it stands. Reading is buffered in larger chunks, but the
/// position it reports counts the 128-byte blocks a 128-byte buffer would have fetched by now.
class LineReader {
public:
    LineReader();
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    /// Opens the file for reading; on failure gives false and the system's reason. With decode, its
    /// first bytes say how to read it (compressed, UTF-16) and the lines are those of its text.
    bool Open(const std::string& path, std::string& reason, const DecodeOptions& decode = {});
    void Close();

    /// True when no byte is left, the next byte is 26, or reading failed.
    bool AtEnd();

    /// The next line without its line end: up to CR, byte 26 or the end; CR LF counts as one end,
    /// a lone LF is an ordinary byte.
    void ReadDosLine(std::string& line);

    /// The next line without its line end: up to LF, CR, byte 26 or the end; CR LF counts as one end.
    void ReadUnixLine(std::string& line);

    /// The file's size in 128-byte blocks, taken at opening; -1 when the file has no size (a pipe).
    std::int64_t SizeBlocks() const { return FSizeBlocks; }

    /// Whole 128-byte blocks fetched so far.
    std::int64_t PositionBlocks() const;

    /// Bytes fetched from the file so far.
    std::int64_t FetchedBytes() const;

    /// True once a read has failed; the line in hand when it failed is incomplete.
    bool Failed() const { return !FFailReason.empty(); }
    const std::string& FailReason() const { return FFailReason; }

    /// Whether the probe of the decode options found a NUL in the text's first bytes.
    bool Binary() const { return FBinary; }

private:
    bool Fill();
    void FillHead(std::size_t want);
    void StartDecoding(const DecodeOptions& decode);
    int Peek();
    void ReadUpTo(std::string& line, bool lineFeedEnds);
    std::int64_t OffsetOfNext() const { return FFetched - static_cast<std::int64_t>(FEnd - FNext); }

    int FFd = -1;
    std::vector<char> FBuffer;
    std::size_t FNext = 0;
    std::size_t FEnd = 0;
    std::int64_t FFetched = 0;
    std::int64_t FLooked = 0; // one past the last byte examined
    std::int64_t FSizeBlocks = -1;
    bool FEndOfData = false;
    std::string FFailReason;
    std::unique_ptr<Decode::DecodedStream> FDecoded; // the file's text when it is not its bytes
    bool FBinary = false;
};

/// A reason text for an errno value, as the system words it.
std::string SystemReason(int error);
