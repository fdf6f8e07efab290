// The PCRE2 adapter: what a pattern that does not compile says, how a line is matched (case, anchors,
// line ends inside DOS lines), how matches are counted, and what the limits do to a runaway pattern.

#include "search/Regex.h"

#include <gtest/gtest.h>
#include <string>

namespace {

std::unique_ptr<RegexPattern> Compiled(std::string_view pattern, bool caseSensitive = false,
                                       LineFormat format = LineFormat::Unix)
{
    RegexProblem problem;
    auto compiled = RegexPattern::Compile(pattern, caseSensitive, format, problem);
    EXPECT_TRUE(compiled) << pattern << ": " << problem.Reason;
    return compiled;
}

bool Matches(RegexPattern& pattern, std::string_view line)
{
    return pattern.Matches(line.data(), line.data() + line.size()) == RegexOutcome::Match;
}

std::int64_t Count(std::string_view pattern, std::string_view line)
{
    std::int64_t count = 0;
    EXPECT_EQ(Compiled(pattern, true)->CountMatches(line.data(), line.data() + line.size(), count),
              RegexOutcome::Match);
    return count;
}

TEST(RegexPattern, APatternThatDoesNotCompileGivesPcre2sReasonAndWhere)
{
    RegexProblem problem;
    EXPECT_FALSE(RegexPattern::Compile("ab(c", false, LineFormat::Unix, problem));
    EXPECT_EQ(problem.Reason, "missing closing parenthesis");
    EXPECT_EQ(problem.Offset, 4u);
    EXPECT_FALSE(RegexPattern::Compile("x{3,2}", false, LineFormat::Unix, problem));
    EXPECT_EQ(problem.Offset, 5u);
    EXPECT_EQ(
        RegexProblemText(2, "missing closing parenthesis", 4),
        "Search string 2 is not a valid regular expression: missing closing parenthesis (at position 4)");
}

TEST(RegexPattern, Utf8ModeIsRefusedSoThatBytesStayCharacters)
{
    RegexProblem problem;
    EXPECT_FALSE(RegexPattern::Compile("(*UTF)a", false, LineFormat::Unix, problem));
    EXPECT_FALSE(RegexPattern::Compile("(*UCP)\\w", false, LineFormat::Unix, problem));
    // One byte of a two-byte UTF-8 letter is a character of its own.
    EXPECT_TRUE(Matches(*Compiled("^.\\xa9$"), "\xc3\xa9"));
}

TEST(RegexPattern, WithoutCaseOnlyAsciiLettersFold)
{
    auto pattern = Compiled("caf\xe9");
    EXPECT_TRUE(Matches(*pattern, "CAF\xe9"));
    EXPECT_FALSE(Matches(*pattern, "CAF\xc9")) << "byte 233 and byte 201 stay apart, as for strings";
    EXPECT_FALSE(Matches(*Compiled("\xc9"), "\xe9"));
    EXPECT_TRUE(Matches(*Compiled("[a-c]+"), "CAB"));
    EXPECT_FALSE(Matches(*Compiled("\\w"), "\xe9\xc9\xff")) << "\\w is ASCII";
    EXPECT_FALSE(Matches(*Compiled("[[:alpha:]]"), "\xe9"));
    auto exact = Compiled("Error", true);
    EXPECT_TRUE(Matches(*exact, "an Error"));
    EXPECT_FALSE(Matches(*exact, "an ERROR"));
}

TEST(RegexPattern, AnchorsAndDotKeepToTheLine)
{
    auto end = Compiled("a$", true, LineFormat::Dos);
    EXPECT_TRUE(Matches(*end, "ba"));
    // A LF inside a DOS line is an ordinary byte: '$' does not match before it, '.' matches it.
    EXPECT_FALSE(Matches(*end, "ba\n"));
    EXPECT_TRUE(Matches(*Compiled("a.b", true, LineFormat::Dos), "a\nb"));
    EXPECT_FALSE(Matches(*Compiled("(?m)^b", true, LineFormat::Dos), "a\nb"));
    EXPECT_TRUE(Matches(*Compiled("^$"), ""));
    EXPECT_FALSE(Matches(*Compiled("^b"), "ab"));
}

TEST(RegexPattern, CountsNonOverlappingMatchesAsPerlDoes)
{
    EXPECT_EQ(Count("aa", "aaaaa"), 2);
    EXPECT_EQ(Count("x*", "abc"), 4);
    EXPECT_EQ(Count("X*", "aXb"), 4);
    EXPECT_EQ(Count("\\b", "ab cd"), 4);
    EXPECT_EQ(Count("a|ab", "abab"), 2);
    EXPECT_EQ(Count("x*", ""), 1);
    EXPECT_EQ(Count("(?<=a)b", "abab b"), 2);
}

TEST(RegexPattern, FindGivesEachMatchFromAPlace)
{
    auto pattern = Compiled("b+", true);
    const std::string line = "abbcb";
    std::size_t at = 0;
    std::size_t length = 0;
    ASSERT_EQ(pattern->Find(line.data(), line.data() + line.size(), 0, false, at, length),
              RegexOutcome::Match);
    EXPECT_EQ(at, 1u);
    EXPECT_EQ(length, 2u);
    ASSERT_EQ(pattern->Find(line.data(), line.data() + line.size(), 3, false, at, length),
              RegexOutcome::Match);
    EXPECT_EQ(at, 4u);
    EXPECT_EQ(pattern->Find(line.data(), line.data() + line.size(), 5, false, at, length),
              RegexOutcome::NoMatch);
}

TEST(RegexPattern, ARunawayPatternEndsAsTooComplex)
{
    auto pattern = Compiled("(a+)+$", true);
    std::string line(50000, 'a');
    EXPECT_EQ(pattern->Matches(line.data(), line.data() + line.size()), RegexOutcome::Match);
    line += 'b';
    EXPECT_EQ(pattern->Matches(line.data(), line.data() + line.size()), RegexOutcome::TooComplex);
    std::int64_t count = 0;
    EXPECT_EQ(pattern->CountMatches(line.data(), line.data() + line.size(), count), RegexOutcome::TooComplex);
}

TEST(RegexPattern, APatternDeeperThanTheJitStackIsMatchedByTheInterpreter)
{
    // 50,000 repeats of a group: more than the JIT's stack holds, within the interpreter's heap limit.
    const std::string line(50000, 'a');
    EXPECT_EQ(Compiled("(a|aa)+$", true)->Matches(line.data(), line.data() + line.size()),
              RegexOutcome::Match);
}

TEST(RegexPattern, TheBytesEveryMatchStartsWithOrHolds)
{
    EXPECT_EQ(Compiled("x\\d+", true)->FirstByte(), 'x');
    EXPECT_EQ(Compiled("\\d+z", true)->RequiredByte(), 'z');
    EXPECT_EQ(Compiled("\\d+", true)->FirstByte(), std::nullopt);
    EXPECT_EQ(Compiled("\\d+", true)->RequiredByte(), std::nullopt);
}

} // namespace
