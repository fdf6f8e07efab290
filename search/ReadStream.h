#pragma once

// Internal to the windowed scan (FastScan.cpp and its units in search/); not part of the engine's API.

#include <cstddef>
#include <cstdint>

namespace FastScan {

/// The read() side of a scan: a buffer of fixed size over the file, refilled from its start.
struct ReadStream {
    int Fd = -1;
    char* Buffer = nullptr;
    std::size_t Capacity = 0;
    std::size_t Held = 0; // bytes in the buffer, from a line start
    std::int64_t Offset = 0; // file offset of Buffer[0]
    std::int64_t Fetched = 0;
    std::int64_t Limit = -1; // the size of a regular file: no read past it is needed
    bool AtEnd = false;
    int Error = 0; // errno of a failed read

    /// Reads until the buffer is full or the data ends.
    void Fill();

    /// Drops the first n bytes, which have been scanned.
    void Consume(std::size_t n);
};

} // namespace FastScan
