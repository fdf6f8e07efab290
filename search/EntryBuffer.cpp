#include "search/EntryBuffer.h"

#include "search/MappedFile.h"

#include <cerrno>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace FastScan {

namespace {

    constexpr std::size_t OutputFlushSize = 256 * 1024;

} // namespace

EntryBuffer::EntryBuffer(EntrySink& sink, bool numbered, std::vector<char>& storage)
    : FSink(sink)
    , FNumbered(numbered)
    , FBytes(storage)
{
    if (FBytes.size() < OutputFlushSize) {
        FBytes.resize(OutputFlushSize);
    }
}

void EntryBuffer::WatchMapping(int fd, const char* base, std::int64_t size)
{
    FWatchFd = fd;
    FBase = base;
    FDataEnd = base + size;
    FSources.resize(SourceLimit); // here, since the scan of the mapping may not allocate
    FSourceCount = 0;
}

bool EntryBuffer::AppendFromFile(int fd, std::int64_t size)
{
    for (std::int64_t offset = 0; offset < size;) {
        if (FSize == FBytes.size()) {
            Flush();
        }
        const auto want = static_cast<std::size_t>(
            std::min<std::int64_t>(size - offset, static_cast<std::int64_t>(FBytes.size() - FSize)));
        const ssize_t got = ::pread(fd, FBytes.data() + FSize, want, offset);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        FSize += static_cast<std::size_t>(got);
        offset += got;
    }
    return true;
}

void EntryBuffer::Flush()
{
    OutsideMapping outside;
    if (FWatchFd >= 0 && !FShortened) {
        CutAtFileEnd();
    }
    if (FSize != 0) {
        FSink.WriteReportedEntries(std::string_view(FBytes.data(), FSize), FClearCount);
        FSinkOpen = FBytes[FSize - 1] != Cr;
    }
    FOpenAt = 0;
    FSize = 0;
    FSourceCount = 0;
}

void EntryBuffer::DropOpen()
{
    if (!FOpen) {
        return;
    }
    FSize = FOpenAt;
    FOpen = FHeldLast = false;
    if (FSize == 0 && FSinkOpen) {
        OutsideMapping outside;
        FSinkOpen = false;
        FSink.DropOpenEntry();
    }
}

void EntryBuffer::Finish()
{
    if (FWatchFd >= 0 && !FShortened) {
        CutAtFileEnd();
        // Even when nothing copied came from past its new end, the scan read zeros there.
        struct stat info { };
        if (!FShortened && ::fstat(FWatchFd, &info) == 0 && info.st_size < FDataEnd - FBase) {
            FShortened = true;
        }
    }
    if (FShortened) {
        DropOpen();
    } else if (FHeldLast) {
        FHeldLast = false;
        EndEntry(nullptr);
    }
    Flush();
}

void EntryBuffer::CutAtFileEnd()
{
    struct stat info { };
    if (FCopiedTo == nullptr || ::fstat(FWatchFd, &info) != 0 || info.st_size >= FCopiedTo - FBase) {
        return;
    }
    FShortened = true;
    // The first byte in the buffer that came from past the new end. A line end seen in the
    // mapping was really there (bytes past the end read as zero), so only copied text is suspect.
    const char* valid = FBase + info.st_size;
    std::size_t suspect = FSize;
    for (std::size_t i = 0; i < FSourceCount; ++i) {
        const Source& s = FSources[i];
        if (s.From + s.Size > valid) {
            const std::ptrdiff_t good = std::max(valid - s.From, std::ptrdiff_t{0});
            suspect = std::min(FSize, s.At + static_cast<std::size_t>(good));
            break;
        }
    }
    const void* cr = suspect != 0 ? ::memrchr(FBytes.data(), Cr, suspect) : nullptr;
    FSize = cr != nullptr ? static_cast<std::size_t>(static_cast<const char*>(cr) - FBytes.data()) + 1 : 0;
    FOpen = FHeldLast = false;
    if (FSize == 0 && FSinkOpen) {
        FSinkOpen = false;
        FSink.DropOpenEntry();
    }
}

} // namespace FastScan
