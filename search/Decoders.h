#pragma once

// Internal to the decoding read (DecodedStream and the adapter units over zlib, libbz2, liblzma,
// libzstd and the UTF-16 converter); not part of the engine's API.

#include "search/Decoding.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace Decode {

/// Codes a decoding read fails with besides errno values (which are positive).
inline constexpr int DamagedData = -1;
inline constexpr int TooMuchMemory = -2;

/// Input is taken in chunks of this size: the granularity of the position shown for a decoded file.
inline constexpr std::size_t ChunkSize = 64 * 1024;

/// Bytes read forward from somewhere.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    /// Puts up to n bytes into out: all n unless the data ends or fails first; 0 once nothing is left.
    virtual std::size_t Read(char* out, std::size_t n) = 0;
    /// 0 while all is well; an errno value, DamagedData or TooMuchMemory once reading failed.
    int Error() const { return FError; }

protected:
    int FError = 0;
};

/// The file's own bytes: those read before decoding began (the bytes that told its encoding), then
/// the rest from the file descriptor.
class FileInput final : public ByteSource {
public:
    FileInput(int fd, std::string prefix);
    std::size_t Read(char* out, std::size_t n) override;
    /// Bytes of the file handed on so far.
    std::int64_t Fetched() const { return FFetched; }

private:
    int FFd;
    std::string FPrefix;
    std::size_t FPrefixAt = 0;
    std::int64_t FFetched = 0;
    bool FEnded = false;
};

/// Where the decoded text stood each time a chunk of the file was fetched, so that the position shown
/// for a decoded line is the position in the file. Asked in increasing order; forgets what lies behind.
class PositionMarks {
public:
    /// A chunk was fetched (the file now read to fetched) when produced decoded bytes had been made.
    void Add(std::int64_t produced, std::int64_t fetched);
    /// Bytes of the file fetched when decoded byte looked - 1 was made.
    std::int64_t FetchedAt(std::int64_t looked) const;
    /// Decoded bytes before consumed are never asked about again.
    void Forget(std::int64_t consumed);

private:
    struct Mark {
        std::int64_t Produced;
        std::int64_t Fetched;
    };
    // Bounded for absurd input only (a long run of chunks that decode to a few bytes each): then
    // every other mark goes and the position figure coarsens.
    static constexpr std::size_t MaxMarks = 1 << 16;
    std::deque<Mark> FMarks;
};

/// One step of decoding. Its input is taken from the step before in chunks of ChunkSize, and only
/// once the step has made all it can of the chunk in hand: so the point in the file at which each
/// decoded byte was made does not depend on how much the reader asks for at a time, and the
/// line-by-line scan and the windowed scan show the same positions.
class DecoderStage : public ByteSource {
public:
    DecoderStage(ByteSource& input, const FileInput& file);
    /// The stage whose output the scan reads notes the file's position at each fetch.
    void RecordMarks(PositionMarks* marks) { FMarks = marks; }
    std::size_t Read(char* out, std::size_t n) final;

protected:
    /// Makes up to n bytes of output; fewer only at the end of the data or on a failure (FError).
    virtual std::size_t Produce(char* out, std::size_t n) = 0;
    /// Moves the unused input to the front and reads the next chunk behind it; false when no byte
    /// came (the input ended, or failed: FError is then set). made: output of this Produce so far.
    bool Pull(std::size_t made);
    /// The input in hand, not yet used.
    const char* InBegin() const { return FIn.data() + FInAt; }
    std::size_t InSize() const { return FInEnd - FInAt; }
    void Use(std::size_t n) { FInAt += n; }

private:
    ByteSource& FInput;
    const FileInput& FFile;
    PositionMarks* FMarks = nullptr;
    std::vector<char> FIn;
    std::size_t FInAt = 0;
    std::size_t FInEnd = 0;
    std::int64_t FProduced = 0;
};

// The adapter units, one per library; each takes the compressed stream from its first byte.
std::unique_ptr<DecoderStage> MakeGzipStage(ByteSource& input, const FileInput& file);
std::unique_ptr<DecoderStage> MakeBzip2Stage(ByteSource& input, const FileInput& file);
std::unique_ptr<DecoderStage> MakeXzStage(ByteSource& input, const FileInput& file);
std::unique_ptr<DecoderStage> MakeZstdStage(ByteSource& input, const FileInput& file);
/// UTF-16 to UTF-8; skip: bytes of the byte-order mark still at the front of its input.
std::unique_ptr<DecoderStage> MakeUtf16Stage(ByteSource& input, const FileInput& file, bool bigEndian,
                                             std::size_t skip);

} // namespace Decode
