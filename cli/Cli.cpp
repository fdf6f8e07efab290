#include "cli/Cli.h"

#include "cli/CliOptions.h"
#include "cli/Console.h"
#include "cli/FileArgs.h"
#include "cli/FileFeed.h"
#include "cli/ReportSink.h"
#include "cli/Spool.h"
#include "search/LineReader.h"
#include "search/RegexLineTest.h"
#include "search/RunFlags.h"
#include "search/SearchRun.h"
#include "search/StatusTexts.h"

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int Found = 0;
constexpr int NoneFound = 1;
constexpr int Trouble = 2;
constexpr int Interrupted = 130;

void OnInterrupt(int)
{
    CancelRequested = true; // the run ends after the line in hand; its totals are still written
    std::signal(SIGINT, SIG_DFL); // a second Ctrl+C ends the program at once
}

std::string ThousandsSeparator()
{
    const std::lconv* conventions = std::localeconv();
    return conventions != nullptr && conventions->thousands_sep != nullptr ? conventions->thousands_sep : "";
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

} // namespace

int RunCli(int argc, char** argv)
{
    std::setlocale(LC_ALL, "");
    CliOptions options;
    std::string error;
    const CliCommand command =
        ParseCliArguments(std::vector<std::string>(argv + 1, argv + argc), options, error);
    switch (command) {
    case CliCommand::Help:
        std::fputs(CliUsage, stdout);
        return std::fflush(stdout) == 0 ? 0 : Trouble;
    case CliCommand::Version:
        std::puts("sifton-cli 1.0");
        return std::fflush(stdout) == 0 ? 0 : Trouble;
    case CliCommand::BadArguments:
        std::fprintf(stderr, "sifton-cli: %s\nTry 'sifton-cli --help' for more information.\n",
                     error.c_str());
        return Trouble;
    case CliCommand::Search:
        break;
    }

    // A pattern that does not compile is refused before any file is opened.
    const SearchRequest request = PrepareRequest(options.Inputs);
    if (const std::optional<RegexError> bad = CheckRegexRequest(request)) {
        std::fprintf(stderr, "sifton-cli: %s\n",
                     RegexProblemText(bad->String, bad->Problem.Reason, bad->Problem.Offset).c_str());
        return Trouble;
    }

    bool trouble = false;
    const ReadFailure failed = [&](const std::string& path, const std::string& reason) {
        ReportError(path, reason);
        trouble = true;
    };
    FileFeed::Sources sources;
    sources.Operands = options.Files;
    sources.Lists = options.Lists;
    sources.Recursive = options.Recursive;
    sources.Filter = options.Filter;
    std::set<std::string> named; // files named on the command line may be FIFOs, as for grep
    for (const std::string& file : options.Files) {
        std::error_code ignored;
        if (file == "-" || !std::filesystem::is_directory(file, ignored)) {
            named.insert(file);
        }
    }
    if (options.Files.empty() && options.Lists.empty()) {
        sources.Operands.push_back("-");
        named.insert("-");
    }

    std::unique_ptr<std::FILE, FileCloser> log;
    if (options.HasLogFile) {
        log.reset(std::fopen(options.LogFile.c_str(), "wb"));
        if (!log) {
            ReportError(options.LogFile, SystemReason(errno));
            return Trouble;
        }
        // The folders are walked while the log is written: the log itself is not one of the files.
        if (struct stat info{}; ::fstat(::fileno(log.get()), &info) == 0) {
            sources.Excluded =
                FileIdentity{info.st_dev, info.st_ino, std::filesystem::path(options.LogFile).filename()};
        }
    }
    FileFeed files(std::move(sources));

    const bool progress = options.ProgressGiven ? options.Progress : ::isatty(STDERR_FILENO) != 0;
    SearchInputs inputs = options.Inputs;
    inputs.LineCounting = inputs.ProgressIndication = progress;
    static char outBuffer[1 << 16];
    if (!::isatty(STDOUT_FILENO)) {
        std::setvbuf(stdout, outBuffer, _IOFBF, sizeof outBuffer);
    }

    ProgressLine line(progress);
    std::FILE* const out = options.Quiet ? nullptr : stdout;
    const char terminator = options.CrEntries ? '\r' : '\n';
    ConsoleSink plain(out, terminator, log.get(), line);
    // Context lines and JSON need each reported line's number: the run numbers every entry, and the
    // report takes the numbers off again where the user did not ask for them.
    const bool report = options.Context() || options.Json;
    ConsoleHost host(files, failed, std::move(named), line);
    DecodeOptions decode;
    decode.Utf16 = true;
    decode.Decompress = options.Inputs.Decompress;
    ReportSink reported({out, terminator, log.get(), options.Inputs.LineNumbering, options.Inputs.LineFormat,
                         options.BeforeContext, options.AfterContext, options.Json, decode},
                        line, [&host](const std::string& fileName) { return host.PathToOpen(fileName); });
    EntrySink& sink = report ? static_cast<EntrySink&>(reported) : plain;
    inputs.LineNumbering = inputs.LineNumbering || report;
    SpoolFiles spool;
    if (report) {
        host.OnFileEntriesBegin = [&reported](const std::string& fileName) { reported.FileBegins(fileName); };
    }
    if (options.Context()) {
        host.Spool = &spool;
    }
    SearchRun run(PrepareRequest(inputs), sink, host, ThousandsSeparator());
    if (options.Threads > 0) {
        run.SetThreads(options.Threads);
    }
    CancelRequested = false;
    std::signal(SIGINT, OnInterrupt);
    try {
        run.Walk();
        if (report && !CancelRequested) {
            reported.Finish();
        }
    } catch (const std::exception& error) {
        // Whatever ends the walk early is reported like a file that could not be read.
        line.Erase();
        std::fprintf(stderr, "sifton-cli: %s\n", error.what());
        trouble = true;
    }
    SearchRunning = false;
    // An interrupted run stops the walk; the failures it met are still told.
    files.Finish(CancelRequested);
    files.ReportFailures([&](const std::string& path, const std::string& reason) {
        line.Erase();
        failed(path, reason);
    });
    line.Erase();

    errno = 0;
    if ((std::fflush(stdout) != 0 || std::ferror(stdout)) && !plain.OutputFailed() &&
        !reported.OutputFailed()) {
        ReportError("standard output", SystemReason(errno));
        trouble = true;
    }
    if (log) {
        errno = 0;
        bool written = std::fflush(log.get()) == 0 && !std::ferror(log.get());
        const int flushError = errno;
        written = std::fclose(log.release()) == 0 && written;
        if (!written) {
            ReportError(options.LogFile, SystemReason(flushError != 0 ? flushError : errno));
            trouble = true;
        }
    }
    if (options.Stats) {
        const std::string separator = ThousandsSeparator();
        const RunCounters& counters = run.Counters();
        std::fprintf(stderr, "Lines Searched: %s\nLines Found: %s\nWords Found: %s\n",
                     FormatCount(counters.LinesSearched, separator).c_str(),
                     FormatCount(counters.LinesFound, separator).c_str(),
                     FormatCount(counters.WordsFound, separator).c_str());
    }
    if (CancelRequested) {
        return Interrupted;
    }
    if (trouble || run.FailedFiles() != 0) {
        return Trouble;
    }
    return run.Counters().LinesFound != 0 ? Found : NoneFound;
}
