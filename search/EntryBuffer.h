#pragma once

// Internal to the windowed scan (FastScan.cpp and its units in search/); not part of the engine's API.

#include "search/EntrySink.h"
#include "search/LineEnds.h"
#include "search/TextWindow.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <vector>

namespace FastScan {

/// Reported entries gathered in a buffer of fixed size that the run keeps, and handed to the sink
/// whenever it is full: a line of any length goes out in pieces, never whole. An entry whose line
/// cannot be finished (the file shrank under it, reading failed, cancel) is taken back.
/// What runs for every reported line is defined here, where the scan loops can inline it; what runs
/// once per buffer or per file is in EntryBuffer.cpp.
class EntryBuffer {
public:
    EntryBuffer(EntrySink& sink, bool numbered, std::vector<char>& storage);

    /// Entries copied from a mapping are checked against the file's size before they leave, since a
    /// mapped file cut short reads as zero bytes up to the end of its last page.
    void WatchMapping(int fd, const char* base, std::int64_t size);

    /// One whole entry: the number (when numbered) and the line.
    void Append(std::int64_t lineNumber, const char* begin, const char* end)
    {
        BeginEntry(lineNumber);
        AppendText(begin, end);
        EndEntry(end);
    }

    /// Opens an entry: its number and " : " when numbered.
    void BeginEntry(std::int64_t lineNumber)
    {
        if (FShortened) {
            return;
        }
        StartEntry();
        FOpenAt = FSize;
        FOpen = true;
        std::atomic_signal_fence(std::memory_order_seq_cst);
        if (FNumbered) {
            char digits[24];
            char* p = digits + sizeof digits;
            auto n = static_cast<std::uint64_t>(lineNumber);
            do {
                *--p = static_cast<char>('0' + n % 10);
                n /= 10;
            } while (n != 0);
            Put(p, digits + sizeof digits);
            Put(" : ", " : " + 3);
        }
    }

    /// More text of the open entry.
    void AppendText(const char* begin, const char* end) { Put(begin, end); }

    /// More text of the open entry, read from the first size bytes of fd; false when that fails.
    bool AppendFromFile(int fd, std::int64_t size);

    /// Ends the open entry whose text ends at sourceEnd (nullptr: not in a mapping). The unterminated
    /// last line of a mapped file stays open until Finish has seen that the file kept its size.
    void EndEntry(const char* sourceEnd)
    {
        if (FShortened || !FOpen) {
            return;
        }
        if (FWatchFd >= 0 && sourceEnd == FDataEnd) {
            FHeldLast = true;
            return;
        }
        Put("\r", "\r" + 1);
        FOpen = false;
    }

    /// Whole lines ended by LF, as entries: the same bytes with every LF turned into byte 13. The
    /// last of them may be left open (its text goes on with EndEntry).
    void AppendLines(const char* begin, const char* end)
    {
        if (begin == end || FShortened) {
            return;
        }
        StartEntry();
        if (!FOpen) {
            FOpenAt = FSize;
        }
        FOpen = true;
        std::atomic_signal_fence(std::memory_order_seq_cst);
        while (begin < end) {
            if (Full()) {
                Flush();
                if (FShortened) {
                    return; // the rest of these lines is gone from the file too
                }
            }
            const std::size_t n =
                std::min<std::size_t>(static_cast<std::size_t>(end - begin), FBytes.size() - FSize);
            NoteSource(begin, n);
            CopyReplacing(FBytes.data() + FSize, begin, n, Lf, Cr);
            std::atomic_signal_fence(std::memory_order_seq_cst);
            Copied(begin + n);
            // Entries end at the last byte 13; what follows it is the open entry.
            if (const void* cr = ::memrchr(FBytes.data() + FSize, Cr, n)) {
                FOpenAt = static_cast<std::size_t>(static_cast<const char*>(cr) - FBytes.data()) + 1;
            }
            FSize += n;
            begin += n;
        }
        FOpen = FOpenAt < FSize || (FOpenAt == 0 && FSinkOpen);
    }

