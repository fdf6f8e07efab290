#include "search/SearchRequest.h"

#include <gtest/gtest.h>

namespace {

struct PrepareCase {
    const char* name;
    SearchInputs inputs;
    SearchOperator op;
    const char* pattern1;
    const char* pattern2;
    const char* operatorText;
    bool countWords;
};

SearchInputs Inputs(std::string s1, std::string s2, int index, bool caseSensitive = false, bool words = false,
                    bool reverse = false)
{
    SearchInputs in;
    in.String1 = std::move(s1);
    in.String2 = std::move(s2);
    in.OperatorIndex = index;
    in.CaseSensitive = caseSensitive;
    in.WordCounting = words;
    in.ReverseLogic = reverse;
    return in;
}

class PrepareRequestTest : public testing::TestWithParam<PrepareCase> { };

TEST_P(PrepareRequestTest, FillsPatternsOperatorAndDerivedFlags)
{
    const PrepareCase& c = GetParam();
    const SearchRequest r = PrepareRequest(c.inputs);
    EXPECT_EQ(r.Operator, c.op);
    EXPECT_EQ(r.Pattern1, c.pattern1);
    EXPECT_EQ(r.Pattern2, c.pattern2);
    EXPECT_EQ(r.OperatorText, c.operatorText);
    EXPECT_EQ(r.Pattern1Text, c.inputs.String1);
    EXPECT_EQ(r.CountWords, c.countWords);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PrepareRequestTest,
    testing::Values(
        PrepareCase{"one_string_folded", Inputs("abc", "", 2), SearchOperator::None, "ABC", "", "", false},
        PrepareCase{"same_as_upper", Inputs("ABC", "", 0), SearchOperator::None, "ABC", "", "", false},
        PrepareCase{"or_keeps_typed_case_in_text", Inputs("Foo", "bar", 1), SearchOperator::Or, "FOO", "BAR",
                    " or bar", false},
        PrepareCase{"and", Inputs("a", "b", 0), SearchOperator::And, "A", "B", " and b", false},
        PrepareCase{"xor", Inputs("a", "b", 2), SearchOperator::Xor, "A", "B", " xor b", false},
        PrepareCase{"and_not", Inputs("a", "b", 3), SearchOperator::AndNot, "A", "B", " and not b", false},
        PrepareCase{"blanks_are_a_second_string", Inputs("a", "  ", 0), SearchOperator::And, "A", "  ",
                    " and   ", false},
        PrepareCase{"no_selected_operator_means_and", Inputs("a", "b", -1), SearchOperator::And, "A", "B",
                    " and b", false},
        PrepareCase{"case_sensitive_unchanged", Inputs("aBc", "dE", 1, true), SearchOperator::Or, "aBc", "dE",
                    " or dE", false},
        PrepareCase{"accents_not_folded", Inputs("\xe9t\xe9", "", 0), SearchOperator::None, "\xe9T\xe9", "",
                    "", false},
        PrepareCase{"high_bytes_kept", Inputs("\x7f\xff{z", "", 0), SearchOperator::None, "\x7f\xff{Z", "",
                    "", false},
        PrepareCase{"count_words_single_string", Inputs("a", "", 0, false, true), SearchOperator::None, "A",
                    "", "", true},
        PrepareCase{"no_count_with_second_string", Inputs("a", "b", 0, false, true), SearchOperator::And, "A",
                    "B", " and b", false},
        PrepareCase{"no_count_with_reverse", Inputs("a", "", 0, false, true, true), SearchOperator::None, "A",
                    "", "", false},
        PrepareCase{"empty_first_string_kept", Inputs("", "", 0), SearchOperator::None, "", "", "", false}),
    [](const auto& info) { return std::string(info.param.name); });

struct RateCase {
    const char* name;
    const char* text;
    std::int32_t rate;
};

class RefreshRateTest : public testing::TestWithParam<RateCase> { };

TEST_P(RefreshRateTest, TextGivesRate)
{
    EXPECT_EQ(RefreshRateFromText(GetParam().text), GetParam().rate);
    SearchInputs in;
    in.RefreshRateText = GetParam().text;
    EXPECT_EQ(PrepareRequest(in).RefreshRate, GetParam().rate);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, RefreshRateTest,
    testing::Values(RateCase{"plain", "2500", 2500}, RateCase{"lowest", "1000", 1000},
                    RateCase{"highest", "1000000", 1000000}, RateCase{"not_a_number", "abc", 1000},
                    RateCase{"empty", "", 1000}, RateCase{"decimal", "1500.5", 1000},
                    RateCase{"trailing_text", "2000x", 1000}, RateCase{"below_range", "5", 1000},
                    RateCase{"above_range", "2000000", 1000000}, RateCase{"negative", "-3000", 1000},
                    RateCase{"huge", "99999999999999999999999", 1000000},
                    RateCase{"blanks_around", " 3000 ", 3000}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PrepareRequest, CopiesEveryFlag)
{
    SearchInputs in;
    in.String1 = "x";
    in.LineFormat = LineFormat::Unix;
    in.PromptForSave = in.OneOccurrence = in.Verbose = in.LineCounting = in.ProgressIndication =
        in.LineNumbering = true;
    const SearchRequest r = PrepareRequest(in);
    EXPECT_EQ(r.LineFormat, LineFormat::Unix);
    EXPECT_TRUE(r.PromptForSave && r.OneOccurrence && r.Verbose && r.LineCounting && r.ProgressIndication &&
                r.LineNumbering);
    EXPECT_FALSE(r.CaseSensitive || r.ReverseLogic || r.WordCounting);
}

} // namespace
