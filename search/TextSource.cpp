#include "search/TextSource.h"

#include "search/DecodedStream.h"
#include "search/FastScan.h"
#include "search/LineReader.h"
#include "search/LongLine.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

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

/// A decoded file: its text is decoded forward as far as a read asks, into an unnamed file in the
/// temporary folder from which every read is served, so that reads may go back and memory stays
/// small. Damaged data ends the text where the damage begins (the search has said so already).
class DecodedFileSource final : public TextSource {
public:
    DecodedFileSource(int fd, std::string head, FileEncoding encoding, const DecodeOptions& options,
                      int spill)
        : FFd(fd)
        , FSpill(spill)
        , FText(fd, std::move(head), encoding, options)
    {
    }
    ~DecodedFileSource() override
    {
        ::close(FSpill);
        ::close(FFd);
    }
    DecodedFileSource(const DecodedFileSource&) = delete;
    DecodedFileSource& operator=(const DecodedFileSource&) = delete;

    std::int64_t Read(std::int64_t offset, char* buffer, std::size_t size) override
    {
        const std::int64_t want = offset + static_cast<std::int64_t>(size);
        while (!FEnded && FHave < want) {
            FChunk.resize(Decode::ChunkSize);
            const std::size_t got = FText.Read(FChunk.data(), FChunk.size());
            FEnded = got < FChunk.size();
            for (std::size_t done = 0; done < got;) {
                const ssize_t put = ::pwrite(FSpill, FChunk.data() + done, got - done, FHave);
                if (put < 0 && errno == EINTR) {
                    continue;
                }
                if (put <= 0) {
                    FFailReason = SystemReason(put < 0 ? errno : ENOSPC);
                    return -1;
                }
                done += static_cast<std::size_t>(put);
                FHave += put;
            }
        }
        if (offset >= FHave) {
            return 0;
        }
        for (;;) {
            const ssize_t got =
                ::pread(FSpill, buffer, static_cast<std::size_t>(std::min(want, FHave) - offset), offset);
            if (got >= 0) {
                return got;
            }
            if (errno != EINTR) {
                FFailReason = SystemReason(errno);
                return -1;
            }
        }
    }

    std::int64_t Size() const override { return -1; }

private:
    int FFd;
    int FSpill;
    Decode::DecodedStream FText;
    std::vector<char> FChunk;
    std::int64_t FHave = 0; // text decoded into FSpill so far
    bool FEnded = false;
};

} // namespace

std::unique_ptr<TextSource> OpenTextSource(const std::string& path, std::string& reason,
                                           const DecodeOptions& options)
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
    if (options.Utf16 || options.Decompress) {
        std::string head(EncodingMarkSize, '\0');
        const ssize_t got = ::pread(fd, head.data(), head.size(), 0);
        head.resize(static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
        DecodeOptions decode = options;
        decode.Probe = 0;
        if (const FileEncoding encoding = DetectEncoding(head, decode); encoding != FileEncoding::Plain) {
            const int spill = FastScan::OpenUnnamedTempFile();
            if (spill < 0) {
                reason = SystemReason(errno);
                ::close(fd);
                return nullptr;
            }
            return std::make_unique<DecodedFileSource>(fd, std::string(), encoding, decode, spill);
        }
    }
    return std::make_unique<PlainFileSource>(fd, static_cast<std::int64_t>(info.st_size));
}
