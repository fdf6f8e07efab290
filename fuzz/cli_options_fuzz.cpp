// sifton-cli's option parser on arbitrary argument lists (arguments separated by byte 0).
#include "cli/CliOptions.h"
#include "search/SearchRequest.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.emplace_back();
        } else {
            args.back() += static_cast<char>(data[i]);
        }
    }
    CliOptions options;
    std::string error;
    const CliCommand command = ParseCliArguments(args, options, error);
    bool bad = false;
    if (command == CliCommand::BadArguments) {
        bad = error.empty();
    } else if (command == CliCommand::Search) {
        // Whatever refresh rate was accepted must be one the engine takes as given.
        const std::int32_t rate = RefreshRateFromText(options.Inputs.RefreshRateText);
        bad = rate < MinRefreshRate || rate > MaxRefreshRate || !error.empty();
        if (!bad) {
            PrepareRequest(options.Inputs);
        }
    }
    if (bad) {
        std::fprintf(stderr, "property failed: command %d, error '%s'\n", static_cast<int>(command),
                     error.c_str());
        std::abort();
    }
    return 0;
}
