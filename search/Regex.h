#pragma once

#include "search/SearchRequest.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

/// Why a pattern does not compile: PCRE2's reason and the byte offset in the pattern where it stopped.
struct RegexProblem {
    std::size_t Offset = 0;
    std::string Reason;
};

/// What one match attempt came to.
enum class RegexOutcome {
    NoMatch,
    Match,
    TooComplex, ///< the match, depth or heap limit was reached before an answer
};

/// The reason a file's scan ends at a line that is more than the limits allow.
inline constexpr std::string_view RegexTooComplexReason = "Regular expression too complex for this line";

/// The message for a search string that does not compile; position counts what comes before the
/// place where the pattern went wrong (bytes for the console, characters for the window).
std::string RegexProblemText(int string, std::string_view reason, std::size_t position);

/// One pattern compiled by PCRE2, with its JIT where the machine has one, and what matching it needs:
/// match data, limits and a JIT stack. For one thread at a time.
///
/// A line is matched as a subject of its own: `^` and `$` match at its start and end only, `.` matches
/// every byte but the format's line ends (none of which is ever inside a line; an LF inside a DOS
/// line is an ordinary byte). Bytes are characters (no UTF-8), and without case sensitivity only the
/// ASCII letters fold, as for literal strings, whatever the locale.
class RegexPattern {
public:
    /// The compiled pattern, or nullptr with problem filled.
    static std::unique_ptr<RegexPattern> Compile(std::string_view pattern, bool caseSensitive,
                                                 LineFormat format, RegexProblem& problem);
    ~RegexPattern();
    RegexPattern(const RegexPattern&) = delete;
    RegexPattern& operator=(const RegexPattern&) = delete;

    /// Whether the pattern matches somewhere in the line [begin, end).
    RegexOutcome Matches(const char* begin, const char* end);

    /// The first match in the line [begin, end) that starts at or after from; with notEmptyAtFrom an
    /// empty match at from does not count. The match is [at, at + length) of the line.
    RegexOutcome Find(const char* begin, const char* end, std::size_t from, bool notEmptyAtFrom,
                      std::size_t& at, std::size_t& length);

    /// Adds the non-overlapping matches in the line to count, as Perl's //g finds them (an empty match
    /// counts, but never where the match before it ended empty). On TooComplex count holds those found.
    RegexOutcome CountMatches(const char* begin, const char* end, std::int64_t& count);

    /// A byte every match starts with (PCRE2's own analysis); nullopt when there is none.
    std::optional<unsigned char> FirstByte() const;
    /// A byte every match holds; nullopt when there is none.
    std::optional<unsigned char> RequiredByte() const;
    /// Whether PCRE2's JIT compiled the pattern (otherwise its interpreter matches).
    bool Jitted() const { return FJitted; }

private:
    struct Handles;
    explicit RegexPattern(std::unique_ptr<Handles> handles);
    int Run(const char* subject, std::size_t length, std::size_t start, std::uint32_t options);

    std::unique_ptr<Handles> F;
    bool FJitted = false;
};
