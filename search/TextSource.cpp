#include "search/TextSource.h"

#include "search/FastScan.h"
#include "search/LineReader.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

/// A plain file, read with pread: reads never move a shared position, and a file shortened under the
/// reader gives short reads, never a fault.
class PlainFileSource final : public TextSource {
public:
    PlainFileSource(int fd, std::int64_t size)
        : FFd(fd)
        , FSize(size)
    {
    }
    ~PlainFileSource() override { ::close(FFd); }
    PlainFileSource(const PlainFileSource&) = delete;
    PlainFileSource& operator=(const PlainFileSource&) = delete;

    std::int64_t Read(std::int64_t offset, char* buffer, std::size_t size) override
    {
        for (;;) {
            const ssize_t got = ::pread(FFd, buffer, size, static_cast<off_t>(offset));
            if (got >= 0) {
                return got;
            }
            if (errno != EINTR) {
                FFailReason = SystemReason(errno);
                return -1;
            }
        }
    }

    std::int64_t Size() const override { return FSize; }

    std::int64_t NextData(std::int64_t offset) override
    {
        const off_t data = ::lseek(FFd, static_cast<off_t>(offset), SEEK_DATA);
        if (data >= 0) {
            return std::max<std::int64_t>(data, offset);
        }
        // ENXIO: nothing but a hole up to the end; anything else: the file system cannot tell.
        return errno == ENXIO ? std::max(offset, FSize) : offset;
    }

private:
    int FFd;
    std::int64_t FSize;
};

} // namespace

std::unique_ptr<TextSource> OpenTextSource(const std::string& path, std::string& reason)
{
    // Without O_NONBLOCK, opening a FIFO would wait for a writer before the check below could refuse it.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        reason = SystemReason(errno);
        return nullptr;
    }
    struct stat info { };
    if (::fstat(fd, &info) != 0) {
        reason = SystemReason(errno);
        ::close(fd);
        return nullptr;
    }
    if (!S_ISREG(info.st_mode)) {
        reason = NotRegularFileReason;
        ::close(fd);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return std::make_unique<PlainFileSource>(fd, static_cast<std::int64_t>(info.st_size));
}
