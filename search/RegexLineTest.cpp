#include "search/RegexLineTest.h"

#include "search/RegexLiterals.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace {

constexpr std::size_t MaxDrivers = LiteralFinder::MaxAny; // literals searched at once for candidates
constexpr std::size_t MaxCheckSet = 8; // literals of a set checked on a candidate line
constexpr std::size_t MaxChecks = 4; // sets checked on a candidate line

const std::string& PatternOf(const SearchRequest& request, int string)
{
    return string == 1 ? request.Pattern1 : request.Pattern2;
}

std::vector<LiteralFinder> Finders(const std::vector<std::string>& set, bool folded)
{
    std::vector<LiteralFinder> finders;
    finders.reserve(set.size());
    for (const std::string& s : set) {
        finders.emplace_back(s, folded);
    }
    return finders;
}

} // namespace

std::optional<RegexError> CheckRegexRequest(const SearchRequest& request)
{
    if (!request.Regex) {
        return std::nullopt;
    }
    for (int string = 1; string <= (request.Operator == SearchOperator::None ? 1 : 2); ++string) {
        RegexError error;
        error.String = string;
        if (!RegexPattern::Compile(PatternOf(request, string), request.CaseSensitive, request.LineFormat,
                                   error.Problem)) {
            return error;
        }
    }
    return std::nullopt;
}

RegexLineTest::Side RegexLineTest::Prepare(const SearchRequest& request, int string)
{
    Side side;
    const std::string& pattern = PatternOf(request, string);
    RegexProblem problem;
    side.Pattern = RegexPattern::Compile(pattern, request.CaseSensitive, request.LineFormat, problem);
    if (!side.Pattern) {
        throw std::invalid_argument(RegexProblemText(string, problem.Reason, problem.Offset));
    }
    RegexLiterals literals = RequiredLiterals(pattern, request.CaseSensitive);
    if (literals.AllOf.empty()) {
        // PCRE2's own analysis: a byte every match starts with or holds. Folded, whatever the pattern's
        // case rule, which at worst lets more lines through.
        std::optional<unsigned char> byte = side.Pattern->FirstByte();
        const std::optional<unsigned char> required = side.Pattern->RequiredByte();
        const auto frequency = [](unsigned char b) {
            return LiteralFrequency(std::string(1, char(b)), true);
        };
        if (!byte || (required && frequency(*required) < frequency(*byte))) {
            byte = required;
        }
        if (byte) {
            literals.AllOf.push_back({FoldAscii(std::string(1, static_cast<char>(*byte)))});
            literals.Folded = true;
        }
    }
    std::vector<std::vector<std::string>>& sets = literals.AllOf;
    std::stable_sort(sets.begin(), sets.end(), [&](const auto& a, const auto& b) {
        return LiteralSetFrequency(a, literals.Folded) < LiteralSetFrequency(b, literals.Folded);
    });
    for (const auto& set : sets) {
        if (set.size() <= MaxDrivers && side.Drivers.empty()) {
            side.Drivers = Finders(set, literals.Folded);
        }
        if (set.size() <= MaxCheckSet && side.Required.size() < MaxChecks) {
            side.Required.push_back(Finders(set, literals.Folded));
        }
    }
    return side;
}

RegexLineTest::RegexLineTest(const SearchRequest& request)
    : FOperator(request.Operator)
    , F1(Prepare(request, 1))
{
    const bool either = FOperator == SearchOperator::Or || FOperator == SearchOperator::Xor;
    if (FOperator != SearchOperator::None) {
        F2 = Prepare(request, 2);
    }
    FEveryLine = F1.Drivers.empty() || (either && F2.Drivers.empty());
    if (!FEveryLine) {
        for (const LiteralFinder& f : F1.Drivers) {
            FCandidates.push_back(&f);
        }
        if (either) {
            for (const LiteralFinder& f : F2.Drivers) {
                FCandidates.push_back(&f);
            }
        }
    }
    FNext.assign(FCandidates.size(), nullptr);
    FKnown.assign(FCandidates.size(), false);
}

RegexLineTest::~RegexLineTest() = default;

void RegexLineTest::Restart()
{
    std::fill(FKnown.begin(), FKnown.end(), false);
}

const char* RegexLineTest::NextCandidate(const char* a, const char* end)
{
    if (FEveryLine) {
        return a < end ? a : nullptr;
    }
    const char* first = nullptr;
    for (std::size_t i = 0; i < FCandidates.size(); ++i) {
        // A hit found earlier stands until the scan has passed it; none found means none till the end.
        if (!FKnown[i] || (FNext[i] != nullptr && FNext[i] < a)) {
            FNext[i] = FCandidates[i]->Find(a, end);
            FKnown[i] = true;
        }
        if (FNext[i] != nullptr && (first == nullptr || FNext[i] < first)) {
            first = FNext[i];
        }
    }
    return first;
}

RegexOutcome RegexLineTest::Holds(Side& side, const char* begin, const char* end)
{
    for (const std::vector<LiteralFinder>& set : side.Required) {
        if (std::none_of(set.begin(), set.end(), [&](const LiteralFinder& f) { return f.In(begin, end); })) {
            return RegexOutcome::NoMatch;
        }
    }
    return side.Pattern->Matches(begin, end);
}

RegexOutcome RegexLineTest::Test(const char* begin, const char* end)
{
    // The second string is looked at only where the operator needs it, as for literal strings.
    const RegexOutcome first = Holds(F1, begin, end);
    switch (FOperator) {
    case SearchOperator::None:
        return first;
    case SearchOperator::And:
        return first != RegexOutcome::Match ? first : Holds(F2, begin, end);
    case SearchOperator::Or:
        return first != RegexOutcome::NoMatch ? first : Holds(F2, begin, end);
    case SearchOperator::Xor: {
        if (first == RegexOutcome::TooComplex) {
            return first;
        }
        const RegexOutcome second = Holds(F2, begin, end);
        if (second == RegexOutcome::TooComplex) {
            return second;
        }
        return (first == RegexOutcome::Match) != (second == RegexOutcome::Match) ? RegexOutcome::Match
                                                                                 : RegexOutcome::NoMatch;
    }
    case SearchOperator::AndNot: {
        if (first != RegexOutcome::Match) {
            return first;
        }
        const RegexOutcome second = Holds(F2, begin, end);
        if (second == RegexOutcome::TooComplex) {
            return second;
        }
        return second == RegexOutcome::Match ? RegexOutcome::NoMatch : RegexOutcome::Match;
    }
    }
    return first;
}

RegexOutcome RegexLineTest::CountWords(const char* begin, const char* end, std::int64_t& count)
{
    return F1.Pattern->CountMatches(begin, end, count);
}
