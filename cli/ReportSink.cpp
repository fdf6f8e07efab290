#include "cli/ReportSink.h"

#include "cli/Console.h"
#include "cli/Json.h"
#include "search/LineReader.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <limits>
#include <stdexcept>
#include <unistd.h>

namespace {

constexpr std::string_view NumberSeparator = " : ";
constexpr std::string_view ContextSeparator = " - ";
constexpr std::string_view GroupSeparator = "--";
// A context line is read in pieces of this size, so a long one costs no more memory than a short one.
constexpr std::size_t LinePiece = std::size_t{64} << 10;

} // namespace

ReportSink::ReportSink(const Options& settings, ProgressLine& progress,
                       std::function<std::string(const std::string&)> pathToRead)
    : FSettings(settings)
    , FProgress(progress)
    , FPathToRead(std::move(pathToRead))
    , FOutIsTerminal(settings.Out != nullptr && ::isatty(::fileno(settings.Out)))
{
}

void ReportSink::Write(std::string_view bytes)
{
    if (FSettings.Out == nullptr || bytes.empty()) {
        return;
    }
    if (FOutIsTerminal) {
        FProgress.Erase();
    }
    errno = 0;
    std::fwrite(bytes.data(), 1, bytes.size(), FSettings.Out);
    if (!FOutputFailed && std::ferror(FSettings.Out)) {
        const int error = errno != 0 ? errno : EIO;
        FOutputFailed = true;
        throw std::runtime_error("standard output: " + SystemReason(error));
    }
}

void ReportSink::WriteLog(std::string_view bytes)
{
    if (FSettings.Log != nullptr && !bytes.empty()) {
        std::fwrite(bytes.data(), 1, bytes.size(), FSettings.Log);
    }
}

void ReportSink::WriteLogLine(std::string_view text)
{
    Take(text);
    EndEntry();
}

void ReportSink::WriteLogEntries(std::string_view entries)
{
    while (!entries.empty()) {
        const std::size_t end = entries.find('\r');
        Take(entries.substr(0, end));
        if (end == std::string_view::npos) {
            return;
        }
        EndEntry();
        entries.remove_prefix(end + 1);
    }
}

void ReportSink::DropOpenEntry()
{
    if (FState != TState::Start) {
        EndEntry();
    }
}

// Bytes of the entry in hand: a numbered entry's "N : " is taken apart first, whatever pieces it
// comes in; a header or the new-search line goes through as it is.
void ReportSink::Take(std::string_view bytes)
{
    while (!bytes.empty()) {
        switch (FState) {
        case TState::Start:
            FState = bytes.front() >= '0' && bytes.front() <= '9' ? TState::Prefix : TState::Other;
            FPrefix.clear();
            break;
        case TState::Prefix: {
            const char c = bytes.front();
            const std::size_t digits = FPrefix.find_first_not_of("0123456789");
            const std::size_t separatorAt = digits == std::string::npos ? FPrefix.size() : digits;
            const std::size_t taken = FPrefix.size() - separatorAt;
            const bool fits =
                taken == 0 ? (c >= '0' && c <= '9') || c == NumberSeparator[0] : c == NumberSeparator[taken];
            if (!fits) {
                // Not the run's numbering after all: the bytes are the entry's own.
                FState = TState::Other;
                std::string prefix;
                prefix.swap(FPrefix);
                OtherText(prefix);
                break;
            }
            FPrefix += c;
            bytes.remove_prefix(1);
            if (FPrefix.size() > NumberSeparator.size() && FPrefix.ends_with(NumberSeparator)) {
                std::int64_t number = 0;
                std::from_chars(FPrefix.data(), FPrefix.data() + FPrefix.size(), number);
                FState = TState::Reported;
                BeginReported(number);
            }
            break;
        }
        case TState::Reported:
            ReportedText(bytes);
            return;
        case TState::Other:
            OtherText(bytes);
            return;
        }
    }
}

void ReportSink::EndEntry()
{
    switch (FState) {
    case TState::Reported:
        EndReported();
        break;
    case TState::Prefix:
        FState = TState::Other;
        OtherText(FPrefix);
        [[fallthrough]];
    case TState::Start:
    case TState::Other:
        WriteLog("\r");
        if (!FSettings.Json) {
            Write(std::string_view(&FSettings.Terminator, 1));
        }
        // A header between two files' groups separates them well enough.
        FHeaderSinceGroup = true;
        break;
    }
    FState = TState::Start;
}

