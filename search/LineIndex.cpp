#include "search/LineIndex.h"

#include "search/LineEnds.h"
#include "search/LiteralFinder.h"
#include "search/TextSource.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char Lf = '\n';
constexpr char Cr = '\r';
constexpr char EndOfFileByte = 26;
// How much one count or one search step reads at once.
constexpr std::size_t ChunkBytes = std::size_t{1} << 20;
// The window single bytes and short lines are read through; sequential lines mostly share one.
constexpr std::size_t PeekBytes = std::size_t{64} << 10;
constexpr std::int64_t PeekAlign = 4096;

} // namespace

LineIndex::LineIndex(TextSource& source, LineFormat format, std::size_t block)
    : FSource(source)
    , FFormat(format)
    , FBlock(std::max<std::size_t>(block, 16))
{
}

std::int64_t LineIndex::Read(std::int64_t offset, char* buffer, std::size_t size)
{
    if (offset < 0) {
        return 0;
    }
    if (FEnd >= 0) {
        if (offset >= FEnd) {
            return 0;
        }
        size =
            static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(size), FEnd - offset));
    }
    std::size_t total = 0;
    while (total < size) {
        const std::int64_t got =
            FSource.Read(offset + static_cast<std::int64_t>(total), buffer + total, size - total);
        if (got < 0) {
            FFailReason = FSource.FailReason().empty() ? "Read error" : FSource.FailReason();
            break;
        }
        if (got == 0) {
            break;
        }
        total += static_cast<std::size_t>(got);
    }
    return static_cast<std::int64_t>(total);
}

int LineIndex::ByteAt(std::int64_t offset)
{
    if (offset < 0 || (FEnd >= 0 && offset >= FEnd)) {
        return -1;
    }
    if (offset < FPeekOffset || offset >= FPeekOffset + static_cast<std::int64_t>(FPeekSize)) {
        FPeek.resize(PeekBytes);
        FPeekOffset = offset / PeekAlign * PeekAlign;
        FPeekSize = static_cast<std::size_t>(Read(FPeekOffset, FPeek.data(), FPeek.size()));
        if (offset >= FPeekOffset + static_cast<std::int64_t>(FPeekSize)) {
            return -1;
        }
    }
    return static_cast<unsigned char>(FPeek[static_cast<std::size_t>(offset - FPeekOffset)]);
}

// Whether the byte at offset is the last byte of a line end: an LF, or a CR that no LF follows, under
// the Unix rule; a CR that no LF follows, or an LF right after a CR, under the DOS rule.
bool LineIndex::EndsLineAt(std::int64_t offset, int byte)
{
    if (byte == Cr) {
        return ByteAt(offset + 1) != Lf;
    }
    if (byte == Lf) {
        return FFormat == LineFormat::Unix || ByteAt(offset - 1) == Cr;
    }
    return false;
}

std::int64_t LineIndex::IndexedEnd() const
{
    return FEnd >= 0 ? FEnd : static_cast<std::int64_t>(FEnds.size() - 1) * static_cast<std::int64_t>(FBlock);
}

std::int64_t LineIndex::KnownEnd() const
{
    return FEnd >= 0 ? FEnd : std::max(FSource.Size(), IndexedEnd());
}

// Counts the blocks of the next chunk. A line end counts in the block that holds its last byte, so a
// CR LF astride two blocks counts in the second.
void LineIndex::Extend()
{
    if (FEnd >= 0) {
        return;
    }
    const std::int64_t at = IndexedEnd();
    // Whole blocks of a hole hold no line end and no byte 26: counted without being read.
    const std::int64_t dataAt = FSource.NextData(at);
    const std::int64_t size = FSource.Size();
    const std::int64_t hole = (size >= 0 ? std::min(dataAt, size) : dataAt) - at;
    if (hole >= static_cast<std::int64_t>(FBlock)) {
        FEnds.insert(FEnds.end(), static_cast<std::size_t>(hole / static_cast<std::int64_t>(FBlock)),
                     FEnds.back());
        FPreviousCr = false;
        return;
    }
    const std::size_t blocks = std::max<std::size_t>(1, ChunkBytes / FBlock);
    const std::size_t want = blocks * FBlock;
    FBuffer.resize(want + 1);
    const auto got = static_cast<std::size_t>(Read(at, FBuffer.data(), want + 1));
    const char* buffer = FBuffer.data();
    std::size_t data = std::min(got, want);
    bool ends = got <= want || Failed();
    if (const void* stop = std::memchr(buffer, EndOfFileByte, data)) {
        data = static_cast<std::size_t>(static_cast<const char*>(stop) - buffer);
        ends = true;
    }
    for (std::size_t from = 0; from < data; from += FBlock) {
        const std::size_t to = std::min(from + FBlock, data);
        const TerminatorCounts counts = CountTerminators(buffer + from, buffer + to);
        const bool lfAfter = to < got && !(ends && to == data) && buffer[to] == Lf;
        const bool pairAtEnd = buffer[to - 1] == Cr && lfAfter;
        const bool previousCr = from == 0 ? FPreviousCr : buffer[from - 1] == Cr;
        std::int64_t found = 0;
        if (FFormat == LineFormat::Unix) {
            found = static_cast<std::int64_t>(counts.Lf + counts.Cr - counts.CrLf) - (pairAtEnd ? 1 : 0);
        } else {
            found = static_cast<std::int64_t>(counts.Cr) - (pairAtEnd ? 1 : 0) +
                    (previousCr && buffer[from] == Lf ? 1 : 0);
        }
        FEnds.push_back(FEnds.back() + found);
        FPreviousCr = buffer[to - 1] == Cr;
    }
    if (ends) {
        FEnd = at + static_cast<std::int64_t>(data);
    }
}

