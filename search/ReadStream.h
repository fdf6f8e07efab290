#pragma once

// Internal to the windowed scan (FastScan.cpp and its units in search/); not part of the engine's API.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace Decode {
class DecodedStream;
}

namespace FastScan {

/// The read() side of a scan: a buffer of fixed size over the file (or over its decoded text),
/// refilled from its start.
struct ReadStream {
    int Fd = -1;
    Decode::DecodedStream* Source = nullptr; // read instead of Fd when the file is decoded
    char* Buffer = nullptr;
    std::size_t Capacity = 0;
    std::size_t Held = 0; // bytes in the buffer, from a line start
    std::int64_t Offset = 0; // offset of Buffer[0] in what is read
    std::int64_t Fetched = 0;
    std::int64_t Limit = -1; // the size of a regular file: no read past it is needed
    bool AtEnd = false;
    int Error = 0; // errno of a failed read, or a decoder's code

    /// Reads until the buffer is full or the data ends.
    void Fill();

    /// Drops the first n bytes, which have been scanned.
    void Consume(std::size_t n);

    /// The first bytes, at least want of them unless the data is shorter, before anything is
    /// consumed; they stay to be read. A buffer smaller than want reads them ahead into a string.
    std::string_view Head(std::size_t want);

    /// Starts over on the decoded text of the file: what was read so far belongs to source now.
    void ReadFrom(Decode::DecodedStream& source);

private:
    std::string FAhead; // bytes fetched ahead of the buffer by Head
    std::size_t FAheadAt = 0;
    bool FAheadEnded = false; // Head met the end of the data
    int FAheadError = 0;
};

} // namespace FastScan
