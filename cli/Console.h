#pragma once

#include "cli/FileArgs.h"
#include "cli/FileFeed.h"
#include "cli/Spool.h"
#include "search/EntrySink.h"
#include "search/SearchRun.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <vector>

/// The live progress line on standard error: the caption and the four status panels.
class ProgressLine {
public:
    explicit ProgressLine(bool enabled);
    void SetCaption(const std::string& caption);
    void SetPanel(int panel, const std::string& text);
    /// Removes the line so that other output starts on a clean line.
    void Erase();

private:
    void Draw(bool force);

    bool FEnabled;
    std::string FCaption;
    std::array<std::string, 4> FPanels;
    std::size_t FShownWidth = 0;
    std::chrono::steady_clock::time_point FLastDraw{};
};

/// Entries to standard output (LF or CR after each) and, with --log, to the log file (CR after each).
/// A write to standard output that fails throws "standard output: <reason>": the run stops there.
class ConsoleSink final : public EntrySink {
public:
    ConsoleSink(std::FILE* out, char terminator, std::FILE* log, ProgressLine& progress);
    void WriteLogLine(std::string_view text) override;
    void WriteLogEntries(std::string_view entries) override;
    /// A stream cannot take bytes back: the unfinished entry is ended where it stopped.
    void DropOpenEntry() override;
    /// True once a write to standard output has failed (and been thrown).
    bool OutputFailed() const { return FOutputFailed; }

private:
    void CheckOutput();

    bool FOutputFailed = false;
    bool FEntryOpen = false; // the last bytes written stopped inside an entry
    std::FILE* FOut;
    std::string FTranslated; // entries with their byte 13 turned into the terminator
    char FTerminator;
    std::FILE* FLog;
    ProgressLine& FProgress;
    bool FOutIsTerminal;
};

/// The run's host on the console: the file list, the progress line and the error messages.
class ConsoleHost final : public SearchHost {
public:
    /// files: the run's files, still being found while the run reads the first ones; failed: told of
    /// each folder or list that could not be read, on the run's thread as the run asks for files.
    /// named: the paths given on the command line, which may be FIFOs or devices (read as grep does).
    ConsoleHost(FileFeed& files, ReadFailure failed, std::set<std::string> named, ProgressLine& progress);
    void SetStatusText(int panel, const std::string& text) override;
    void SetCaption(const std::string& caption) override;
    void ShowCaptionAsTitle() override { }
    bool ShowsTitle() const override { return false; }
    std::int64_t FileCount() override { return FFiles.Count(); }
    std::optional<std::string> FileName(std::int64_t index) override;
    void FileFailed(const std::string& fileName, const std::string& reason) override;
    /// Named on standard error like a failure, but no failure: the exit status stays as it was.
    void FileSkipped(const std::string& fileName, const std::string& reason) override;
    /// Standard input for "-"; with Spool set, a copy of a named input that is a pipe.
    std::string PathToOpen(const std::string& fileName) override;
    bool MayReadAnyFile(const std::string& fileName) override { return FNamed.contains(fileName); }
    void FileEntriesBegin(std::int64_t index, const std::string& fileName) override;

    /// Told when a listed file's entries begin, on the run's thread.
    std::function<void(const std::string& fileName)> OnFileEntriesBegin;
    /// Set when the lines of the inputs are read again (context lines): a pipe can be read only once.
    SpoolFiles* Spool = nullptr;

private:
    FileFeed& FFiles;
    ReadFailure FFailed;
    std::set<std::string> FNamed;
    ProgressLine& FProgress;
};

/// Writes "sifton-cli: <path>: <reason>" to standard error.
void ReportError(const std::string& path, const std::string& reason);
