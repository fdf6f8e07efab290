#pragma once

// Runs the real sifton-cli for end-to-end tests: the built program (SIFTON_BIN), in a folder of test
// files, with standard input, output and error in files.
#include "tests/support/TempDir.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

/// What one run gave.
struct CliOutcome {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string CliProgram()
{
    const char* bin = std::getenv("SIFTON_BIN");
    return std::string(bin != nullptr ? bin : "build/bin") + "/sifton-cli";
}

/// Runs sifton-cli in folder with args, stdin fed from input; stdout goes to outPath when given.
inline CliOutcome RunCliIn(const TempDir& folder, const std::vector<std::string>& args,
                           const std::string& input = "", const char* outPath = nullptr,
                           const char* locale = "C")
{
    const std::string in = folder.Write(".stdin", input);
    const std::string out = (folder.Path() / ".stdout").string();
    const std::string err = (folder.Path() / ".stderr").string();
    const std::string program = CliProgram();
    const pid_t child = ::fork();
    if (child == 0) {
        if (::chdir(folder.Path().c_str()) != 0) {
            ::_exit(99);
        }
        ::setenv("LC_ALL", locale, 1);
        const int inFd = ::open(in.c_str(), O_RDONLY);
        const int outFd =
            ::open(outPath != nullptr ? outPath : out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(inFd, 0);
        ::dup2(outFd, 1);
        ::dup2(errFd, 2);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : args) {
            argv.push_back(const_cast<char*>(a.c_str()));
        }
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(98);
    }
    CliOutcome outcome;
    int status = 0;
    ::waitpid(child, &status, 0);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.out = outPath != nullptr ? "" : TempDir::Read(out);
    outcome.err = TempDir::Read(err);
    std::filesystem::remove(in);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return outcome;
}
