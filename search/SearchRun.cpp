#include "search/SearchRun.h"

#include "search/LineReader.h"
#include "search/RegexLineTest.h"
#include "search/RunFlags.h"
#include "search/StatusTexts.h"

#include <algorithm>
#include <charconv>
#include <sched.h>
#include <sys/stat.h>
#include <thread>

std::string FileHeaderLine(const SearchRequest& request, std::string_view fileName)
{
    std::string line = "***** File: \"";
    line += fileName;
    line += "\"- Search Pattern=";
    line += request.Pattern1Text;
    line += request.OperatorText;
    line += " *****";
    return line;
}

namespace {

/// The processors this process may run on (fewer than the machine's under taskset or a container's
/// limit): more scan threads than that only take turns.
int UsableProcessors()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) {
        return CPU_COUNT(&set);
    }
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

} // namespace

SearchRun::SearchRun(SearchRequest request, EntrySink& log, SearchHost& host, std::string separator)
    : FRequest(std::move(request))
    , FLog(log)
    , FHost(host)
    , FSeparator(std::move(separator))
    , FPredicate(ChoosePredicate(FRequest.Operator))
    , FFinder1(FRequest.Regex ? std::string_view() : FRequest.Pattern1, !FRequest.CaseSensitive)
    , FFinder2(FRequest.Regex ? std::string_view() : FRequest.Pattern2, !FRequest.CaseSensitive)
    , FRegex(FRequest.Regex ? std::make_unique<RegexLineTest>(FRequest) : nullptr)
    , FThreads(UsableProcessors())
{
}

SearchRun::~SearchRun() = default;

void SearchRun::Walk()
{
    FCounters = {};
    FFailedFiles = 0;
    FSkippedFiles = 0;
    SearchRunning = true;
    if (FRequest.Verbose) {
        FLog.WriteLogLine(NewSearchLine);
    }
    // One file gains nothing from threads unless it is large enough to be split among them;
    // standard input and pipes are read by one.
    if (FThreads > 1 && (FHost.FileCount() > 1 || (FHost.FileCount() == 1 && WorthSplitting(0)))) {
        WalkInParallel();
        return;
    }
    // The list may change while the run works: its length is asked before every file.
    for (std::int64_t i = 0; i < FHost.FileCount() && !CancelRequested; ++i) {
        const std::optional<std::string> fileName = FHost.FileName(i);
        if (!fileName) {
            break;
        }
        StartFile(i, *fileName);
        ScanFile(*fileName);
    }
}

bool SearchRun::WorthSplitting(std::int64_t index)
{
    const std::optional<std::string> fileName = FHost.FileName(index);
    struct stat info { };
    return fileName && FHost.PathToOpen(*fileName) == *fileName && ::stat(fileName->c_str(), &info) == 0 &&
           S_ISREG(info.st_mode) && info.st_size > 0 && info.st_size >= FSplitMinimum;
}

bool SearchRun::ScanFile(const std::string& fileName)
{
    return ScanFileFast(fileName);
}

void SearchRun::ReportFailure(const std::string& fileName, const std::string& reason)
{
    ++FFailedFiles;
    if (FRecorder != nullptr) {
        FRecorder->Failure(reason);
        return;
    }
    FHost.FileFailed(fileName, reason);
}

void SearchRun::StartFile(std::int64_t index, const std::string& fileName)
{
    FPendingIndex = index;
    FPendingName = fileName;
    FBeginPending = true;
    if (!FRequest.SkipBinary) {
        FileSearched();
    }
}

void SearchRun::BeginFileOutput(std::int64_t index, const std::string& fileName)
{
    FHost.FileEntriesBegin(index, fileName);
    if (FRequest.Verbose) {
        FLog.WriteLogLine(FileHeaderLine(FRequest, fileName));
    }
    FHost.SetCaption("Searching " + fileName);
}

void SearchRun::FileSearched()
{
    if (FRecorder != nullptr) {
        if (FRequest.SkipBinary) {
            FRecorder->Begin();
        }
        return;
    }
    if (FBeginPending) {
        FBeginPending = false;
        BeginFileOutput(FPendingIndex, FPendingName);
    }
}

void SearchRun::SkipFile(const std::string& fileName)
{
    FBeginPending = false;
    ++FSkippedFiles;
    if (FRecorder != nullptr) {
        FRecorder->Skipped(std::string(BinarySkippedReason));
        return;
    }
    FHost.FileSkipped(fileName, std::string(BinarySkippedReason));
}

bool SearchRun::OpenForScan(LineReader& reader, const std::string& fileName, bool& failed)
{
    std::string reason;
    failed = !reader.Open(FHost.PathToOpen(fileName), reason, DecodeOptionsOf(FRequest));
    if (failed) {
        FileSearched();
        ReportFailure(fileName, reason);
        return false;
    }
    if (reader.Binary()) {
        reader.Close();
        SkipFile(fileName);
        return false;
    }
    FileSearched();
    return true;
}