void ReportSink::OtherText(std::string_view text)
{
    WriteLog(text);
    if (!FSettings.Json) {
        Write(text);
    }
}

void ReportSink::BeginReported(std::int64_t number)
{
    FNumber = number;
    FText.clear();
    if (FSettings.Numbers) {
        WriteLog(FPrefix);
    }
    if (FSettings.Before >= 0 || FSettings.After >= 0) {
        AfterLines(number - 1);
        const std::int64_t first =
            std::max({number - std::max(FSettings.Before, 0), FLastWritten + 1, std::int64_t{1}});
        const bool touches = FLastWritten != 0 && first == FLastWritten + 1;
        if (!touches && FAnyGroup && !FHeaderSinceGroup && !FSettings.Json) {
            Write(GroupSeparator);
            Write(std::string_view(&FSettings.Terminator, 1));
        }
        ContextLines(first, number - 1);
        FLastWritten = number;
        FLastReported = number;
        FAnyGroup = true;
        FHeaderSinceGroup = false;
    }
    if (!FSettings.Json && FSettings.Numbers) {
        Write(FPrefix);
    }
}

void ReportSink::ReportedText(std::string_view text)
{
    WriteLog(text);
    if (FSettings.Json) {
        FText += text;
    } else {
        Write(text);
    }
}

void ReportSink::EndReported()
{
    WriteLog("\r");
    if (FSettings.Json) {
        WriteJson(FNumber, FText, false);
        FText.clear();
    } else {
        Write(std::string_view(&FSettings.Terminator, 1));
    }
}

void ReportSink::WriteJson(std::int64_t number, std::string_view text, bool context)
{
    FOut.clear();
    FOut += '{';
    AppendJsonText(FOut, "path", "path_bytes", FFileName);
    FOut += ", \"line\": ";
    FOut += FSettings.Numbers ? std::to_string(number) : "null";
    FOut += ", ";
    AppendJsonText(FOut, "text", "bytes", text);
    if (context) {
        FOut += ", \"context\": true";
    }
    FOut += "}\n";
    Write(FOut);
}

bool ReportSink::OpenFile()
{
    if (!FOpenTried) {
        FOpenTried = true;
        std::string reason;
        // A file that cannot be read again gives no context lines; its reported lines are written all
        // the same, and the run has already said what it could not read.
        FSource = OpenTextSource(FPathToRead(FFileName), reason, FSettings.Decode);
        if (FSource) {
            FIndex = std::make_unique<LineIndex>(*FSource, FSettings.Format);
        }
    }
    return FIndex != nullptr;
}

// Lines first..last of the file as context, as far as the file has them.
void ReportSink::ContextLines(std::int64_t first, std::int64_t last)
{
    if (first > last || !OpenFile()) {
        return;
    }
    std::int64_t start = FIndex->StartOf(first);
    for (std::int64_t number = first; number <= last && start >= 0; ++number) {
        if (!FIndex->ReadLine(start, LinePiece, FLine)) {
            break;
        }
        if (FSettings.Json) {
            if (FLine.Cut) {
                std::string whole;
                FIndex->CopyBytes(FLine.Start, FLine.ContentEnd,
                                  [&](std::string_view piece) { whole += piece; });
                WriteJson(number, whole, true);
            } else {
                WriteJson(number, FLine.Bytes, true);
            }
        } else {
            if (FSettings.Numbers) {
                Write(std::to_string(number));
                Write(ContextSeparator);
            }
            if (FLine.Cut) {
                FIndex->CopyBytes(FLine.Start, FLine.ContentEnd,
                                  [this](std::string_view piece) { Write(piece); });
            } else {
                Write(FLine.Bytes);
            }
            Write(std::string_view(&FSettings.Terminator, 1));
        }
        FLastWritten = number;
        start = FLine.Next;
    }
}

// The lines after the last reported line, up to last.
void ReportSink::AfterLines(std::int64_t last)
{
    if (FLastReported == 0 || FSettings.After <= 0) {
        return;
    }
    ContextLines(FLastWritten + 1, std::min(last, FLastReported + FSettings.After));
}

void ReportSink::FileBegins(const std::string& fileName)
{
    AfterLines(std::numeric_limits<std::int64_t>::max());
    FFileName = fileName;
    FIndex.reset();
    FSource.reset();
    FOpenTried = false;
    FLastWritten = 0;
    FLastReported = 0;
}

void ReportSink::Finish()
{
    AfterLines(std::numeric_limits<std::int64_t>::max());
    FIndex.reset();
    FSource.reset();
}
