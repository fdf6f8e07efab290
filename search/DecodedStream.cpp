#include "search/DecodedStream.h"

#include <algorithm>
#include <cstring>

namespace Decode {

namespace {

    bool IsUtf16Mark(const char* p, bool& bigEndian)
    {
        const auto a = static_cast<unsigned char>(p[0]);
        const auto b = static_cast<unsigned char>(p[1]);
        bigEndian = a == 0xFE && b == 0xFF;
        return bigEndian || (a == 0xFF && b == 0xFE);
    }

} // namespace

DecodedStream::DecodedStream(int fd, std::string head, FileEncoding encoding, const DecodeOptions& options)
    : FFile(fd, std::move(head))
{
    switch (encoding) {
    case FileEncoding::Utf16Le:
    case FileEncoding::Utf16Be:
        FText = MakeUtf16Stage(FFile, FFile, encoding == FileEncoding::Utf16Be, 2);
        FTop = FText.get();
        break;
    case FileEncoding::Gzip:
        FCompressed = MakeGzipStage(FFile, FFile);
        break;
    case FileEncoding::Bzip2:
        FCompressed = MakeBzip2Stage(FFile, FFile);
        break;
    case FileEncoding::Xz:
        FCompressed = MakeXzStage(FFile, FFile);
        break;
    case FileEncoding::Zstd:
    case FileEncoding::Plain: // not asked for; read as zstd, it is reported as damaged
        FCompressed = MakeZstdStage(FFile, FFile);
        break;
    }
    std::size_t marked = 0;
    char mark[2];
    if (FTop == nullptr) {
        FTop = FCompressed.get();
        FTop->RecordMarks(&FMarks);
        marked = FTop->Read(mark, sizeof mark);
        bool bigEndian = false;
        if (options.Utf16 && marked == 2 && IsUtf16Mark(mark, bigEndian)) {
            // The mark is gone from the compressed stage's output: the conversion starts after it.
            FCompressed->RecordMarks(nullptr);
            FText = MakeUtf16Stage(*FCompressed, FFile, bigEndian, 0);
            FTop = FText.get();
            marked = 0;
        }
    }
    FTop->RecordMarks(&FMarks);
    FMade.resize(std::max(ChunkSize, options.Probe));
    std::memcpy(FMade.data(), mark, marked);
    FEnd = marked;
    if (options.Probe != 0) {
        Refill();
        FBinary = std::memchr(FMade.data(), 0, std::min(FEnd, options.Probe)) != nullptr;
    }
}

void DecodedStream::Refill()
{
    const std::size_t got = FTop->Read(FMade.data() + FEnd, FMade.size() - FEnd);
    FEnded = FEnd + got < FMade.size();
    FEnd += got;
}

std::size_t DecodedStream::Read(char* out, std::size_t n)
{
    std::size_t done = 0;
    while (done < n) {
        if (FAt == FEnd) {
            if (FEnded) {
                break;
            }
            FAt = FEnd = 0;
            Refill();
            if (FEnd == 0) {
                break;
            }
        }
        const std::size_t k = std::min(n - done, FEnd - FAt);
        std::memcpy(out + done, FMade.data() + FAt, k);
        FAt += k;
        done += k;
    }
    return done;
}

} // namespace Decode
