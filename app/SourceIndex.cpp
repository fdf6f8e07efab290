#include "app/SourceIndex.h"

#include "search/Matching.h"
#include "search/SearchRun.h"

#include <QString>

#include <algorithm>
#include <filesystem>

void TSourceIndex::SetPaneLimit(int limit)
{
    std::lock_guard guard(FLock);
    FLimitChars = std::max(limit, 0);
    FLimitBytes = PaneBytes(limit);
    // Every entry takes at least one line of the pane, so no more files than lines can be seen.
    FLimitLines = static_cast<std::size_t>(FLimitChars) + 1;
}

bool TSourceIndex::TakeCount(std::uint64_t clearCount)
{
    if (clearCount < FClearCount) {
        return false; // read before a Clear that has emptied the index since
    }
    if (clearCount > FClearCount) {
        // The log was emptied without the index being told: what it holds is gone.
        FClearCount = clearCount;
        FMarks.clear();
        FEntryStarts.clear();
        FLineEntry.clear();
        FFull = false;
    }
    return true;
}

void TSourceIndex::AddMark(TMark mark)
{
    if (static_cast<std::size_t>(mark.Offset) >= FLimitBytes) {
        FFull = true;
        return;
    }
    // A file that wrote nothing leaves its mark where the next one goes: only the last one counts.
    if (!FMarks.empty() && FMarks.back().Offset == mark.Offset) {
        FMarks.back() = std::move(mark);
        return;
    }
    if (FMarks.size() >= FLimitLines) {
        FFull = true;
        return;
    }
    FMarks.push_back(std::move(mark));
}

void TSourceIndex::BeginRun(const SearchRequest& request, std::uint64_t clearCount, std::int64_t offset)
{
    auto run = std::make_shared<TRun>(TRun{request});
    std::lock_guard guard(FLock);
    FRun = run;
    if (!TakeCount(clearCount)) {
        return;
    }
    if (request.Verbose) {
        AddMark(TMark{offset, run, {}, true});
    } else if (static_cast<std::size_t>(offset) >= FLimitBytes) {
        FFull = true;
    }
}

void TSourceIndex::FileBegins(const std::string& fileName, std::uint64_t clearCount, std::int64_t offset)
{
    std::lock_guard guard(FLock);
    if (!FRun || !TakeCount(clearCount)) {
        return;
    }
    AddMark(TMark{offset, FRun, fileName, false});
}

void TSourceIndex::Clear(std::uint64_t clearCount)
{
    std::lock_guard guard(FLock);
    FClearCount = std::max(FClearCount, clearCount);
    FMarks.clear();
    FEntryStarts.clear();
    FLineEntry.clear();
    FFull = false;
}

void TSourceIndex::PaneChanged()
{
    std::lock_guard guard(FLock);
    FEntryStarts.clear();
    FLineEntry.clear();
}

// The pane's lines, as its plain-text loading makes them from the bytes: byte 13 ends an entry, a line
// feed right after it belongs to that break, and every other line feed or line/paragraph separator
// inside an entry starts a line of its own; the text is cut at the pane's limit.
void TSourceIndex::PaneLoaded(std::string_view bytes)
{
    std::lock_guard guard(FLock);
    FEntryStarts.clear();
    FLineEntry.clear();
    const std::int64_t limit = FLimitChars;
    std::int64_t at = 0; // characters of the pane's text before the current line
    std::size_t pos = 0;
    while (pos < bytes.size() && at <= limit) {
        std::size_t end = bytes.find('\r', pos);
        if (end == std::string_view::npos) {
            end = bytes.size();
        }
        std::string_view entry = bytes.substr(pos, end - pos);
        if (pos > 0 && !entry.empty() && entry.front() == '\n') {
            entry.remove_prefix(1);
        }
        const auto number = static_cast<std::int32_t>(FEntryStarts.size());
        FEntryStarts.push_back(static_cast<std::int64_t>(pos));
        FLineEntry.push_back(number);
        const bool ascii = std::none_of(entry.begin(), entry.end(), [](char c) { return (c & 0x80) != 0; });
        if (ascii) {
            for (std::size_t i = 0; i < entry.size(); ++i) {
                if (entry[i] == '\n' && at + std::int64_t(i) + 1 <= limit) {
                    FLineEntry.push_back(number);
                }
            }
            at += std::int64_t(entry.size()) + 1;
        } else {
            const QString text = QString::fromLocal8Bit(entry.data(), qsizetype(entry.size()));
            for (qsizetype i = 0; i < text.size(); ++i) {
                const QChar c = text[i];
                const bool breaks = c == u'\n' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
                if (breaks && at + std::int64_t(i) + 1 <= limit) {
                    FLineEntry.push_back(number);
                }
            }
            at += std::int64_t(text.size()) + 1;
        }
        pos = end + 1;
    }
    // The empty line after the last break (or of an empty pane) is no entry.
    if (pos >= bytes.size() && at <= limit) {
        FLineEntry.push_back(-1);
    }
}

