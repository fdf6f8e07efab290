#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

/// How the windowed scan reads a file. The defaults are what runs use; tests shrink the window
/// so that lines cross window edges, and force read() to cover the path pipes take.
struct FastScanOptions {
    std::size_t Window = std::size_t{1} << 20; ///< bytes searched at once; grown for a longer line
    bool ReadOnly = false; ///< read() regular files too instead of mapping them
};

/// The reason given for a file that became shorter while it was read.
inline constexpr std::string_view ShortenedFileReason = "The file was shortened while it was read";

/// The reason given for a listed path that is no longer a regular file (a FIFO, a device, a socket).
inline constexpr std::string_view NotRegularFileReason = "Not a regular file";

/// Why reading a mapped file faulted at offset: shortened when the file now ends at or before it,
/// otherwise the system's reason for reading there (an I/O error).
std::string MappedFaultReason(int fd, std::int64_t offset);
