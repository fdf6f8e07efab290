#pragma once

#include "search/SearchRequest.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// Where a line of the output pane came from.
struct TSource {
    enum class TKind {
        Reported, ///< a reported line (or a piece of one the pane shows on lines of its own)
        Header, ///< a verbose run's file header line
        NewSearch, ///< the new-search line
    };
    TKind Kind = TKind::Reported;
    std::string FileName; ///< as listed when the run started; empty for the new-search line
    std::int64_t Line = 0; ///< 1-based line of the file; 0 when not known (headers, a file changed since)
    std::shared_ptr<const SearchRequest> Request; ///< the run's; empty for the new-search line
};

/// The side index from the lines of the output pane to the files and line numbers they came from.
///
/// While a run writes, it keeps one mark per file: where in the result log that file's entries begin,
/// with the run's request. Nothing is kept per reported line, so a run with millions of hits costs
/// what a run with one costs, and the scans' inner loops are not touched. Which file an entry of the
/// pane belongs to is the last mark at or before the entry's log offset; which of the file's entries
/// it is follows from counting entries from the mark; its line number is found when it is asked for,
/// by reading that file again with the run's request up to that entry (the same lines are reported
/// as long as the file has not changed). Marks are kept only within the bytes the pane loads, and
/// at most one per line the pane can hold, so memory stays bounded however long the log grows.
///
/// The log holds several runs until it is cleared; the marks of every run stay as long as the pane
/// shows its entries. Clear empties the index with the log. After a Clear in the middle of a run, the
/// rest of the file then being written has no mark: those lines open nothing.
class TSourceIndex final {
public:
    /// The bytes of the log the pane is loaded from, for a pane of limit characters: a character takes
    /// at most four bytes in any locale codec.
    static std::size_t PaneBytes(int limit)
    {
        return 4 * static_cast<std::size_t>(limit > 0 ? limit : 0) + 8;
    }

    /// The pane's limit in characters; bounds what is kept. Before any run.
    void SetPaneLimit(int limit);

    // The run's thread. clearCount is the log's ClearCount() read before offset (its Size()): a mark
    // whose count is older than the last Clear is dropped, so a Clear racing with a run loses nothing
    // but the marks it should.

    /// A run begins writing at offset of the log.
    void BeginRun(const SearchRequest& request, std::uint64_t clearCount, std::int64_t offset);
    /// A file's entries (its header first in a verbose run) begin at offset of the log.
    void FileBegins(const std::string& fileName, std::uint64_t clearCount, std::int64_t offset);
    /// False once the run has written past what the pane loads: nothing more would be kept.
    bool Recording() const { return !FFull.load(std::memory_order_relaxed); }

    // GUI thread.

    /// The log was emptied; clearCount is its ClearCount() after that.
    void Clear(std::uint64_t clearCount);
    /// The pane was loaded from these first bytes of the log.
    void PaneLoaded(std::string_view bytes);
    /// The pane's text was edited: its lines no longer are the log's entries.
    void PaneChanged();
    /// Where line (block) number block of the pane came from; with findLine, reads the file for the
    /// line number, else leaves it 0.
    std::optional<TSource> SourceOfLine(int block, bool findLine = true) const;

    /// The first line of the pane whose entry the log holds at offset or after, for a run that began
    /// writing at offset while the log's ClearCount() was clearCount (a Clear since then means the run's
    /// entries start at the log's beginning); -1 when the pane shows no such entry.
    int FirstLineFrom(std::int64_t offset, std::uint64_t clearCount) const;

    /// Marks kept (tests watch the bound).
    std::size_t MarkCount() const;
    /// Lines of the pane the index knows.
    std::size_t PaneLineCount() const;

private:
    struct TRun {
        SearchRequest Request;
    };
    struct TMark {
        std::int64_t Offset = 0;
        std::shared_ptr<const TRun> Run;
        std::string FileName;
        bool NewSearch = false; // the run's new-search line, not a file
    };

    bool TakeCount(std::uint64_t clearCount); // FLock held
    void AddMark(TMark mark); // FLock held

    mutable std::mutex FLock;
    std::uint64_t FClearCount = 0; // guarded by FLock
    std::shared_ptr<const TRun> FRun; // guarded by FLock; the run writing now, or the last one
    std::vector<TMark> FMarks; // guarded by FLock; in log order
    std::vector<std::int64_t> FEntryStarts; // guarded by FLock; log offset of each entry the pane shows
    std::vector<std::int32_t> FLineEntry; // guarded by FLock; entry of each line of the pane
    std::size_t FLimitBytes = PaneBytes(60000); // guarded by FLock
    std::size_t FLimitLines = 60001; // guarded by FLock
    int FLimitChars = 60000; // guarded by FLock
    std::atomic<bool> FFull{false}; // written under FLock
};

/// Hands take the numbers of the lines a run with request reports in fileName, in order, read anew from
/// the file; the reading stops when take returns false. False when the file cannot be read.
bool ForEachReportedLine(const SearchRequest& request, const std::string& fileName,
                         const std::function<bool(std::int64_t)>& take);

/// The line number of the ordinal-th entry (0-based) that a run with request wrote for fileName, read
/// anew from the file; 0 when the file cannot be read or holds fewer such lines now.
std::int64_t ReportedLineNumber(const SearchRequest& request, const std::string& fileName,
                                std::int64_t ordinal);
