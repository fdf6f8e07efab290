#include "search/ResultLog.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t PendingLimit = 1 << 20;

std::string FullPath(const std::string& path)
{
    std::error_code error;
    const std::filesystem::path full = std::filesystem::absolute(path, error);
    return error ? path : full.lexically_normal().string();
}

/// Writes bytes at offset; gives how many were written before a failure (all of them on success).
std::size_t WriteAll(int fd, std::int64_t offset, std::string_view bytes)
{
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t done = ::pwrite(fd, bytes.data() + written, bytes.size() - written, offset);
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done <= 0) {
            break;
        }
        written += static_cast<std::size_t>(done);
        offset += done;
    }
    return written;
}

bool SameFile(int fd, const std::string& path)
{
    struct stat a { };
    struct stat b { };
    return ::fstat(fd, &a) == 0 && ::stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

} // namespace

ResultLog::~ResultLog()
{
    std::lock_guard guard(FLock);
    if (FFd >= 0) {
        try {
            FlushLocked();
        } catch (const std::exception&) {
            // Nothing can report it any more.
        }
        ::close(FFd); // also drops the lock on the file
    }
}

std::string ResultLog::PathFor(const std::string& programPath)
{
    return std::filesystem::path(programPath).replace_extension(".out").string();
}

void ResultLog::Create(const std::string& path)
{
    std::lock_guard guard(FLock);
    const std::string full = FullPath(path);
    if (FFd >= 0) {
        ::close(FFd);
        FFd = -1;
    }
    FPath = full;
    FPending.clear();
    FPosition = FLength = 0;
    FOpenStart = -1;
    FClearCount.fetch_add(1, std::memory_order_release);
    // Locked before it is emptied, so that a second copy of the program cannot wipe the first one's log.
    const int fd = ::open(full.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        throw std::runtime_error("Cannot create file " + full);
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ftruncate(fd, 0) != 0) {
        ::close(fd);
        throw std::runtime_error("Cannot create file " + full);
    }
    FFd = fd;
}

bool ResultLog::IsOpen() const
{
    std::lock_guard guard(FLock);
    return FFd >= 0;
}

std::string ResultLog::Path() const
{
    std::lock_guard guard(FLock);
    return FPath;
}

void ResultLog::WriteAt(std::int64_t offset, std::string_view bytes)
{
    if (FFd < 0) {
        throw std::runtime_error("Unable to write to " + FPath);
    }
    const std::size_t written = WriteAll(FFd, offset, bytes);
    if (written == bytes.size()) {
        return;
    }
    // What reached the disk stays, cut back to its last whole entry; the position and the length are
    // then the file's own, so that the next entry follows the real end and no hole is left.
    std::int64_t keep = offset + static_cast<std::int64_t>(written);
    if (const std::size_t cr = bytes.substr(0, written).rfind('\r'); cr != std::string_view::npos) {
        keep = offset + static_cast<std::int64_t>(cr) + 1;
    } else if (FOpenStart >= 0 && FOpenStart < offset) {
        keep = FOpenStart;
    } else {
        keep = offset;
    }
    struct stat info { };
    if (::fstat(FFd, &info) == 0 && info.st_size <= offset + static_cast<std::int64_t>(written) &&
        info.st_size > keep && ::ftruncate(FFd, keep) != 0) {
        keep = offset + static_cast<std::int64_t>(written);
    }
    FPosition = keep;
    FLength = ::fstat(FFd, &info) == 0 ? info.st_size : keep;
    FOpenStart = -1;
    throw std::runtime_error("Unable to write to " + FPath);
}

void ResultLog::FlushLocked()
{
    if (FPending.empty()) {
        return;
    }
    std::string pending;
    pending.swap(FPending);
    try {
        WriteAt(FPosition - static_cast<std::int64_t>(pending.size()), pending);
    } catch (...) {
        pending.clear();
        FPending.swap(pending); // keeps the buffer's capacity
        throw;
    }
    pending.clear();
    FPending.swap(pending);
}

void ResultLog::WriteLogLine(std::string_view text)
{
    std::lock_guard guard(FLock);
    if (FFd < 0) {
        throw std::runtime_error("Unable to write to " + FPath);
    }
    FOpenStart = -1;
    if (text.size() >= PendingLimit) {
        AppendLocked(text);
        AppendLocked("\r");
        return;
    }
    FPending.append(text);
    FPending += '\r';
    FPosition += static_cast<std::int64_t>(text.size()) + 1;
    FLength = std::max(FLength, FPosition);
    if (FPending.size() >= PendingLimit) {
        FlushLocked();
    }
}

void ResultLog::WriteLogEntries(std::string_view entries)
{
    std::lock_guard guard(FLock);
    AppendLocked(entries);
}

void ResultLog::WriteReportedEntries(std::string_view entries, std::uint64_t clearCount)
{
    std::lock_guard guard(FLock);
    if (FClearCount.load(std::memory_order_relaxed) != clearCount) {
        return; // reported before a Clear that has emptied the log since
    }
    AppendLocked(entries);
}

