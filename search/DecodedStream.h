#pragma once

// Internal to the scans (FastScan.cpp, LineReader.cpp) and Decoding.cpp; not part of the engine's API.

#include "search/Decoders.h"
#include "search/Decoding.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Decode {

/// A file read through its decoders: what a scan reads instead of the file's own bytes. A compressed
/// file whose text begins with a UTF-16 mark is decompressed and then converted. The decoders are
/// asked for text in pieces of one fixed size, whatever the reader asks for: a decoder may say how
/// much of damaged data it could read only after more or less of it, as its output room allows, and
/// the windowed scan and the line-by-line scan must see the same text before the damage.
class DecodedStream {
public:
    /// fd: the file, already read up to the end of head (its first bytes, which called for encoding).
    /// With options.Probe, the first Probe bytes of the text are read at once, for Binary.
    DecodedStream(int fd, std::string head, FileEncoding encoding, const DecodeOptions& options);
    DecodedStream(const DecodedStream&) = delete;
    DecodedStream& operator=(const DecodedStream&) = delete;

    /// Puts up to n bytes of the text into out: all n unless the text ends or fails first.
    std::size_t Read(char* out, std::size_t n);
    /// 0, or why the text could not be read on (an errno value, DamagedData, TooMuchMemory).
    int Error() const { return FTop->Error(); }
    /// Whether the probed bytes hold a NUL.
    bool Binary() const { return FBinary; }

    /// Bytes of the file read so far.
    std::int64_t FileFetched() const { return FFile.Fetched(); }
    /// Bytes of the file read when the looked-th byte of the text was made: the position to show.
    std::int64_t FileFetchedAt(std::int64_t looked) const { return FMarks.FetchedAt(looked); }
    /// Text before consumed is never asked about again.
    void Forget(std::int64_t consumed) { FMarks.Forget(consumed); }

private:
    FileInput FFile;
    PositionMarks FMarks;
    std::unique_ptr<DecoderStage> FCompressed;
    std::unique_ptr<DecoderStage> FText; // the UTF-16 conversion, when there is one
    DecoderStage* FTop = nullptr; // the stage whose output the scan reads
    std::vector<char> FMade; // text made and not yet read
    std::size_t FAt = 0;
    std::size_t FEnd = 0;
    bool FEnded = false; // the top stage has given all it will
    bool FBinary = false;

    void Refill();
};

} // namespace Decode
