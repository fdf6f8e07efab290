// The literals a pattern requires: what they are for the patterns people write, nothing for what the
// reader does not know, and never a literal that a matching line lacks.

#include "search/Regex.h"
#include "search/RegexLiterals.h"
#include "tests/support/RandomRegex.h"

#include <gtest/gtest.h>
#include <random>

namespace {

using Sets = std::vector<std::vector<std::string>>;

struct LiteralsCase {
    const char* Name;
    const char* Pattern;
    bool CaseSensitive;
    Sets Expected;
};

class RequiredLiteralsTest : public testing::TestWithParam<LiteralsCase> { };

TEST_P(RequiredLiteralsTest, Sets)
{
    const LiteralsCase& c = GetParam();
    const RegexLiterals literals = RequiredLiterals(c.Pattern, c.CaseSensitive);
    EXPECT_EQ(literals.AllOf, c.Expected) << c.Pattern;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RequiredLiteralsTest,
    testing::Values(
        LiteralsCase{"LiteralWithAClass", "lease [a-z]+ed", true, {{"lease "}, {"ed"}}},
        LiteralsCase{"FoldedWithoutCase", "lease [a-z]+ed", false, {{"LEASE "}, {"ED"}}},
        LiteralsCase{"InlineCaselessFolds", "(?i)Err", true, {{"ERR"}}},
        LiteralsCase{"Alternation", "deadlock|timeout|refused", true, {{"deadlock", "timeout", "refused"}}},
        LiteralsCase{"Mail", "\\w+@\\w+\\.com", true, {{"@"}, {".com"}}},
        LiteralsCase{"TwoWords", "error.*timeout", false, {{"ERROR"}, {"TIMEOUT"}}},
        LiteralsCase{"Timestamp", "\\d{4}-\\d{2}-\\d{2}T", true, {{"-"}, {"-"}, {"T"}}},
        LiteralsCase{"OptionalLetter", "colou?r", true, {{"colour", "color"}}},
        LiteralsCase{"SmallClassExpands", "[ab]c", true, {{"ac", "bc"}}},
        LiteralsCase{"CountedRepeat", "(a|b){2}", true, {{"aa", "ab", "ba", "bb"}}},
        LiteralsCase{"RepeatedGroupOnce", "x(ab)+y", true, {{"xab"}, {"y"}}},
        LiteralsCase{"RepeatedByte", "a+b", true, {{"a"}, {"b"}}},
        LiteralsCase{"Escapes", "\\x41\\t\\.", true, {{"A\t."}}},
        LiteralsCase{"QuotedText", "a\\Qb*\\E", true, {{"ab*"}}},
        LiteralsCase{"QuantifierAfterAQuotationRepeatsItsLastByte", "a\\Qbc\\E*", true, {{"ab"}}},
        LiteralsCase{"LookaroundsAddNothing", "a(?=b)(?!c)(?<=a)d", true, {{"ad"}}},
        LiteralsCase{"NamedGroup", "(?<word>ab)c", true, {{"abc"}}},
        LiteralsCase{"NegatedClassIsAnyByte", "[^a]bc", true, {{"bc"}}},
        LiteralsCase{"StarRequiresNothing", "x*", true, {}}, LiteralsCase{"EmptyPattern", "", true, {}},
        LiteralsCase{"EmptyBranch", "abc|", true, {}},
        LiteralsCase{"BranchWithoutLiteral", "WARN|\\d+", true, {}},
        LiteralsCase{"Verb", "(*UTF)abc", true, {}}, LiteralsCase{"ExtendedSyntax", "(?x)a b", true, {}},
        LiteralsCase{"Recursion", "a(?R)?b", true, {}},
        LiteralsCase{"BackReference", "(ab)\\1", true, {{"ab"}}},
        LiteralsCase{"BraceThatMayBeAQuantifier", "a{,3}b", true, {}},
        LiteralsCase{"BraceThatIsALiteral", "a{b}", true, {{"a{b}"}}}),
    [](const testing::TestParamInfo<LiteralsCase>& info) { return std::string(info.param.Name); });

bool Holds(std::string line, const std::string& literal, bool folded)
{
    if (folded) {
        line = FoldAscii(line);
    }
    return line.find(literal) != std::string::npos;
}

TEST(RequiredLiterals, EveryMatchingLineHoldsALiteralOfEverySet)
{
    std::mt19937 rng(20261215);
    int matched = 0;
    int withLiterals = 0;
    for (int round = 0; round < 4000; ++round) {
        const std::string pattern = RandomRegex(rng);
        const bool caseSensitive = rng() % 2;
        RegexProblem problem;
        auto compiled = RegexPattern::Compile(pattern, caseSensitive, LineFormat::Unix, problem);
        if (!compiled) {
            continue;
        }
        const RegexLiterals literals = RequiredLiterals(pattern, caseSensitive);
        withLiterals += !literals.AllOf.empty();
        for (int k = 0; k < 20; ++k) {
            std::string line = RandomRegexText(rng, 40);
            line.erase(
                std::remove_if(line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }),
                line.end());
            if (compiled->Matches(line.data(), line.data() + line.size()) != RegexOutcome::Match) {
                continue;
            }
            ++matched;
            for (const auto& set : literals.AllOf) {
                const bool held = std::any_of(set.begin(), set.end(), [&](const std::string& s) {
                    return Holds(line, s, literals.Folded);
                });
                ASSERT_TRUE(held) << "pattern '" << pattern << "' matches '" << line << "' without "
                                  << set[0];
            }
        }
    }
    // The grammar must give both: patterns with literals, and lines that match them.
    EXPECT_GT(withLiterals, 1000);
    EXPECT_GT(matched, 10000);
}

} // namespace
