#pragma once

#include "search/LiteralFinder.h"
#include "search/Regex.h"
#include "search/SearchRequest.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

/// A search string of a request that does not compile: which one (1 or 2) and why.
struct RegexError {
    int String = 1;
    RegexProblem Problem;
};

/// The first search string of a request for regular expressions that does not compile; nothing when
/// both do, and for a request of literal strings.
std::optional<RegexError> CheckRegexRequest(const SearchRequest& request);

/// The line test of a run whose search strings are regular expressions, for one thread.
///
/// PCRE2 gives the answer, but only for lines that may pass: the literals each pattern requires
/// (RequiredLiterals, or else a byte PCRE2 knows every match holds) are found in the whole buffer
/// with the literal finder first, and a line is looked at only around a hit, as ripgrep does. A
/// line must hold a literal of each of a pattern's rarest sets before PCRE2 is asked about it.
class RegexLineTest {
public:
    /// Throws std::invalid_argument with RegexProblemText's message when a string does not compile.
    explicit RegexLineTest(const SearchRequest& request);
    ~RegexLineTest();
    RegexLineTest(const RegexLineTest&) = delete;
    RegexLineTest& operator=(const RegexLineTest&) = delete;

    /// Forgets the hits found ahead: the next look is in another buffer.
    void Restart();

    /// The first byte at or after a where a line of [a, end) may pass the test: a itself when any line
    /// may, nullptr when none may. Between two Restarts, a and end are those of one buffer, and a never
    /// goes back.
    const char* NextCandidate(const char* a, const char* end);

    /// The run's predicate on the line [begin, end): Match when it holds.
    RegexOutcome Test(const char* begin, const char* end);

    /// Adds the non-overlapping matches of string 1 in a reported line to count.
    RegexOutcome CountWords(const char* begin, const char* end, std::int64_t& count);

    /// Whether lines are looked at only around literal hits (false: every line is a candidate).
    bool UsesLiterals() const { return !FEveryLine; }

    /// The literals whose hits make candidate lines, when they are few enough for the one-pass kernel
    /// (LiteralFinder::FindCountingAny); empty when every line is a candidate, or when there are more.
    std::span<const LiteralFinder* const> CandidateLiterals() const
    {
        if (FCandidates.size() > LiteralFinder::MaxAny) {
            return {};
        }
        return FCandidates;
    }

private:
    struct Side {
        std::unique_ptr<RegexPattern> Pattern;
        std::vector<std::vector<LiteralFinder>> Required; // a line holds a literal of each, or no match
        std::vector<LiteralFinder> Drivers; // the rarest set; empty when no literal is known
    };

    static Side Prepare(const SearchRequest& request, int string);
    RegexOutcome Holds(Side& side, const char* begin, const char* end);

    SearchOperator FOperator;
    Side F1;
    Side F2;
    bool FEveryLine = false;
    std::vector<const LiteralFinder*> FCandidates; // the literals whose hits make candidate lines
    std::vector<const char*> FNext; // the next hit of each, at or after where it was last looked for
    std::vector<bool> FKnown; // FNext holds a valid answer for this buffer
};