    /// Hands what is gathered to the sink (outside the mapping's guard). What was copied from a
    /// mapped file that has since become shorter than it goes no further than the last whole entry
    /// before it, and nothing more is taken from that file.
    void Flush();

    /// Takes back the open entry: from the buffer, and from the sink when part of it has gone out.
    void DropOpen();

    /// The end of a file's scan: a held last line is closed unless the file shrank, then everything
    /// goes to the sink.
    void Finish();

    /// True once the watched file was found shorter than what was copied from it.
    bool Shortened() const { return FShortened; }

private:
    /// Where a stretch of the buffer was copied from in the mapping.
    struct Source {
        std::size_t At = 0; // buffer offset of its first byte
        const char* From = nullptr;
        std::size_t Size = 0;
    };
    /// Stretches noted per buffer; the buffer goes to the sink early when they are used up.
    static constexpr std::size_t SourceLimit = 4096;

    /// Entries wait here a while before the sink sees them; a Clear of the log in that time must still
    /// remove the ones reported before it, as it would had they been written at once.
    void StartEntry()
    {
        const std::uint64_t clears = FSink.ClearCount();
        if (clears != FClearCount) {
            FSize = 0;
            FSourceCount = 0;
            FSinkOpen = false; // the emptied sink holds no piece of an entry any more
            FClearCount = clears;
        }
    }

    void Put(const char* begin, const char* end)
    {
        while (begin < end && !FShortened) {
            if (Full()) {
                Flush();
                if (FShortened) {
                    return; // the entry was taken back: the rest of its line must not follow alone
                }
            }
            const std::size_t n =
                std::min<std::size_t>(static_cast<std::size_t>(end - begin), FBytes.size() - FSize);
            NoteSource(begin, n);
            std::memcpy(FBytes.data() + FSize, begin, n);
            std::atomic_signal_fence(std::memory_order_seq_cst);
            Copied(begin + n);
            FSize += n;
            begin += n;
        }
    }

    /// No room for another byte, or (for a mapping) for another stretch's source.
    bool Full() const { return FSize == FBytes.size() || (FWatchFd >= 0 && FSourceCount == FSources.size()); }

    /// Notes, before the copy, that n bytes at from (when in the mapping) go to the buffer's end.
    void NoteSource(const char* from, std::size_t n)
    {
        if (FWatchFd < 0 || from < FBase || from >= FDataEnd) {
            return;
        }
        if (FSourceCount != 0) {
            Source& last = FSources[FSourceCount - 1];
            if (last.At + last.Size == FSize && last.From + last.Size == from) {
                last.Size += n;
                return;
            }
        }
        FSources[FSourceCount++] = Source{FSize, from, n};
        std::atomic_signal_fence(std::memory_order_seq_cst);
    }

    void Copied(const char* to)
    {
        if (to > FBase && to <= FDataEnd) {
            FCopiedTo = std::max(FCopiedTo, to);
        }
    }

    /// Once the file is shorter than what was copied from it, keeps the whole entries copied
    /// from before its new end and drops the rest, the open entry too (also its part in the sink).
    void CutAtFileEnd();

    EntrySink& FSink;
    bool FNumbered;
    std::vector<char>& FBytes;
    std::size_t FSize = 0;
    std::size_t FOpenAt = 0; // where the open entry begins in the buffer (0 when it began before)
    bool FOpen = false; // an entry has begun and not ended
    bool FSinkOpen = false; // what has gone to the sink stops inside an entry
    bool FHeldLast = false;
    bool FShortened = false;
    int FWatchFd = -1;
    const char* FBase = nullptr;
    const char* FDataEnd = nullptr;
    const char* FCopiedTo = nullptr;
    std::vector<Source> FSources; // where the buffer's bytes came from in the mapping
    std::size_t FSourceCount = 0;
    std::uint64_t FClearCount =
        FSink.ClearCount(); // the sink's count when the buffered entries were reported
};

} // namespace FastScan
