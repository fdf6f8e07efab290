#include "search/ReadStream.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace FastScan {

void ReadStream::Fill()
{
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
}

} // namespace FastScan
