#include "search/StatusTexts.h"

#include <gtest/gtest.h>

namespace {

struct CountCase {
    const char* name;
    std::int64_t value;
    const char* separator;
    const char* text;
};

class FormatCountTest : public testing::TestWithParam<CountCase> { };

TEST_P(FormatCountTest, GroupsInThrees)
{
    EXPECT_EQ(FormatCount(GetParam().value, GetParam().separator), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FormatCountTest,
    testing::Values(CountCase{"zero", 0, ",", "0"}, CountCase{"three_digits", 999, ",", "999"},
                    CountCase{"four_digits", 1000, ",", "1,000"},
                    CountCase{"millions", 1234567, ",", "1,234,567"},
                    CountCase{"dot", 1234567, ".", "1.234.567"},
                    CountCase{"no_separator", 1234567, "", "1234567"},
                    CountCase{"multibyte_separator", 1234, "\xe2\x80\xaf",
                              "1\xe2\x80\xaf"
                              "234"},
                    CountCase{"past_32_bits", 3000000000LL, ",", "3,000,000,000"},
                    CountCase{"more_than_8_digits_in_full", 123456789, ",", "123,456,789"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BlockFigure, RoundsTenEightyFirsts)
{
    EXPECT_EQ(BlockFigure(0), 0);
    EXPECT_EQ(BlockFigure(4), 0); // 0.49
    EXPECT_EQ(BlockFigure(5), 1); // 0.62
    EXPECT_EQ(BlockFigure(81), 10);
    EXPECT_EQ(BlockFigure(7812), 964); // 964.44
    EXPECT_EQ(BlockFigure(7816), 965); // 964.94
}

} // namespace
