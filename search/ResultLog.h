#pragma once

#include "search/EntrySink.h"

#include <atomic>
#include <cstdint>
#include <limits>
#include <mutex>
#include <string>
#include <string_view>

/// The program's result log: one byte file beside the program, created anew at start-up, held open and
/// locked against other copies of the program until it ends. Every operation takes one lock.
/// Entries are buffered; the file holds all of them after Flush, Rewind, ReadAll, CopyLogTo and Clear.
/// After a write that fails, the position and the length are again those of the file on disk, cut
/// back to its last whole entry, so that the next entry goes right after it.
class ResultLog final : public EntrySink {
public:
    ResultLog() = default;
    ~ResultLog() override;
    ResultLog(const ResultLog&) = delete;
    ResultLog& operator=(const ResultLog&) = delete;

    /// The log's path for a program path: its extension replaced by ".out" ("sifton" gives "sifton.out").
    static std::string PathFor(const std::string& programPath);

    /// Creates the file anew (emptied if it exists) and holds it; throws std::runtime_error
    /// "Cannot create file <full path>" when that fails or another program holds it.
    void Create(const std::string& path);
    bool IsOpen() const;
    /// The full path given to Create.
    std::string Path() const;

    /// Writes the entry at the log's current position; throws "Unable to write to <path>" on failure.
    void WriteLogLine(std::string_view text) override;
    void WriteLogEntries(std::string_view entries) override;
    std::uint64_t ClearCount() const override { return FClearCount.load(std::memory_order_acquire); }
    void WriteReportedEntries(std::string_view entries, std::uint64_t clearCount) override;
    void DropOpenEntry() override;

    /// Creates fileName (replacing it) holding the whole log; leaves the position at the log's end.
    /// Throws "Cannot create file <full path>" (also for a FIFO or a socket, refused without waiting) or
    /// "Unable to write to <full path>" (also when less than the whole log could be copied).
    void CopyLogTo(const std::string& fileName);

    /// Empties the log: length 0, position at its start.
    void Clear();

    /// Sets the position to the start; the next entry would be written there.
    void Rewind();

    /// The log from its first byte to its last, or only its first maxBytes; either way the position is
    /// left at the end, where the next run goes on writing.
    std::string ReadAll(std::size_t maxBytes = std::numeric_limits<std::size_t>::max());

    /// Writes what is buffered.
    void Flush();

    /// The log's length in bytes, buffered entries included.
    std::int64_t Size() const;

private:
    void FlushLocked();
    void AppendLocked(std::string_view entries);
    void WriteAt(std::int64_t offset, std::string_view bytes);

    mutable std::mutex FLock;
    int FFd = -1; // guarded by FLock
    std::string FPath; // guarded by FLock
    std::int64_t FPosition = 0; // guarded by FLock; where the next entry goes, buffered ones counted
    std::int64_t FLength = 0; // guarded by FLock; buffered entries counted
    std::string FPending; // guarded by FLock; entries not yet written, ending at FPosition
    std::int64_t FOpenStart = -1; // guarded by FLock; where the unfinished entry began, or -1
    std::int64_t FLengthAtOpen = 0; // guarded by FLock; the length before it began
    std::atomic<std::uint64_t> FClearCount{0}; // written under FLock; read without it by scans
};
