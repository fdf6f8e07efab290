#pragma once

#include "search/SearchRequest.h"

#include <string>
#include <vector>

/// What the command line of sifton-cli asks for.
struct CliOptions {
    SearchInputs Inputs;
    std::vector<std::string> Files; ///< FILE operands in order; "-" is standard input
    std::vector<std::string> Lists; ///< files named by --list, each holding one path per line
    bool Recursive = false;
    bool HasLogFile = false;
    std::string LogFile;
    bool CrEntries = false;
    bool Quiet = false;
    bool Stats = false;
    bool Progress = false;
    bool ProgressGiven = false;
    int Threads = 0; ///< scan threads; 0: as many as the processors the process may use
};

enum class CliCommand { Search, Help, Version, BadArguments };

/// Reads args (without the program name); on BadArguments, error holds a one-line message.
CliCommand ParseCliArguments(const std::vector<std::string>& args, CliOptions& options, std::string& error);

/// The text --help prints.
extern const char* const CliUsage;
