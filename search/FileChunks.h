#pragma once

// Internal to the windowed scan (FastScan.cpp and its units in search/); not part of the engine's API.

#include "search/SearchRequest.h"

#include <cstdint>

// A large mapped file is scanned in chunks by several threads. A chunk is the stretch of whole
// lines that start inside its share of the bytes, so a line that crosses a share's edge, however
// long, belongs to the chunk where it starts, and a CR LF pair is never cut.

namespace FastScan {

/// The first line start at or after at in the data (size when no line starts there).
std::int64_t LineStartFrom(const char* data, std::int64_t size, std::int64_t at, LineFormat format);

/// Lines ended in [begin, end) under the format's rule; end is a line start or the data's end.
std::int64_t CountEndedLines(const char* begin, const char* end, LineFormat format);

} // namespace FastScan
