#include "search/LineReader.h"

#include "search/DecodedStream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

constexpr std::size_t ChunkSize = 256 * 1024;
constexpr char EndOfFileByte = 26;

} // namespace

std::string SystemReason(int error)
{
    return std::error_code(error, std::generic_category()).message();
}

LineReader::LineReader() = default;

LineReader::~LineReader()
{
    Close();
}

bool LineReader::Open(const std::string& path, std::string& reason, const DecodeOptions& decode)
{
    Close();
    FFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (FFd < 0) {
        reason = SystemReason(errno);
        return false;
    }
    struct stat info { };
    if (::fstat(FFd, &info) == 0 && S_ISREG(info.st_mode)) {
        FSizeBlocks = info.st_size / StatusBlockSize;
    }
    FBuffer.resize(ChunkSize);
    if (decode.Utf16 || decode.Decompress || decode.Probe != 0) {
        StartDecoding(decode);
    }
    return true;
}

void LineReader::FillHead(std::size_t want)
{
    while (FEnd < want && FEnd < FBuffer.size()) {
        const ssize_t got = ::read(FFd, FBuffer.data() + FEnd, FBuffer.size() - FEnd);
        if (got > 0) {
            FEnd += static_cast<std::size_t>(got);
            FFetched += got;
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else {
            if (got < 0) {
                FFailReason = SystemReason(errno);
            }
            FEndOfData = true;
            return;
        }
    }
}

void LineReader::StartDecoding(const DecodeOptions& decode)
{
    // The first bytes tell the encoding, and for a probe whether the text is binary.
    FillHead(std::max(decode.Probe, EncodingMarkSize));
    if (Failed()) {
        return; // the lines before the failure are read as they are
    }
    const FileEncoding encoding = DetectEncoding(std::string_view(FBuffer.data(), FEnd), decode);
    if (encoding == FileEncoding::Plain) {
        FBinary =
            decode.Probe != 0 && std::memchr(FBuffer.data(), 0, std::min(FEnd, decode.Probe)) != nullptr;
        return;
    }
    FDecoded =
        std::make_unique<Decode::DecodedStream>(FFd, std::string(FBuffer.data(), FEnd), encoding, decode);
    FBinary = FDecoded->Binary();
    FNext = FEnd = 0;
    FFetched = 0;
    FEndOfData = false;
}

void LineReader::Close()
{
    FDecoded.reset();
    FBinary = false;
    if (FFd >= 0) {
        ::close(FFd);
    }
    FFd = -1;
    FNext = FEnd = 0;
    FFetched = FLooked = 0;
    FSizeBlocks = -1;
    FEndOfData = false;
    FFailReason.clear();
}

bool LineReader::Fill()
{
    if (FEndOfData || FFd < 0) {
        return false;
    }
    if (FDecoded) {
        // Nothing before the new buffer is looked at again.
        FDecoded->Forget(FFetched);
        const std::size_t got = FDecoded->Read(FBuffer.data(), FBuffer.size());
        if (got != 0) {
            FNext = 0;
            FEnd = got;
            FFetched += static_cast<std::int64_t>(got);
            return true;
        }
        if (FDecoded->Error() != 0) {
            FFailReason = ReadFailureReason(FDecoded->Error());
        }
        FEndOfData = true;
        return false;
    }
    for (;;) {
        const ssize_t got = ::read(FFd, FBuffer.data(), FBuffer.size());
        if (got > 0) {
            FNext = 0;
            FEnd = static_cast<std::size_t>(got);
            FFetched += got;
            return true;
        }
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            FFailReason = SystemReason(errno);
        }
        FEndOfData = true;
        return false;
    }
}

int LineReader::Peek()
{
    if (FNext == FEnd && !Fill()) {
        return -1;
    }
    FLooked = std::max(FLooked, OffsetOfNext() + 1);
    return static_cast<unsigned char>(FBuffer[FNext]);
}

bool LineReader::AtEnd()
{
    const int next = Peek();
    return next < 0 || next == EndOfFileByte;
}

std::int64_t LineReader::PositionBlocks() const
{
    if (FDecoded) {
        return FDecoded->FileFetchedAt(FLooked) / StatusBlockSize; // the position in the file
    }
    const std::int64_t wholeBlocksLooked =
        (FLooked + StatusBlockSize - 1) / StatusBlockSize * StatusBlockSize;
    return std::min(wholeBlocksLooked, FFetched) / StatusBlockSize;
}

std::int64_t LineReader::FetchedBytes() const
{
    return FDecoded ? FDecoded->FileFetched() : FFetched;
}

void LineReader::ReadUpTo(std::string& line, bool lineFeedEnds)
{
    line.clear();
    for (;;) {
        if (FNext == FEnd && !Fill()) {
            return;
        }
        const char* begin = FBuffer.data() + FNext;
        const char* end = FBuffer.data() + FEnd;
        const char* stop = begin;
        while (stop != end && *stop != '\r' && *stop != EndOfFileByte && !(lineFeedEnds && *stop == '\n')) {
            ++stop;
        }
        line.append(begin, stop);
        FNext += static_cast<std::size_t>(stop - begin);
        if (stop == end) {
            FLooked = std::max(FLooked, FFetched);
            continue;
        }
        FLooked = std::max(FLooked, OffsetOfNext() + 1);
        if (*stop == EndOfFileByte) {
            return; // left in place: the file ends here
        }
        ++FNext;
        if (*stop == '\r' && Peek() == '\n') {
            ++FNext;
        }
        return;
    }
}

void LineReader::ReadDosLine(std::string& line)
{
    ReadUpTo(line, false);
}

void LineReader::ReadUnixLine(std::string& line)
{
    ReadUpTo(line, true);
}
