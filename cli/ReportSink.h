#pragma once

#include "search/Decoding.h"
#include "search/EntrySink.h"
#include "search/LineIndex.h"
#include "search/TextSource.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

class ProgressLine;

/// The console's output when it adds context lines or writes JSON. The run numbers its entries for it
/// ("N : text"); it takes them apart, writes the log exactly as the user's options make it (numbers only
/// with -n), and on standard output writes each reported line with the lines around it, read again
/// from its file, or as a JSON object.
class ReportSink final : public EntrySink {
public:
    struct Options {
        std::FILE* Out = nullptr; ///< standard output; nullptr with -q
        char Terminator = '\n'; ///< after each line on standard output
        std::FILE* Log = nullptr; ///< the --log file, or nullptr
        bool Numbers = false; ///< -n was given
        LineFormat Format = LineFormat::Unix; ///< the run's, for reading the lines around again
        int Before = -1; ///< context lines before each reported line; -1: no context asked for
        int After = -1; ///< context lines after each reported line; -1: no context asked for
        bool Json = false;
        DecodeOptions Decode; ///< the run's: a compressed or UTF-16 file's lines are read as its text
    };

    /// pathToRead: where a listed name's lines can be read again (standard input's copy, say).
    ReportSink(const Options& settings, ProgressLine& progress,
               std::function<std::string(const std::string&)> pathToRead);

    void WriteLogLine(std::string_view text) override;
    void WriteLogEntries(std::string_view entries) override;
    /// The unfinished entry is ended where it stopped, as the plain output does.
    void DropOpenEntry() override;

    /// A listed file's entries begin (its header line first in a verbose run).
    void FileBegins(const std::string& fileName);
    /// The run has ended: the lines after the last reported line of the last file.
    void Finish();
    /// True once a write to standard output has failed (and been thrown).
    bool OutputFailed() const { return FOutputFailed; }

private:
    enum class TState { Start, Prefix, Reported, Other };

    void Take(std::string_view bytes);
    void EndEntry();
    void BeginReported(std::int64_t number);
    void ReportedText(std::string_view text);
    void EndReported();
    void OtherText(std::string_view text);
    void ContextLines(std::int64_t first, std::int64_t last);
    void AfterLines(std::int64_t last);
    bool OpenFile();
    void WriteJson(std::int64_t number, std::string_view text, bool context);
    void Write(std::string_view bytes);
    void WriteLog(std::string_view bytes);

    Options FSettings;
    ProgressLine& FProgress;
    std::function<std::string(const std::string&)> FPathToRead;
    bool FOutIsTerminal;
    bool FOutputFailed = false;

    TState FState = TState::Start;
    std::string FPrefix; // "N : " while it is being taken
    std::int64_t FNumber = 0; // the reported line in hand
    std::string FText; // its text, for JSON

    std::string FFileName; // the file whose entries are being written
    std::unique_ptr<TextSource> FSource; // opened at its first reported line, when context is asked for
    std::unique_ptr<LineIndex> FIndex;
    bool FOpenTried = false;
    std::int64_t FLastWritten = 0; // the file's last line on standard output; 0: none yet
    std::int64_t FLastReported = 0;
    bool FAnyGroup = false; // a group of lines has been written in this run
    bool FHeaderSinceGroup = false; // a header line stands between the last group and the next
    IndexedLine FLine;
    std::string FOut;
};
