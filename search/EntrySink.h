#pragma once

#include <cstdint>
#include <string>
#include <string_view>

/// Where a run writes its entries: each entry is its text followed by one byte 13.
class EntrySink {
public:
    virtual ~EntrySink() = default;
    /// Appends one entry: the text bytes as they are, then byte 13 (or the sink's own terminator).
    virtual void WriteLogLine(std::string_view text) = 0;
    /// Appends entries as a stream of bytes: each text followed by its byte 13. The bytes may stop
    /// inside an entry (a line too long to hold at once): the next call goes on with its text.
    /// The default joins such pieces and hands whole entries to WriteLogLine.
    virtual void WriteLogEntries(std::string_view entries);
    /// How many times the sink has been emptied so far.
    virtual std::uint64_t ClearCount() const { return 0; }
    /// WriteLogEntries for entries that were all reported while ClearCount() gave clearCount: a sink
    /// emptied since then drops them, since they were reported before the emptying.
    virtual void WriteReportedEntries(std::string_view entries, std::uint64_t clearCount)
    {
        static_cast<void>(clearCount);
        WriteLogEntries(entries);
    }
    /// The entry the last bytes left open will never be finished (its line could not be read to
    /// its end): a sink that can take its bytes back does; a stream that cannot ends it there.
    virtual void DropOpenEntry() { FOpenEntry.clear(); }

private:
    std::string FOpenEntry; // the default WriteLogEntries' unfinished entry
};