void LineIndex::IndexTo(std::int64_t offset)
{
    while (FEnd < 0 && IndexedEnd() <= offset) {
        Extend();
    }
}

// Line ends finished within [from, to), from being a block's first byte and to within that block.
std::int64_t LineIndex::CountEnds(std::int64_t from, std::int64_t to)
{
    if (to <= from) {
        return 0;
    }
    FBuffer.resize(static_cast<std::size_t>(to - from) + 1);
    const auto got = static_cast<std::size_t>(Read(from, FBuffer.data(), FBuffer.size()));
    const char* buffer = FBuffer.data();
    const std::size_t n = std::min(got, static_cast<std::size_t>(to - from));
    if (n == 0) {
        return 0;
    }
    const TerminatorCounts counts = CountTerminators(buffer, buffer + n);
    const bool pairAtEnd = buffer[n - 1] == Cr && got > n && buffer[n] == Lf;
    if (FFormat == LineFormat::Unix) {
        return static_cast<std::int64_t>(counts.Lf + counts.Cr - counts.CrLf) - (pairAtEnd ? 1 : 0);
    }
    return static_cast<std::int64_t>(counts.Cr) - (pairAtEnd ? 1 : 0) +
           (buffer[0] == Lf && ByteAt(from - 1) == Cr ? 1 : 0);
}

std::int64_t LineIndex::StartOf(std::int64_t number)
{
    if (number < 1) {
        return -1;
    }
    const std::int64_t target = number - 1; // line ends before the line
    if (target == 0) {
        const int first = ByteAt(0);
        return first < 0 || first == EndOfFileByte ? -1 : 0;
    }
    while (FEnd < 0 && FEnds.back() < target) {
        Extend();
    }
    if (FEnds.back() < target) {
        return -1;
    }
    // The end wanted finishes in the block whose count first reaches it.
    const auto reaching = std::lower_bound(FEnds.begin(), FEnds.end(), target);
    const auto block = static_cast<std::size_t>(reaching - FEnds.begin()) - 1;
    const auto from = static_cast<std::int64_t>(block * FBlock);
    const std::int64_t to = std::min(from + static_cast<std::int64_t>(FBlock), IndexedEnd());
    std::int64_t count = FEnds[block];
    std::int64_t start = -1;
    for (std::int64_t at = from; at < to && start < 0;) {
        FBuffer.resize(static_cast<std::size_t>(to - at));
        const std::int64_t got = Read(at, FBuffer.data(), FBuffer.size());
        if (got <= 0) {
            return -1;
        }
        const char* buffer = FBuffer.data();
        const char* end = buffer + got;
        for (const char* t = FindEither(buffer, end, Lf, Cr); t != nullptr;
             t = FindEither(t + 1, end, Lf, Cr)) {
            const std::int64_t offset = at + (t - buffer);
            if (EndsLineAt(offset, static_cast<unsigned char>(*t)) && ++count == target) {
                start = offset + 1;
                break;
            }
        }
        at += got;
    }
    const int first = ByteAt(start);
    return start < 0 || first < 0 || first == EndOfFileByte ? -1 : start;
}

std::int64_t LineIndex::LineAt(std::int64_t offset)
{
    offset = std::max<std::int64_t>(offset, 0);
    IndexTo(offset);
    if (FEnd >= 0 && offset >= FEnd) {
        if (FEnd == 0) {
            return 0;
        }
        offset = FEnd - 1;
    }
    const auto block = static_cast<std::size_t>(offset / static_cast<std::int64_t>(FBlock));
    return FEnds[block] + CountEnds(static_cast<std::int64_t>(block * FBlock), offset) + 1;
}

std::int64_t LineIndex::LineCount()
{
    while (FEnd < 0) {
        Extend();
    }
    if (FEnd == 0) {
        return 0;
    }
    return FEnds.back() + (EndsLineAt(FEnd - 1, ByteAt(FEnd - 1)) ? 0 : 1);
}

