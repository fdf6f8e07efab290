#include "search/TextWindow.h"

#include "search/LineEnds.h"

namespace FastScan {

bool CutWindow(const char* begin, const char* limit, bool dataEndsHere, LineFormat format, bool check,
               Window& w)
{
    w.Begin = begin;
    w.Last = false;
    w.EndsAt26 = false;
    if (!check) {
        w.Mode = format == LineFormat::Dos ? Ends::Cr : Ends::Lf;
        w.Checked = false;
        if (dataEndsHere) {
            w.End = limit;
            w.Last = true;
            return true;
        }
        // The last byte stays out of the search: a CR there may yet be followed by a LF.
        if (const char* t = LastTerminator(begin, limit - 1, w.Mode)) {
            w.End = AfterEnd(t, limit);
            return true;
        }
        // No LF at all (a CR-only file, say): the checked cut finds its line ends.
    }
    const WindowFlags flags = ScanWindow(begin, limit);
    w.Checked = true;
    w.Mode = format == LineFormat::Dos ? Ends::Cr : flags.HasCr ? Ends::Mixed : Ends::Lf;
    if (flags.First26 != nullptr) {
        w.End = flags.First26;
        w.Last = true;
        w.EndsAt26 = true;
        return true;
    }
    if (dataEndsHere) {
        w.End = limit;
        w.Last = true;
        return true;
    }
    const char* t = LastTerminator(begin, limit - 1, w.Mode);
    if (t == nullptr) {
        return false;
    }
    w.End = AfterEnd(t, limit);
    return true;
}

} // namespace FastScan
