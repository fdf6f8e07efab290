#include "search/Matching.h"

#include <gtest/gtest.h>

namespace {

TEST(Contains, EmptyPatternIsInNothing)
{
    EXPECT_FALSE(Contains("", ""));
    EXPECT_FALSE(Contains("", "abc"));
    EXPECT_EQ(FindPosition("", "abc"), 0u);
}

TEST(Contains, ByteForByte)
{
    EXPECT_TRUE(Contains("bc", "abcd"));
    EXPECT_FALSE(Contains("abcde", "abcd")); // longer than the line
    EXPECT_FALSE(Contains("x", ""));
    EXPECT_TRUE(Contains(std::string_view("\0b", 2), std::string_view("a\0b", 3)));
    EXPECT_EQ(FindPosition("cd", "abcdcd"), 3u);
    EXPECT_EQ(FindPosition("zz", "abcdcd"), 0u);
}

struct LineCase {
    const char* name;
    SearchOperator op;
    const char* line; // already as compared
    bool reported; // with ReverseLogic clear; set gives the opposite
};

class ReportDecisionTest : public testing::TestWithParam<LineCase> { };

TEST_P(ReportDecisionTest, ReportsAndReverses)
{
    const LineCase& c = GetParam();
    SearchRequest request;
    request.Pattern1 = "FOO";
    request.Pattern2 = "BAR";
    request.Operator = c.op;
    const LinePredicate predicate = ChoosePredicate(c.op);
    EXPECT_EQ(IsReported(predicate, request, c.line), c.reported);
    request.ReverseLogic = true;
    EXPECT_EQ(IsReported(predicate, request, c.line), !c.reported);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, ReportDecisionTest,
    testing::Values(LineCase{"none_has", SearchOperator::None, "A FOO", true},
                    LineCase{"none_ignores_second", SearchOperator::None, "BAR", false},
                    LineCase{"none_empty_line", SearchOperator::None, "", false},
                    LineCase{"and_both", SearchOperator::And, "FOOBAR", true},
                    LineCase{"and_first_only", SearchOperator::And, "FOO", false},
                    LineCase{"and_second_only", SearchOperator::And, "BAR", false},
                    LineCase{"or_first", SearchOperator::Or, "FOO", true},
                    LineCase{"or_second", SearchOperator::Or, "BAR", true},
                    LineCase{"or_neither", SearchOperator::Or, "BAZ", false},
                    LineCase{"xor_first", SearchOperator::Xor, "FOO", true},
                    LineCase{"xor_second", SearchOperator::Xor, "BAR", true},
                    LineCase{"xor_both", SearchOperator::Xor, "BAR FOO", false},
                    LineCase{"xor_neither", SearchOperator::Xor, "QUX", false},
                    LineCase{"and_not_first_only", SearchOperator::AndNot, "FOO", true},
                    LineCase{"and_not_both", SearchOperator::AndNot, "FOOBAR", false},
                    LineCase{"and_not_second_only", SearchOperator::AndNot, "BAR", false},
                    LineCase{"and_not_neither", SearchOperator::AndNot, "", false},
                    LineCase{"overlapping_patterns", SearchOperator::And, "FOOBA", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReportDecision, EmptySecondPatternIsNeverContained)
{
    SearchRequest request;
    request.Pattern1 = "A";
    request.Operator = SearchOperator::Or;
    EXPECT_FALSE(IsReported(ChoosePredicate(SearchOperator::Or), request, "B"));
    EXPECT_TRUE(IsReported(ChoosePredicate(SearchOperator::AndNot), request, "A"));
}

TEST(ReportDecision, FoldedComparisonIsAsciiOnly)
{
    SearchInputs in;
    in.String1 = "foo";
    const SearchRequest r = PrepareRequest(in);
    const LinePredicate p = ChoosePredicate(r.Operator);
    for (const char* line : {"FOO", "Foo", "fOo", "a foo b"}) {
        EXPECT_TRUE(IsReported(p, r, FoldAscii(line))) << line;
    }
    SearchInputs accented;
    accented.String1 = std::string(1, '\xe9'); // é in an 8-bit code page
    const SearchRequest accent = PrepareRequest(accented);
    EXPECT_FALSE(IsReported(p, accent, FoldAscii("\xc9"))); // É
    EXPECT_TRUE(IsReported(p, accent, FoldAscii("caf\xe9")));
}

struct CountCase {
    const char* name;
    const char* pattern;
    const char* text;
    std::int64_t count;
};

class CountOccurrencesTest : public testing::TestWithParam<CountCase> { };

TEST_P(CountOccurrencesTest, CountsOverlapsToo)
{
    EXPECT_EQ(CountOccurrences(GetParam().pattern, GetParam().text), GetParam().count);
}

INSTANTIATE_TEST_SUITE_P(Rows, CountOccurrencesTest,
                         testing::Values(CountCase{"two_apart", "foo", "foo foo", 2},
                                         CountCase{"overlap", "aa", "aaaa", 3},
                                         CountCase{"folded_line", "FOO", "FOO FOO FOO", 3},
                                         CountCase{"one", "b", "abc", 1}, CountCase{"none", "x", "abc", 0},
                                         CountCase{"whole_line", "abc", "abc", 1},
                                         CountCase{"periodic_overlap", "aba", "ababababa", 4},
                                         CountCase{"empty_pattern", "", "abc", 0}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