bool SearchRun::ScanFileByLines(const std::string& fileName)
{
    LineReader reader;
    if (bool failed = false; !OpenForScan(reader, fileName, failed)) {
        return !failed;
    }
    const std::int64_t sizeBlocks = reader.SizeBlocks();
    const std::int64_t firstLineMark = FCounters.LinesSearched;
    std::int32_t refreshCount = 0;
    const bool dos = FRequest.LineFormat == LineFormat::Dos;
    std::string line;
    std::string folded;
    bool tooComplex = false;
    while (!reader.AtEnd() && !FCancel->load(std::memory_order_relaxed)) {
        if (dos) {
            reader.ReadDosLine(line);
        } else {
            reader.ReadUnixLine(line);
        }
        if (reader.Failed()) {
            break; // an incomplete line is not a line
        }
        if (FRegex) {
            if (!ScanLineByRegex(line, firstLineMark, refreshCount, reader.PositionBlocks(), tooComplex)) {
                break;
            }
            continue;
        }
        std::string_view compared = line;
        if (!FRequest.CaseSensitive) {
            FoldAsciiInto(folded, line);
            compared = folded;
        }
        ++FCounters.LinesSearched;
        if (++refreshCount == FRequest.RefreshRate) {
            refreshCount = 0;
            PeriodicStatusUpdate(reader.PositionBlocks());
        }
        if (!IsReported(FPredicate, FRequest, compared)) {
            continue;
        }
        WriteReported(FCounters.LinesSearched - firstLineMark, line);
        if (FRequest.OneOccurrence) {
            break;
        }
        if (FRequest.CountWords) {
            FCounters.WordsFound += CountOccurrences(FRequest.Pattern1, compared);
        }
    }
    const bool failed = reader.Failed() || tooComplex;
    const std::string reason = tooComplex ? std::string(RegexTooComplexReason) : reader.FailReason();
    // A file without a size (a pipe) shows what was read from it.
    const std::int64_t endBlocks = sizeBlocks >= 0 ? sizeBlocks : reader.FetchedBytes() / StatusBlockSize;
    reader.Close();
    EndOfFileStatusUpdate(endBlocks);
    if (failed) {
        ReportFailure(fileName, reason);
    }
    return !failed;
}

bool SearchRun::ScanLineByRegex(const std::string& line, std::int64_t firstLineMark,
                                std::int32_t& refreshCount, std::int64_t positionBlocks, bool& tooComplex)
{
    const char* begin = line.data();
    const char* end = begin + line.size();
    // A line PCRE2 cannot decide is no line: it is not counted, and the file's scan ends before it.
    const RegexOutcome outcome = FRegex->Test(begin, end);
    if (outcome == RegexOutcome::TooComplex) {
        tooComplex = true;
        return false;
    }
    ++FCounters.LinesSearched;
    if (++refreshCount == FRequest.RefreshRate) {
        refreshCount = 0;
        PeriodicStatusUpdate(positionBlocks);
    }
    if ((outcome == RegexOutcome::Match) == FRequest.ReverseLogic) {
        return true;
    }
    WriteReported(FCounters.LinesSearched - firstLineMark, line);
    if (FRequest.OneOccurrence) {
        return false;
    }
    if (FRequest.CountWords &&
        FRegex->CountWords(begin, end, FCounters.WordsFound) == RegexOutcome::TooComplex) {
        tooComplex = true;
        return false;
    }
    return true;
}

void SearchRun::WriteReported(std::int64_t lineNumber, std::string_view line)
{
    ++FCounters.LinesFound;
    if (!FRequest.LineNumbering) {
        FLog.WriteLogLine(line);
        return;
    }
    char digits[24];
    const auto [end, error] = std::to_chars(digits, digits + sizeof digits, lineNumber);
    (void)error;
    FEntry.assign(digits, end);
    FEntry += " : ";
    FEntry += line;
    FLog.WriteLogLine(FEntry);
}

void SearchRun::ShowCounters(std::int64_t blocks)
{
    if (FRequest.LineCounting) {
        FHost.SetStatusText(LinesSearchedPanel,
                            "Lines Searched: " + FormatCount(FCounters.LinesSearched, FSeparator));
    }
    if (FRequest.ProgressIndication) {
        FHost.SetStatusText(FilePositionPanel,
                            "File Position: " + FormatCount(BlockFigure(blocks), FSeparator) + " Kb");
        FHost.SetStatusText(LinesFoundPanel, "Lines Found: " + FormatCount(FCounters.LinesFound, FSeparator));
    }
    if (FRequest.WordCounting) {
        FHost.SetStatusText(WordsFoundPanel, "Words Found: " + FormatCount(FCounters.WordsFound, FSeparator));
    }
}

void SearchRun::PeriodicStatusUpdate(std::int64_t positionBlocks)
{
    if (FRecorder != nullptr) {
        FRecorder->Status(true, positionBlocks);
        return;
    }
    FHost.ShowCaptionAsTitle();
    ShowCounters(positionBlocks);
}

void SearchRun::EndOfFileStatusUpdate(std::int64_t sizeBlocks)
{
    if (FRecorder != nullptr) {
        FRecorder->Status(false, sizeBlocks);
        return;
    }
    ShowCounters(sizeBlocks);
}
