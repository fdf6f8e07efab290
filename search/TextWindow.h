#pragma once

// Internal to the windowed scan (FastScan.cpp and its units in search/); not part of the engine's API.

#include "search/SearchRequest.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>

namespace FastScan {

inline constexpr char Lf = '\n';
inline constexpr char Cr = '\r';

/// Which bytes end lines in a window.
enum class Ends {
    Lf, // Unix rule, and the window holds no carriage return
    Mixed, // Unix rule with carriage returns present: LF, CR and CR LF
    Cr, // DOS rule: CR and CR LF; a lone LF is part of the line
};

/// A stretch of the file holding whole lines: Begin is a line start, End is a line start or the end
/// of the data (the end of the file or a byte 26).
struct Window {
    const char* Begin = nullptr;
    const char* End = nullptr;
    std::int64_t Offset = 0; // file offset of Begin
    bool Last = false; // nothing follows End
    bool EndsAt26 = false; // End stands on a byte 26
    Ends Mode = Ends::Lf;
    bool Checked = true; // Mode and End are known to be right (CR and byte 26 looked for)
};

// The three below run for every candidate line, so they stay where the scan loops can inline them.

/// The last byte equal to c in [begin, end), or nullptr.
inline const char* LastOf(const char* begin, const char* end, char c)
{
    return begin < end ? static_cast<const char*>(::memrchr(begin, c, static_cast<std::size_t>(end - begin)))
                       : nullptr;
}

/// The last line end in [begin, end) under the mode's rule, or nullptr.
inline const char* LastTerminator(const char* begin, const char* end, Ends mode)
{
    switch (mode) {
    case Ends::Lf:
        return LastOf(begin, end, Lf);
    case Ends::Cr:
        return LastOf(begin, end, Cr);
    case Ends::Mixed:
        break;
    }
    return std::max(LastOf(begin, end, Lf), LastOf(begin, end, Cr), std::less<>());
}

/// Where the next line starts after the line end t; a CR directly followed by LF ends a line once.
inline const char* AfterEnd(const char* t, const char* end)
{
    if (t == end) {
        return end;
    }
    return *t == Cr && t + 1 < end && t[1] == Lf ? t + 2 : t + 1;
}

/// Cuts a window out of [begin, limit): up to its last complete line end, or everything when the
/// data ends at limit. Gives false when no line ends in it yet (more data is needed). Unchecked, it
/// leaves CR and byte 26 to the scan and assumes the format's usual line end.
bool CutWindow(const char* begin, const char* limit, bool dataEndsHere, LineFormat format, bool check,
               Window& w);

} // namespace FastScan
