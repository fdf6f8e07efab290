#include "search/FileChunks.h"

#include "search/LineEnds.h"
#include "search/TextWindow.h"

#include <cstring>

namespace FastScan {

std::int64_t LineStartFrom(const char* data, std::int64_t size, std::int64_t at, LineFormat format)
{
    if (at <= 0) {
        return 0;
    }
    if (at >= size) {
        return size;
    }
    // The byte before decides: a line starts after a line end. The LF of a CR LF pair ends the
    // line under both rules, although a lone LF ends none under the DOS rule.
    if (data[at - 1] == Lf && at >= 2 && data[at - 2] == Cr) {
        return at;
    }
    const char* from = data + at - 1;
    const char* end = data + size;
    const void* t = format == LineFormat::Dos ? std::memchr(from, Cr, static_cast<std::size_t>(end - from))
                                              : FindEither(from, end, Lf, Cr);
    if (t == nullptr) {
        return size;
    }
    return AfterEnd(static_cast<const char*>(t), end) - data;
}

std::int64_t CountEndedLines(const char* begin, const char* end, LineFormat format)
{
    if (format == LineFormat::Dos) {
        return static_cast<std::int64_t>(CountByte(begin, end, Cr));
    }
    const TerminatorCounts c = CountTerminators(begin, end);
    return static_cast<std::int64_t>(c.Lf + c.Cr - c.CrLf);
}

} // namespace FastScan