void ResultLog::AppendLocked(std::string_view entries)
{
    if (FFd < 0) {
        throw std::runtime_error("Unable to write to " + FPath);
    }
    if (entries.empty()) {
        return;
    }
    const std::size_t lastCr = entries.rfind('\r');
    if (lastCr == std::string_view::npos) {
        if (FOpenStart < 0) {
            FOpenStart = FPosition;
            FLengthAtOpen = FLength;
        }
    } else if (lastCr + 1 < entries.size()) {
        FOpenStart = FPosition + static_cast<std::int64_t>(lastCr) + 1;
        FLengthAtOpen = std::max(FLength, FOpenStart);
    } else {
        FOpenStart = -1;
    }
    const auto size = static_cast<std::int64_t>(entries.size());
    if (entries.size() >= PendingLimit) {
        // Written as it stands: a long entry is never copied into the buffer.
        FlushLocked();
        FPosition += size;
        FLength = std::max(FLength, FPosition);
        WriteAt(FPosition - size, entries);
        return;
    }
    FPending.append(entries);
    FPosition += size;
    FLength = std::max(FLength, FPosition);
    if (FPending.size() >= PendingLimit) {
        FlushLocked();
    }
}

void ResultLog::DropOpenEntry()
{
    std::lock_guard guard(FLock);
    if (FOpenStart < 0) {
        return;
    }
    const std::int64_t pendingStart = FPosition - static_cast<std::int64_t>(FPending.size());
    const std::int64_t start = FOpenStart;
    FOpenStart = -1;
    FPosition = start;
    FLength = std::max(FLengthAtOpen, start);
    if (start >= pendingStart) {
        FPending.resize(static_cast<std::size_t>(start - pendingStart));
        return;
    }
    FPending.clear();
    if (FFd >= 0 && ::ftruncate(FFd, FLength) != 0) {
        throw std::runtime_error("Unable to write to " + FPath);
    }
}

void ResultLog::Flush()
{
    std::lock_guard guard(FLock);
    FlushLocked();
}

void ResultLog::CopyLogTo(const std::string& fileName)
{
    std::lock_guard guard(FLock);
    FlushLocked();
    const std::string full = FullPath(fileName);
    if (FFd >= 0 && SameFile(FFd, full)) {
        FPosition = FLength; // it already holds the whole log; opening it for writing would empty it
        return;
    }
    // Opened without waiting: a FIFO would hold the caller (the window) in open() until a reader came.
    // A FIFO or a socket is refused; a regular file is emptied first; a device (/dev/null) is written.
    const int out = ::open(full.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644);
    struct stat info { };
    if (out < 0 || ::fstat(out, &info) != 0 || !(S_ISREG(info.st_mode) || S_ISCHR(info.st_mode)) ||
        (S_ISREG(info.st_mode) && ::ftruncate(out, 0) != 0)) {
        if (out >= 0) {
            ::close(out);
        }
        throw std::runtime_error("Cannot create file " + full);
    }
    std::string chunk(1 << 16, '\0');
    std::int64_t offset = 0;
    bool ok = true;
    while (ok && FFd >= 0 && offset < FLength) {
        const ssize_t got = ::pread(FFd, chunk.data(), chunk.size(), offset);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        ok = WriteAll(out, offset, std::string_view(chunk.data(), static_cast<std::size_t>(got))) ==
             static_cast<std::size_t>(got);
        offset += got;
    }
    // A log that could not be read to its end (cut short by someone else, a read error) gave a short
    // copy, which must not pass for the whole log.
    ok = ok && offset == FLength;
    ok = ::close(out) == 0 && ok;
    if (!ok) {
        throw std::runtime_error("Unable to write to " + full);
    }
    FPosition = FLength;
}

void ResultLog::Clear()
{
    std::lock_guard guard(FLock);
    FPending.clear();
    FPosition = FLength = 0;
    FOpenStart = -1;
    FClearCount.fetch_add(1, std::memory_order_release);
    if (FFd >= 0 && ::ftruncate(FFd, 0) != 0) {
        throw std::runtime_error("Unable to write to " + FPath);
    }
}

void ResultLog::Rewind()
{
    std::lock_guard guard(FLock);
    FlushLocked();
    FPosition = 0;
}

std::string ResultLog::ReadAll(std::size_t maxBytes)
{
    std::lock_guard guard(FLock);
    FlushLocked();
    std::string all(std::min(static_cast<std::size_t>(FLength), maxBytes), '\0');
    std::size_t done = 0;
    while (FFd >= 0 && done < all.size()) {
        const ssize_t got = ::pread(FFd, all.data() + done, all.size() - done, static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    all.resize(done);
    FPosition = FLength;
    return all;
}

std::int64_t ResultLog::Size() const
{
    std::lock_guard guard(FLock);
    return FLength;
}
