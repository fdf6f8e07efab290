#include "search/Decoders.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace Decode {

FileInput::FileInput(int fd, std::string prefix)
    : FFd(fd)
    , FPrefix(std::move(prefix))
{
}

std::size_t FileInput::Read(char* out, std::size_t n)
{
    std::size_t done = std::min(n, FPrefix.size() - FPrefixAt);
    std::memcpy(out, FPrefix.data() + FPrefixAt, done);
    FPrefixAt += done;
    if (FPrefixAt == FPrefix.size() && !FPrefix.empty()) {
        FPrefix = std::string(); // read once: its memory goes back
        FPrefixAt = 0;
    }
    while (done < n && !FEnded) {
        const ssize_t got = ::read(FFd, out + done, n - done);
        if (got > 0) {
            done += static_cast<std::size_t>(got);
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else {
            FError = got < 0 ? errno : 0;
            FEnded = true;
        }
    }
    FFetched += static_cast<std::int64_t>(done);
    return done;
}

void PositionMarks::Add(std::int64_t produced, std::int64_t fetched)
{
    // A chunk that made nothing is told by the next mark at the same place.
    if (!FMarks.empty() && FMarks.back().Produced == produced) {
        FMarks.back().Fetched = fetched;
        return;
    }
    if (FMarks.size() == MaxMarks) {
        std::deque<Mark> kept;
        for (std::size_t i = 0; i < FMarks.size(); i += 2) {
            kept.push_back(FMarks[i]);
        }
        FMarks.swap(kept);
    }
    FMarks.push_back({produced, fetched});
}

std::int64_t PositionMarks::FetchedAt(std::int64_t looked) const
{
    // The last fetch made before decoded byte looked - 1: the file position at which it was made.
    const auto after = std::partition_point(FMarks.begin(), FMarks.end(),
                                            [&](const Mark& mark) { return mark.Produced < looked; });
    return after == FMarks.begin() ? 0 : std::prev(after)->Fetched;
}

void PositionMarks::Forget(std::int64_t consumed)
{
    // Every later question is about a byte at or after consumed: the last mark before it still answers.
    while (FMarks.size() >= 2 && FMarks[1].Produced <= consumed) {
        FMarks.pop_front();
    }
}

DecoderStage::DecoderStage(ByteSource& input, const FileInput& file)
    : FInput(input)
    , FFile(file)
    , FIn(ChunkSize)
{
}

std::size_t DecoderStage::Read(char* out, std::size_t n)
{
    const std::size_t made = FError != 0 ? 0 : Produce(out, n);
    FProduced += static_cast<std::int64_t>(made);
    return made;
}

bool DecoderStage::Pull(std::size_t made)
{
    const std::size_t kept = FInEnd - FInAt;
    std::memmove(FIn.data(), FIn.data() + FInAt, kept);
    FInAt = 0;
    FInEnd = kept;
    const std::int64_t before = FFile.Fetched();
    const std::size_t got = FInput.Read(FIn.data() + kept, FIn.size() - kept);
    FInEnd += got;
    if (FMarks != nullptr && FFile.Fetched() != before) {
        FMarks->Add(FProduced + static_cast<std::int64_t>(made), FFile.Fetched());
    }
    if (got == 0 && FInput.Error() != 0) {
        FError = FInput.Error();
    }
    return got != 0;
}

} // namespace Decode
