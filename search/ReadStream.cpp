#include "search/ReadStream.h"

#include "search/DecodedStream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace FastScan {

void ReadStream::Fill()
{
    if (FAheadAt < FAhead.size()) {
        const std::size_t n = std::min(Capacity - Held, FAhead.size() - FAheadAt);
        std::memcpy(Buffer + Held, FAhead.data() + FAheadAt, n);
        Held += n;
        FAheadAt += n;
        if (FAheadAt < FAhead.size()) {
            return;
        }
    }
    if (FAheadEnded) {
        // Head met the end (or a failed read) after the bytes it kept: it counts once they are read.
        FAheadEnded = false;
        AtEnd = true;
        Error = FAheadError;
    }
    if (Source != nullptr) {
        if (Held < Capacity && !AtEnd) {
            const std::size_t got = Source->Read(Buffer + Held, Capacity - Held);
            Held += got;
            Fetched += static_cast<std::int64_t>(got);
            if (Held < Capacity) {
                Error = Source->Error();
                AtEnd = true;
            }
        }
        return;
    }
    while (Held < Capacity && !AtEnd) {
        if (Fetched == Limit) {
            AtEnd = true; // spares the read() that would only say so
            break;
        }
        const ssize_t got = ::read(Fd, Buffer + Held, Capacity - Held);
        if (got > 0) {
            Held += static_cast<std::size_t>(got);
            Fetched += got;
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else {
            Error = got < 0 ? errno : 0;
            AtEnd = true;
        }
    }
}

void ReadStream::Consume(std::size_t n)
{
    std::memmove(Buffer, Buffer + n, Held - n);
    Held -= n;
    Offset += static_cast<std::int64_t>(n);
    if (Source != nullptr) {
        Source->Forget(Offset);
    }
}

std::string_view ReadStream::Head(std::size_t want)
{
    Fill();
    if (Held >= want || AtEnd) {
        return {Buffer, Held};
    }
    FAhead.assign(Buffer, Held);
    FAheadAt = 0;
    Held = 0;
    while (FAhead.size() < want && Fetched != Limit) {
        const std::size_t had = FAhead.size();
        FAhead.resize(want);
        const ssize_t got = ::read(Fd, FAhead.data() + had, want - had);
        FAhead.resize(had + static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
        if (got > 0) {
            Fetched += got;
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else {
            FAheadError = got < 0 ? errno : 0;
            FAheadEnded = true;
            break;
        }
    }
    return FAhead;
}

void ReadStream::ReadFrom(Decode::DecodedStream& source)
{
    Source = &source;
    Held = 0;
    Offset = 0;
    Fetched = 0;
    Limit = -1;
    AtEnd = false;
    Error = 0;
    FAhead = std::string();
    FAheadAt = 0;
    FAheadEnded = false;
}

} // namespace FastScan