std::optional<TSource> TSourceIndex::SourceOfLine(int block, bool findLine) const
{
    TSource source;
    std::shared_ptr<const TRun> run;
    std::int64_t ordinal = 0;
    {
        std::lock_guard guard(FLock);
        if (block < 0 || static_cast<std::size_t>(block) >= FLineEntry.size()) {
            return std::nullopt;
        }
        const std::int32_t number = FLineEntry[static_cast<std::size_t>(block)];
        if (number < 0) {
            return std::nullopt;
        }
        const auto entry = static_cast<std::size_t>(number);
        const std::int64_t offset = FEntryStarts[entry];
        const auto after = std::upper_bound(FMarks.begin(), FMarks.end(), offset,
                                            [](std::int64_t o, const TMark& m) { return o < m.Offset; });
        if (after == FMarks.begin()) {
            return std::nullopt;
        }
        const TMark& mark = *(after - 1);
        const auto first = std::lower_bound(FEntryStarts.begin(), FEntryStarts.end(), mark.Offset);
        if (first == FEntryStarts.end() || *first != mark.Offset) {
            return std::nullopt;
        }
        ordinal = static_cast<std::int64_t>(entry) - (first - FEntryStarts.begin());
        if (mark.NewSearch) {
            if (ordinal != 0) {
                return std::nullopt;
            }
            source.Kind = TSource::TKind::NewSearch;
            return source;
        }
        source.FileName = mark.FileName;
        run = mark.Run;
    }
    source.Request = std::shared_ptr<const SearchRequest>(run, &run->Request);
    if (run->Request.Verbose) {
        if (ordinal == 0) {
            source.Kind = TSource::TKind::Header;
            return source;
        }
        --ordinal;
    }
    source.Line = findLine ? ReportedLineNumber(run->Request, source.FileName, ordinal) : 0;
    return source;
}

int TSourceIndex::FirstLineFrom(std::int64_t offset, std::uint64_t clearCount) const
{
    std::lock_guard guard(FLock);
    if (clearCount < FClearCount) {
        offset = 0; // emptied since the run began: what it wrote after that starts the log
    }
    const auto entry = std::lower_bound(FEntryStarts.begin(), FEntryStarts.end(), offset);
    if (entry == FEntryStarts.end()) {
        return -1;
    }
    const auto number = static_cast<std::int32_t>(entry - FEntryStarts.begin());
    const auto line = std::find(FLineEntry.begin(), FLineEntry.end(), number);
    return line == FLineEntry.end() ? -1 : static_cast<int>(line - FLineEntry.begin());
}

std::size_t TSourceIndex::MarkCount() const
{
    std::lock_guard guard(FLock);
    return FMarks.size();
}

std::size_t TSourceIndex::PaneLineCount() const
{
    std::lock_guard guard(FLock);
    return FLineEntry.size();
}

namespace {

/// Takes the entries of a numbered scan ("12 : text", each ended by byte 13) and hands on the number
/// of each one once it is whole; when take says it has enough, the scan is told to stop.
class TLineNumberSink final : public EntrySink {
public:
    TLineNumberSink(const std::function<bool(std::int64_t)>& take, std::atomic<bool>& stop)
        : FTake(take)
        , FStop(stop)
    {
    }

    void WriteLogLine(std::string_view text) override
    {
        WriteLogEntries(text);
        WriteLogEntries("\r");
    }
    void WriteLogEntries(std::string_view entries) override
    {
        for (const char c : entries) {
            if (c == '\r') {
                if (FInEntry && !FStop && !FTake(FNumber)) {
                    FStop = true;
                }
                FInEntry = false;
                FInNumber = false;
                continue;
            }
            if (!FInEntry) {
                FInEntry = true;
                FInNumber = true;
                FNumber = 0;
            }
            if (FInNumber && c >= '0' && c <= '9') {
                FNumber = FNumber * 10 + (c - '0');
            } else {
                FInNumber = false;
            }
        }
    }
    void DropOpenEntry() override
    {
        // A line that could not be read to its end (the file was cut) is no entry of the run's.
        FInEntry = false;
        FInNumber = false;
    }

private:
    const std::function<bool(std::int64_t)>& FTake;
    std::atomic<bool>& FStop;
    std::int64_t FNumber = 0;
    bool FInEntry = false;
    bool FInNumber = false;
};

/// A host that shows nothing: the lookup is the window's own, not a run the user sees.
class TQuietHost final : public SearchHost {
public:
    void SetStatusText(int, const std::string&) override { }
    void SetCaption(const std::string&) override { }
    void ShowCaptionAsTitle() override { }
    std::int64_t FileCount() override { return 0; }
    std::optional<std::string> FileName(std::int64_t) override { return std::nullopt; }
    void FileFailed(const std::string&, const std::string&) override { }
    // A name that has become a FIFO or a device since the run would hold the window in open() or read().
    bool MayReadAnyFile(const std::string&) override { return false; }
};

} // namespace

// The run's own scan once more, numbered and quiet, so the same lines are reported in the same order
// at the engine's speed; it stops when it has what it was asked for. It has a stop flag of its own: the
// run's cancel request belongs to the run (it stays set after a cancelled one, and another run may be
// going).
bool ForEachReportedLine(const SearchRequest& request, const std::string& fileName,
                         const std::function<bool(std::int64_t)>& take)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(fileName, error)) {
        return false;
    }
    SearchRequest numbered = request;
    numbered.LineNumbering = true;
    numbered.Verbose = false;
    numbered.ProgressIndication = false;
    numbered.PromptForSave = false;
    std::atomic<bool> stop = false;
    TLineNumberSink sink(take, stop);
    TQuietHost host;
    SearchRun scan(numbered, sink, host, std::string());
    scan.SetCancelFlag(stop);
    return scan.ScanFileFast(fileName);
}

std::int64_t ReportedLineNumber(const SearchRequest& request, const std::string& fileName,
                                std::int64_t ordinal)
{
    if (ordinal < 0) {
        return 0;
    }
    std::int64_t found = 0;
    std::int64_t entries = 0;
    ForEachReportedLine(request, fileName, [&](std::int64_t number) {
        if (entries++ == ordinal) {
            found = number;
            return false;
        }
        return true;
    });
    return found;
}
