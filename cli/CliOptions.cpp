#include "cli/CliOptions.h"

#include <charconv>

const char* const CliUsage = R"(Usage: sifton-cli [OPTION]... STRING1 [FILE]...
Search each FILE for the lines that hold STRING1 (and STRING2, as the operator says).
  --and S2 | --or S2 | --xor S2 | --and-not S2   second string and its operator (an empty S2 means none)
  -s, --case-sensitive    compare exactly (default: a-z fold to A-Z, nothing else folds)
  -E, --regex             STRING1 and S2 are regular expressions (PCRE2 syntax), each matched within
                          one line without its line end; case folds as for strings (a-z and A-Z only)
  -v, --reverse           report the lines that fail the test
  -n, --line-numbers      write "N : " before each reported line
  -1, --one               stop reading a file after its first reported line
      --dos               DOS text: CR and CR LF end a line, LF is an ordinary byte
      --unix              Unix text (the default here): LF, CR and CR LF end a line
  -V, --verbose           the new-search line and one header line per file
  -w, --count-words       count occurrences of STRING1 (Words Found)
  -L, --list FILE         also search the files named in FILE, one path per line (CR LF, LF or CR)
  -r, --recursive         a folder adds every file below it (default: the ordinary files directly in it)
      --include GLOB      of the files found in folders, search only those whose name matches GLOB
      --exclude GLOB      of the files found in folders, skip those whose name matches GLOB
      --exclude-dir GLOB  with -r, do not enter sub-folders whose name matches GLOB
                          (each may be given again; GLOB as the shell's *, ? and [...], matched
                          against the name without its folder; FILEs named here are always searched)
  -z, --decompress        search gzip, bzip2, xz and zstd files decompressed, told by their first bytes
      --skip-binary       skip files whose first 64 KiB (decompressed, converted) hold a NUL byte;
                          each is named on standard error ("Binary file skipped")
      --log FILE          also write the result log, byte for byte (entries ended by byte 13), to FILE
      --cr                end entries on standard output with byte 13 as the log does (default: LF)
  -q, --quiet             write no lines to standard output
      --stats             after the run, write "Lines Searched: N", "Lines Found: N", "Words Found: N" to standard error, one per line, N grouped by the locale's thousands separator
      --progress          a live progress line on standard error (default when standard error is a terminal)
      --refresh N         lines between progress updates (1000..1000000, default 1000)
  -j, --threads N         scan threads (1..1024, default: the cores it may use); output stays in order
  -A, --after-context N   also write the N lines after each reported line (standard output only, never --log)
  -B, --before-context N  also write the N lines before each reported line (standard output only)
  -C, --context N         N lines before and after (-A and -B win over it); groups of lines that do not
                          touch are separated by a line "--"; with -n, reported lines keep "N : " and
                          context lines get "N - "
      --json              one JSON object per reported line instead of the line, each on a line of its
                          own: {"path": file, "line": N (with -n; else null), "text": line}, with "bytes"
                          (base64) in place of "text" for a line that is not UTF-8 (and "path_bytes" for
                          such a path); context lines come as the same objects with "context": true; no
                          new-search or header lines; --log stays as it is
  -h, --help  /  --version
With no FILE and no --list, or with FILE "-", it reads standard input (with -z, compressed or not).
A file that begins with a UTF-16 byte-order mark is searched as UTF-8, and its lines written so.
Exit status: 0 when a line was reported, 1 when none was, 2 when the arguments are wrong (a regular expression that does not compile too) or a file could not be read (the other files are still searched; grep's convention). A line too complex for a regular expression's limits ends its file's search as a read failure does.
)";

namespace {

bool SetSecondString(CliOptions& options, int operatorIndex, const std::string& text)
{
    options.Inputs.String2 = text;
    options.Inputs.OperatorIndex = operatorIndex;
    return true;
}

bool SetRefresh(CliOptions& options, const std::string& text, std::string& error)
{
    long long value = 0;
    const auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || problem != std::errc() || end != text.data() + text.size() ||
        value < MinRefreshRate || value > MaxRefreshRate) {
        error = "--refresh: '" + text + "' is not a whole number from 1000 to 1000000";
        return false;
    }
    options.Inputs.RefreshRateText = text;
    return true;
}

bool SetContext(int& lines, const std::string& name, const std::string& text, std::string& error)
{
    int value = 0;
    const auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || problem != std::errc() || end != text.data() + text.size() || value < 0) {
        error = name + ": '" + text + "' is not a whole number of lines";
        return false;
    }
    lines = value;
    return true;
}

bool SetThreads(CliOptions& options, const std::string& name, const std::string& text, std::string& error)
{
    int value = 0;
    const auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || problem != std::errc() || end != text.data() + text.size() || value < 1 ||
        value > 1024) {
        error = name + ": '" + text + "' is not a whole number from 1 to 1024";
        return false;
    }
    options.Threads = value;
    return true;
}

/// -A and -B given on their own win over -C, whatever the order (as grep has it).
struct ContextLines {
    int Before = -1;
    int After = -1;
    int Both = -1;
};

