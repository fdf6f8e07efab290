#include "search/Decoding.h"

#include "search/DecodedStream.h"
#include "search/LineReader.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

bool StartsWith(std::string_view head, std::initializer_list<unsigned char> bytes)
{
    if (head.size() < bytes.size()) {
        return false;
    }
    std::size_t i = 0;
    for (const unsigned char b : bytes) {
        if (static_cast<unsigned char>(head[i++]) != b) {
            return false;
        }
    }
    return true;
}

/// Reads up to n bytes from the start of fd; false with the errno when reading fails.
bool ReadHead(int fd, std::string& head, std::size_t n, int& error)
{
    head.resize(n);
    std::size_t done = 0;
    while (done < n) {
        const ssize_t got = ::read(fd, head.data() + done, n - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            error = errno;
            return false;
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    head.resize(done);
    return true;
}

bool WriteAll(int fd, const char* p, std::size_t n, int& error)
{
    while (n != 0) {
        const ssize_t done = ::write(fd, p, n);
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done <= 0) {
            error = done < 0 ? errno : ENOSPC;
            return false;
        }
        p += done;
        n -= static_cast<std::size_t>(done);
    }
    return true;
}

struct FdCloser {
    int Fd;
    ~FdCloser()
    {
        if (Fd >= 0) {
            ::close(Fd);
        }
    }
};

} // namespace

FileEncoding DetectEncoding(std::string_view head, const DecodeOptions& options)
{
    if (options.Decompress) {
        if (StartsWith(head, {0x1F, 0x8B, 0x08})) {
            return FileEncoding::Gzip;
        }
        // "BZh", the block size, then the magic of the first block or of the end of an empty stream:
        // text that merely begins with "BZh9" stays text.
        for (const unsigned char size : {'1', '2', '3', '4', '5', '6', '7', '8', '9'}) {
            if (StartsWith(head, {'B', 'Z', 'h', size, 0x31, 0x41, 0x59, 0x26, 0x53, 0x59}) ||
                StartsWith(head, {'B', 'Z', 'h', size, 0x17, 0x72, 0x45, 0x38, 0x50, 0x90})) {
                return FileEncoding::Bzip2;
            }
        }
        if (StartsWith(head, {0xFD, '7', 'z', 'X', 'Z', 0x00})) {
            return FileEncoding::Xz;
        }
        if (StartsWith(head, {0x28, 0xB5, 0x2F, 0xFD})) {
            return FileEncoding::Zstd;
        }
    }
    if (options.Utf16) {
        if (StartsWith(head, {0xFF, 0xFE})) {
            return FileEncoding::Utf16Le;
        }
        if (StartsWith(head, {0xFE, 0xFF})) {
            return FileEncoding::Utf16Be;
        }
    }
    return FileEncoding::Plain;
}

std::string ReadFailureReason(int error)
{
    switch (error) {
    case Decode::DamagedData:
        return std::string(DamagedDataReason);
    case Decode::TooMuchMemory:
        return std::string(DecoderMemoryReason);
    default:
        return SystemReason(error);
    }
}

CopyEnd DecodeFile(const std::string& path, int out, const DecodeOptions& decode, std::string& reason)
{
    const FdCloser in{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    int error = 0;
    std::string head;
    if (in.Fd < 0 || !ReadHead(in.Fd, head, EncodingMarkSize, error)) {
        reason = SystemReason(in.Fd < 0 ? errno : error);
        return CopyEnd::ReadFailed;
    }
    DecodeOptions options = decode;
    options.Probe = 0;
    const FileEncoding encoding = DetectEncoding(head, options);
    std::vector<char> buffer(256 * 1024);
    if (encoding == FileEncoding::Plain) {
        // Not compressed after all: the copy is the file.
        if (!WriteAll(out, head.data(), head.size(), error)) {
            reason = SystemReason(error);
            return CopyEnd::WriteFailed;
        }
        for (;;) {
            const ssize_t got = ::read(in.Fd, buffer.data(), buffer.size());
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                reason = SystemReason(errno);
                return CopyEnd::ReadFailed;
            }
            if (got == 0) {
                return CopyEnd::Whole;
            }
            if (!WriteAll(out, buffer.data(), static_cast<std::size_t>(got), error)) {
                reason = SystemReason(error);
                return CopyEnd::WriteFailed;
            }
        }
    }
    Decode::DecodedStream text(in.Fd, std::move(head), encoding, options);
    for (;;) {
        const std::size_t got = text.Read(buffer.data(), buffer.size());
        if (got != 0 && !WriteAll(out, buffer.data(), got, error)) {
            reason = SystemReason(error);
            return CopyEnd::WriteFailed;
        }
        if (got < buffer.size()) {
            break;
        }
    }
    if (const int failed = text.Error(); failed != 0) {
        reason = ReadFailureReason(failed);
        return failed == Decode::DamagedData || failed == Decode::TooMuchMemory ? CopyEnd::Damaged
                                                                                : CopyEnd::ReadFailed;
    }
    return CopyEnd::Whole;
}

bool NeedsDecoding(const std::string& path, const DecodeOptions& options)
{
    const FdCloser in{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    std::string head;
    int error = 0;
    return in.Fd >= 0 && ReadHead(in.Fd, head, EncodingMarkSize, error) &&
           DetectEncoding(head, options) != FileEncoding::Plain;
}
