#include "search/LongLine.h"

#include "search/LineEnds.h"
#include "search/TextWindow.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace FastScan {

const char* FirstLineEnd(const char* begin, const char* end, bool dos)
{
    const char* z = static_cast<const char*>(std::memchr(begin, 26, static_cast<std::size_t>(end - begin)));
    const char* limit = z != nullptr ? z : end;
    const char* t =
        dos ? static_cast<const char*>(std::memchr(begin, Cr, static_cast<std::size_t>(limit - begin)))
            : FindEither(begin, limit, Lf, Cr);
    return t != nullptr ? t : z;
}

void PieceTest::Look(const LiteralFinder& finder, std::string& tail, bool& found, bool count,
                     const char* begin, const char* end)
{
    if (finder.Empty() || (found && !count)) {
        return;
    }
    const std::size_t keep = finder.Size() - 1;
    if (!tail.empty()) {
        // Occurrences that start in the tail of the pieces before and end in this one.
        FSeam.assign(tail);
        FSeam.append(begin, std::min(static_cast<std::size_t>(end - begin), keep));
        const char* seamEnd = FSeam.data() + FSeam.size();
        for (const char* at = finder.Find(FSeam.data(), seamEnd);
             at != nullptr && at < FSeam.data() + tail.size(); at = finder.Find(at + 1, seamEnd)) {
            found = true;
            if (!count) {
                return;
            }
            ++FWords;
        }
    }
    for (const char* at = finder.Find(begin, end); at != nullptr; at = finder.Find(at + 1, end)) {
        found = true;
        if (!count) {
            return;
        }
        ++FWords;
    }
    if (static_cast<std::size_t>(end - begin) >= keep) {
        tail.assign(end - keep, end);
    } else {
        tail.append(begin, end);
        tail.erase(0, tail.size() > keep ? tail.size() - keep : 0);
    }
}

int SpillFile::Write(const char* begin, const char* end)
{
    if (FFd < 0 && (FFd = OpenUnnamedTempFile()) < 0) {
        return errno != 0 ? errno : EIO;
    }
    while (begin < end) {
        const ssize_t done = ::write(FFd, begin, static_cast<std::size_t>(end - begin));
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done <= 0) {
            return done < 0 ? errno : ENOSPC;
        }
        begin += done;
        FSize += done;
    }
    return 0;
}

void SpillFile::Close()
{
    if (FFd >= 0) {
        ::close(FFd);
    }
    FFd = -1;
    FSize = 0;
}

int OpenUnnamedTempFile()
{
    const char* folder = std::getenv("TMPDIR");
    const std::string dir = folder != nullptr && *folder != '\0' ? folder : "/tmp";
    const int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) {
        return fd;
    }
    std::string name = dir + "/sifton-line-XXXXXX";
    const int named = ::mkostemp(name.data(), O_CLOEXEC);
    if (named >= 0) {
        ::unlink(name.c_str());
    }
    return named;
}

} // namespace FastScan