/// Applies an option that takes a value; false with error when the value is wrong.
bool ApplyValued(const std::string& name, const std::string& value, CliOptions& options,
                 ContextLines& context, std::string& error)
{
    if (name == "-A" || name == "--after-context") {
        return SetContext(context.After, name, value, error);
    }
    if (name == "-B" || name == "--before-context") {
        return SetContext(context.Before, name, value, error);
    }
    if (name == "-C" || name == "--context") {
        return SetContext(context.Both, name, value, error);
    }
    if (name == "--and") {
        return SetSecondString(options, 0, value);
    }
    if (name == "--or") {
        return SetSecondString(options, 1, value);
    }
    if (name == "--xor") {
        return SetSecondString(options, 2, value);
    }
    if (name == "--and-not") {
        return SetSecondString(options, 3, value);
    }
    if (name == "--list" || name == "-L") {
        options.Lists.push_back(value);
        return true;
    }
    if (name == "--log") {
        options.HasLogFile = true;
        options.LogFile = value;
        return true;
    }
    if (name == "--threads" || name == "-j") {
        return SetThreads(options, name, value, error);
    }
    if (name == "--include") {
        options.Filter.Include.push_back(value);
        return true;
    }
    if (name == "--exclude") {
        options.Filter.Exclude.push_back(value);
        return true;
    }
    if (name == "--exclude-dir") {
        options.Filter.ExcludeDir.push_back(value);
        return true;
    }
    return SetRefresh(options, value, error);
}

bool TakesValue(const std::string& name)
{
    return name == "--and" || name == "--or" || name == "--xor" || name == "--and-not" || name == "--list" ||
           name == "-L" || name == "--log" || name == "--refresh" || name == "--threads" ||
           name == "--after-context" || name == "--before-context" || name == "--context" ||
           name == "--include" || name == "--exclude" || name == "--exclude-dir";
}

/// Applies a switch; false when there is no such switch.
bool ApplySwitch(const std::string& name, CliOptions& options, CliCommand& command)
{
    SearchInputs& in = options.Inputs;
    if (name == "-s" || name == "--case-sensitive") {
        in.CaseSensitive = true;
    } else if (name == "-E" || name == "--regex") {
        in.Regex = true;
    } else if (name == "-v" || name == "--reverse") {
        in.ReverseLogic = true;
    } else if (name == "-n" || name == "--line-numbers") {
        in.LineNumbering = true;
    } else if (name == "-1" || name == "--one") {
        in.OneOccurrence = true;
    } else if (name == "--dos") {
        in.LineFormat = LineFormat::Dos;
    } else if (name == "--unix") {
        in.LineFormat = LineFormat::Unix;
    } else if (name == "-V" || name == "--verbose") {
        in.Verbose = true;
    } else if (name == "-w" || name == "--count-words") {
        in.WordCounting = true;
    } else if (name == "-r" || name == "--recursive") {
        options.Recursive = true;
    } else if (name == "-z" || name == "--decompress") {
        in.Decompress = true;
    } else if (name == "--skip-binary") {
        in.SkipBinary = true;
    } else if (name == "--cr") {
        options.CrEntries = true;
    } else if (name == "-q" || name == "--quiet") {
        options.Quiet = true;
    } else if (name == "--stats") {
        options.Stats = true;
    } else if (name == "--json") {
        options.Json = true;
    } else if (name == "--progress") {
        options.Progress = options.ProgressGiven = true;
    } else if (name == "-h" || name == "--help") {
        command = CliCommand::Help;
    } else if (name == "--version") {
        if (command != CliCommand::Help) {
            command = CliCommand::Version;
        }
    } else {
        return false;
    }
    return true;
}

} // namespace

CliCommand ParseCliArguments(const std::vector<std::string>& args, CliOptions& options, std::string& error)
{
    options.Inputs.LineFormat = LineFormat::Unix;
    CliCommand command = CliCommand::Search;
    ContextLines context;
    std::size_t i = 0;
    const auto bad = [&](std::string message) {
        error = std::move(message);
        return CliCommand::BadArguments;
    };
    for (; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--") {
            ++i;
            break;
        }
        if (arg.size() < 2 || arg[0] != '-') {
            break; // STRING1; "-" alone is a string too
        }
        if (arg.starts_with("--")) {
            const std::size_t equals = arg.find('=');
            const std::string name = arg.substr(0, equals);
            if (TakesValue(name)) {
                std::string value;
                if (equals != std::string::npos) {
                    value = arg.substr(equals + 1);
                } else if (i + 1 < args.size()) {
                    value = args[++i];
                } else {
                    return bad("option '" + name + "' needs an argument");
                }
                if (!ApplyValued(name, value, options, context, error)) {
                    return CliCommand::BadArguments;
                }
            } else if (equals != std::string::npos) {
                return bad("option '" + name + "' takes no argument");
            } else if (!ApplySwitch(name, options, command)) {
                return bad("unknown option '" + arg + "'");
            }
            continue;
        }
        // Short switches may be grouped ("-sn"); -L, -j, -A, -B and -C take the rest of the word or the
        // next argument.
        for (std::size_t k = 1; k < arg.size(); ++k) {
            const std::string name{'-', arg[k]};
            if (name == "-L" || name == "-j" || name == "-A" || name == "-B" || name == "-C") {
                std::string value;
                if (k + 1 < arg.size()) {
                    value = arg.substr(k + 1);
                } else if (i + 1 < args.size()) {
                    value = args[++i];
                } else {
                    return bad("option '" + name + "' needs an argument");
                }
                if (!ApplyValued(name, value, options, context, error)) {
                    return CliCommand::BadArguments;
                }
                break;
            }
            if (!ApplySwitch(name, options, command)) {
                return bad("unknown option '" + name + "'");
            }
        }
    }
    options.BeforeContext = context.Before >= 0 ? context.Before : context.Both;
    options.AfterContext = context.After >= 0 ? context.After : context.Both;
    if (command != CliCommand::Search) {
        return command;
    }
    if (i >= args.size()) {
        return bad("STRING1 is missing");
    }
    options.Inputs.String1 = args[i++];
    options.Files.assign(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
    return CliCommand::Search;
}
