#include "cli/Console.h"

#include "search/LineEnds.h"
#include "search/LineReader.h"
#include "search/StatusTexts.h"

#include <cerrno>
#include <stdexcept>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr auto RedrawEvery = std::chrono::milliseconds(100);

std::size_t TerminalWidth()
{
    winsize size{};
    if (::isatty(STDERR_FILENO) && ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) {
        return size.ws_col;
    }
    return 0;
}

} // namespace

void ReportError(const std::string& path, const std::string& reason)
{
    std::fflush(stdout);
    std::fprintf(stderr, "sifton-cli: %s: %s\n", path.c_str(), reason.c_str());
}

ProgressLine::ProgressLine(bool enabled)
    : FEnabled(enabled)
{
    for (std::size_t i = 0; i < FPanels.size(); ++i) {
        FPanels[i] = StartingStatusTexts[i];
    }
}

void ProgressLine::SetCaption(const std::string& caption)
{
    FCaption = caption;
    Draw(false);
}

void ProgressLine::SetPanel(int panel, const std::string& text)
{
    FPanels[static_cast<std::size_t>(panel) % FPanels.size()] = text;
    Draw(false);
}

void ProgressLine::Draw(bool force)
{
    if (!FEnabled) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!force && FShownWidth != 0 && now - FLastDraw < RedrawEvery) {
        return;
    }
    FLastDraw = now;
    std::string text = FCaption;
    for (const std::string& panel : FPanels) {
        text += "  ";
        text += panel;
    }
    // A line longer than the terminal would wrap, and "\r" could then not take it back.
    if (const std::size_t width = TerminalWidth(); width != 0 && text.size() >= width) {
        text.resize(width - 1);
    }
    std::string line(1, '\r');
    line += text;
    if (text.size() < FShownWidth) {
        line.append(FShownWidth - text.size(), ' ');
    }
    FShownWidth = std::max<std::size_t>(text.size(), 1);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

void ProgressLine::Erase()
{
    if (!FEnabled || FShownWidth == 0) {
        return;
    }
    std::string line(FShownWidth + 2, ' ');
    line.front() = line.back() = '\r';
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
    FShownWidth = 0;
}

ConsoleSink::ConsoleSink(std::FILE* out, char terminator, std::FILE* log, ProgressLine& progress)
    : FOut(out)
    , FTerminator(terminator)
    , FLog(log)
    , FProgress(progress)
    , FOutIsTerminal(out != nullptr && ::isatty(::fileno(out)))
{
}

void ConsoleSink::CheckOutput()
{
    if (FOut != nullptr && !FOutputFailed && std::ferror(FOut)) {
        const int error = errno != 0 ? errno : EIO;
        FOutputFailed = true;
        throw std::runtime_error("standard output: " + SystemReason(error));
    }
}

void ConsoleSink::WriteLogLine(std::string_view text)
{
    if (FOut != nullptr) {
        if (FOutIsTerminal) {
            FProgress.Erase();
        }
        errno = 0;
        std::fwrite(text.data(), 1, text.size(), FOut);
        std::fputc(FTerminator, FOut);
        CheckOutput();
    }
    if (FLog != nullptr) {
        std::fwrite(text.data(), 1, text.size(), FLog);
        std::fputc('\r', FLog);
    }
}

void ConsoleSink::DropOpenEntry()
{
    if (FEntryOpen) {
        WriteLogEntries("\r");
    }
}

void ConsoleSink::WriteLogEntries(std::string_view entries)
{
    if (entries.empty()) {
        return;
    }
    FEntryOpen = entries.back() != '\r';
    if (FOut != nullptr) {
        if (FOutIsTerminal) {
            FProgress.Erase();
        }
        errno = 0;
        if (FTerminator == '\r') {
            std::fwrite(entries.data(), 1, entries.size(), FOut);
        } else {
            FTranslated.resize(entries.size());
            CopyReplacing(FTranslated.data(), entries.data(), entries.size(), '\r', FTerminator);
            std::fwrite(FTranslated.data(), 1, FTranslated.size(), FOut);
        }
        CheckOutput();
    }
    if (FLog != nullptr) {
        std::fwrite(entries.data(), 1, entries.size(), FLog);
    }
}

ConsoleHost::ConsoleHost(FileFeed& files, ReadFailure failed, std::set<std::string> named,
                         ProgressLine& progress)
    : FFiles(files)
    , FFailed(std::move(failed))
    , FNamed(std::move(named))
    , FProgress(progress)
{
}

void ConsoleHost::SetStatusText(int panel, const std::string& text)
{
    FProgress.SetPanel(panel, text);
}

void ConsoleHost::SetCaption(const std::string& caption)
{
    FProgress.SetCaption(caption);
}

std::optional<std::string> ConsoleHost::FileName(std::int64_t index)
{
    std::optional<std::string> name = FFiles.Name(index);
    FFiles.ReportFailures([this](const std::string& path, const std::string& reason) {
        FProgress.Erase();
        FFailed(path, reason);
    });
    return name;
}

void ConsoleHost::FileFailed(const std::string& fileName, const std::string& reason)
{
    FProgress.Erase();
    ReportError(fileName, reason);
}

void ConsoleHost::FileSkipped(const std::string& fileName, const std::string& reason)
{
    FProgress.Erase();
    ReportError(fileName, reason);
}

std::string ConsoleHost::PathToOpen(const std::string& fileName)
{
    const std::string path = fileName == "-" ? "/dev/stdin" : fileName;
    // Only what may be read whatever it is: a pipe met in a folder is refused by the run, not copied.
    return Spool != nullptr && FNamed.contains(fileName) ? Spool->PathFor(path) : path;
}

void ConsoleHost::FileEntriesBegin(std::int64_t index, const std::string& fileName)
{
    static_cast<void>(index);
    if (OnFileEntriesBegin) {
        OnFileEntriesBegin(fileName);
    }
}