bool LineIndex::ReadLine(std::int64_t start, std::size_t maxBytes, IndexedLine& line)
{
    line.Start = start;
    line.Bytes.clear();
    line.Cut = false;
    line.Next = -1;
    const int first = ByteAt(start);
    if (first < 0 || first == EndOfFileByte) {
        line.ContentEnd = start;
        return false;
    }
    const char lineFeedOrNot = FFormat == LineFormat::Unix ? Lf : Cr;
    std::int64_t at = start;
    for (;;) {
        if (ByteAt(at) < 0) {
            line.ContentEnd = at; // the text ends inside the line
            return true;
        }
        const char* window = FPeek.data() + (at - FPeekOffset);
        const char* end = FPeek.data() + FPeekSize;
        const char* stop = FindEither(window, end, lineFeedOrNot, Cr);
        if (const void* eof =
                std::memchr(window, EndOfFileByte, static_cast<std::size_t>((stop ? stop : end) - window))) {
            stop = static_cast<const char*>(eof);
        }
        const auto run = static_cast<std::size_t>((stop ? stop : end) - window);
        const std::size_t room = maxBytes - line.Bytes.size();
        line.Bytes.append(window, std::min(run, room));
        if (run > room) {
            line.Cut = true;
            break;
        }
        if (stop != nullptr) {
            line.ContentEnd = at + static_cast<std::int64_t>(run);
            if (*stop == EndOfFileByte) {
                return true;
            }
            std::int64_t next = line.ContentEnd + 1;
            if (*stop == Cr && ByteAt(next) == Lf) {
                ++next;
            }
            const int after = ByteAt(next);
            line.Next = after < 0 || after == EndOfFileByte ? -1 : next;
            return true;
        }
        at += static_cast<std::int64_t>(run);
    }
    // Longer than asked for: its end is found through the counts, which read a long line only once.
    line.Next = StartOf(LineAt(start) + 1);
    if (line.Next < 0) {
        LineCount(); // finds the text's end
    }
    std::int64_t end = line.Next >= 0 ? line.Next : FEnd;
    if (end > start && EndsLineAt(end - 1, ByteAt(end - 1))) {
        end -= ByteAt(end - 1) == Lf && ByteAt(end - 2) == Cr && end - 2 >= start ? 2 : 1;
    }
    line.ContentEnd = end;
    return true;
}

void LineIndex::CopyBytes(std::int64_t from, std::int64_t to,
                          const std::function<void(std::string_view)>& out)
{
    FBuffer.resize(ChunkBytes);
    while (from < to) {
        const std::int64_t got = Read(
            from, FBuffer.data(), static_cast<std::size_t>(std::min<std::int64_t>(to - from, ChunkBytes)));
        if (got <= 0) {
            return;
        }
        out(std::string_view(FBuffer.data(), static_cast<std::size_t>(got)));
        from += got;
    }
}

std::int64_t LineIndex::Find(const LiteralFinder& finder, std::int64_t low, std::int64_t high, bool down)
{
    const auto size = static_cast<std::int64_t>(finder.Size());
    if (size == 0) {
        return -1;
    }
    // Nothing after a byte 26 is text: the count must have passed the range to know where it ends.
    IndexTo(high - 1);
    high = std::min(high, KnownEnd());
    low = std::max<std::int64_t>(low, 0);
    const auto chunk = static_cast<std::int64_t>(ChunkBytes);
    FBuffer.resize(ChunkBytes + static_cast<std::size_t>(size));
    const bool zeros = finder.MatchesAt(std::string(static_cast<std::size_t>(size), '\0').data());
    if (down) {
        for (std::int64_t at = low; high - at >= size;) {
            // A hole holds only zeros, which a needle without them never matches.
            if (!zeros) {
                at = std::max(at, FSource.NextData(at));
                if (high - at < size) {
                    break;
                }
            }
            const std::int64_t got =
                Read(at, FBuffer.data(), static_cast<std::size_t>(std::min(chunk + size - 1, high - at)));
            if (got < size) {
                return -1;
            }
            if (const char* hit = finder.Find(FBuffer.data(), FBuffer.data() + got)) {
                return at + (hit - FBuffer.data());
            }
            at += got - (size - 1);
        }
        return -1;
    }
    for (std::int64_t top = high; top - low >= size;) {
        const std::int64_t from = std::max(low, top - chunk);
        const std::int64_t got = Read(from, FBuffer.data(), static_cast<std::size_t>(top - from));
        const char* begin = FBuffer.data();
        const char* last = nullptr;
        for (const char* hit = finder.Find(begin, begin + got); hit != nullptr;
             hit = finder.Find(hit + 1, begin + got)) {
            last = hit;
        }
        if (last != nullptr) {
            return from + (last - begin);
        }
        if (from == low) {
            break;
        }
        top = from + size - 1;
    }
    return -1;
}
