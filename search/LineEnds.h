#pragma once

#include <cstddef>

/// Counts of line-end bytes in a buffer, found with SIMD kernels chosen at run time.
struct TerminatorCounts {
    std::size_t Lf = 0; // line feeds (10)
    std::size_t Cr = 0; // carriage returns (13)
    std::size_t CrLf = 0; // carriage returns directly followed by a line feed inside the range
};

/// What one pass over a window learns before its lines are cut.
struct WindowFlags {
    const char* First26 = nullptr; // first byte 26, or nullptr
    bool HasCr = false; // a carriage return occurs before First26 (or the end)
};

/// Number of bytes equal to c in [begin, end).
std::size_t CountByte(const char* begin, const char* end, char c);

/// Line feeds, carriage returns and CR LF pairs in [begin, end).
TerminatorCounts CountTerminators(const char* begin, const char* end);

/// First byte equal to a or b in [begin, end), or nullptr.
const char* FindEither(const char* begin, const char* end, char a, char b);

/// Scans [begin, end) once for byte 26 and carriage returns.
WindowFlags ScanWindow(const char* begin, const char* end);

/// Copies n bytes from in to out with every byte equal to from turned into to.
void CopyReplacing(char* out, const char* in, std::size_t n, char from, char to);

/// Forces the portable kernels (tests compare them with the SIMD ones).
void UseScalarLineEnds(bool scalar);
