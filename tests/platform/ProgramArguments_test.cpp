#include "platform/Application.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

struct ArgumentsCase {
    const char* Name;
    std::vector<const char*> Words; // after the program's name
};

class ProgramArgumentsTest : public ::testing::TestWithParam<ArgumentsCase> { };

TEST_P(ProgramArgumentsTest, EveryWordAfterTheProgramNameArrivesUnchanged)
{
    std::vector<const char*> argv{"/usr/bin/sifton"};
    argv.insert(argv.end(), GetParam().Words.begin(), GetParam().Words.end());
    QStringList expected;
    for (const char* word : GetParam().Words) {
        expected << QString::fromUtf8(word);
    }
    EXPECT_EQ(Application::ArgumentsOf(int(argv.size()), argv.data()), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Words, ProgramArgumentsTest,
    ::testing::Values(ArgumentsCase{"ToolkitStyleOption", {"a.log", "-style", "Fusion", "/GO"}},
                      ArgumentsCase{"ToolkitReverseOption", {"a.log", "-reverse"}},
                      ArgumentsCase{"ToolkitPlatformOption", {"-platform", "xcb", "-qwindowgeometry", "1x1"}},
                      ArgumentsCase{"EmptyWordKeepsItsPlace", {"a.log", "", "OR", "b"}},
                      ArgumentsCase{"NonAsciiText", {"caf\xc3\xa9.txt", "\xc3\xbc"}},
                      ArgumentsCase{"NoArguments", {}}),
    [](const auto& info) { return std::string(info.param.Name); });

} // namespace
