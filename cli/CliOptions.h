#pragma once

#include "cli/FileArgs.h"
#include "search/SearchRequest.h"

#include <string>
#include <vector>

/// What the command line of sifton-cli asks for.
struct CliOptions {
    SearchInputs Inputs;
    std::vector<std::string> Files; ///< FILE operands in order; "-" is standard input
    std::vector<std::string> Lists; ///< files named by --list, each holding one path per line
    bool Recursive = false;
    WalkFilter Filter; ///< --include, --exclude, --exclude-dir
    bool HasLogFile = false;
    std::string LogFile;
    bool CrEntries = false;
    bool Quiet = false;
    bool Stats = false;
    bool Progress = false;
    bool ProgressGiven = false;
    int Threads = 0; ///< scan threads; 0: as many as the processors the process may use
    int BeforeContext = -1; ///< -B (or -C): lines written before each reported line; -1 when not asked for
    int AfterContext = -1; ///< -A (or -C): lines written after each reported line; -1 when not asked for
    bool Json = false; ///< one JSON object per reported line on standard output
    /// Context lines were asked for (-A, -B or -C, even with 0 lines: the groups are still separated).
    bool Context() const { return BeforeContext >= 0 || AfterContext >= 0; }
};

enum class CliCommand { Search, Help, Version, BadArguments };

/// Reads args (without the program name); on BadArguments, error holds a one-line message.
CliCommand ParseCliArguments(const std::vector<std::string>& args, CliOptions& options, std::string& error);

/// The text --help prints.
extern const char* const CliUsage;
