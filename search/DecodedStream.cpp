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
    if (FTop == nullptr) {
        FTop = FCompressed.get();
        FTop->RecordMarks(&FMarks);
        char mark[2];
        const std::size_t got = FTop->Read(mark, sizeof mark);
        bool bigEndian = false;
        if (options.Utf16 && got == 2 && IsUtf16Mark(mark, bigEndian)) {
            // The mark is gone from the compressed stage's output: the conversion starts after it.
            FCompressed->RecordMarks(nullptr);
            FText = MakeUtf16Stage(*FCompressed, FFile, bigEndian, 0);
            FTop = FText.get();
        } else {
            FHead.assign(mark, got);
        }
    }
    FTop->RecordMarks(&FMarks);
    if (options.Probe > FHead.size()) {
        const std::size_t had = FHead.size();
        FHead.resize(options.Probe);
        FHead.resize(had + FTop->Read(FHead.data() + had, options.Probe - had));
    }
    FBinary =
        options.Probe != 0 && std::memchr(FHead.data(), 0, std::min(FHead.size(), options.Probe)) != nullptr;
}

std::size_t DecodedStream::Read(char* out, std::size_t n)
{
    std::size_t done = 0;
    if (FHeadAt < FHead.size()) {
        done = std::min(n, FHead.size() - FHeadAt);
        std::memcpy(out, FHead.data() + FHeadAt, done);
        FHeadAt += done;
        if (FHeadAt == FHead.size()) {
            FHead = std::string(); // its memory goes back
            FHeadAt = 0;
        }
    }
    if (done < n) {
        done += FTop->Read(out + done, n - done);
    }
    return done;
}

} // namespace Decode
