#include "search/LineEnds.h"
#include "search/LiteralFinder.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

namespace {

char Fold(char c)
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

std::string FoldAll(std::string s)
{
    for (char& c : s) {
        c = Fold(c);
    }
    return s;
}

// The plain definition: first start where every byte compares equal (after folding a..z).
std::ptrdiff_t NaiveFind(const std::string& hay, const std::string& needle, bool fold)
{
    if (needle.empty() || needle.size() > hay.size()) {
        return -1;
    }
    for (std::size_t i = 0; i + needle.size() <= hay.size(); ++i) {
        bool ok = true;
        for (std::size_t k = 0; k < needle.size() && ok; ++k) {
            ok = (fold ? Fold(hay[i + k]) : hay[i + k]) == needle[k];
        }
        if (ok) {
            return static_cast<std::ptrdiff_t>(i);
        }
    }
    return -1;
}

std::ptrdiff_t Found(const LiteralFinder& f, const std::string& hay)
{
    const char* hit = f.Find(hay.data(), hay.data() + hay.size());
    return hit == nullptr ? -1 : hit - hay.data();
}

const LiteralFinder::Kernel kKernels[] = {LiteralFinder::Kernel::Scalar, LiteralFinder::Kernel::Sse2,
                                          LiteralFinder::Kernel::Avx2};

struct FindCase {
    const char* name;
    std::string hay;
    std::string needle; // as the request holds it (folded when fold is set)
    bool fold;
    std::ptrdiff_t expected;
};

class LiteralFinderCases : public testing::TestWithParam<FindCase> { };

TEST_P(LiteralFinderCases, EveryKernelAgrees)
{
    const FindCase& c = GetParam();
    for (auto kernel : kKernels) {
        LiteralFinder f(c.needle, c.fold, kernel);
        EXPECT_EQ(Found(f, c.hay), c.expected) << "kernel " << static_cast<int>(kernel);
    }
}

const std::string kLong = std::string(100, 'x') + "needle" + std::string(100, 'y');

INSTANTIATE_TEST_SUITE_P(
    Named, LiteralFinderCases,
    testing::Values(FindCase{"EmptyNeedleNowhere", "abc", "", false, -1},
                    FindCase{"EmptyNeedleEmptyText", "", "", false, -1},
                    FindCase{"LongerThanText", "ab", "abc", false, -1},
                    FindCase{"ExactWholeText", "abc", "abc", false, 0},
                    FindCase{"CaseMattersWithoutFold", "FOO foo", "foo", false, 4},
                    FindCase{"FoldMatchesMixedCase", "xx fOo", "FOO", true, 3},
                    FindCase{"AccentNotFolded", "\xe9", "\xc9", true, -1},
                    FindCase{"AccentExact", "a\xc9", "\xc9", true, 1},
                    FindCase{"AtSignIsNotALetter", "`", "@", true, -1},
                    FindCase{"BracketIsNotALetter", "{x", "[X", true, -1},
                    FindCase{"CaretIsNotALetter", "~", "^", true, -1},
                    FindCase{"FoldKeepsDigits", "a1B2", "A1B2", true, 0},
                    FindCase{"InLongTextFolded", kLong, "NEEDLE", true, 100},
                    FindCase{"AtVeryEnd", std::string(70, 'q') + "end", "end", false, 70},
                    FindCase{"OverlapFirstWins", "aaaa", "aa", false, 0},
                    FindCase{"ControlBytes",
                             std::string("a\r\n\x1a"
                                         "b",
                                         5),
                             std::string("\n\x1a", 2), false, 2}),
    [](const testing::TestParamInfo<FindCase>& info) { return std::string(info.param.name); });

TEST(LiteralFinder, RandomTextsMatchTheNaiveSearch)
{
    std::mt19937 rng(1234);
    const std::string alphabet = "abAB \r\n\x1a\xe9\xc9@`xyz";
    for (int round = 0; round < 20000; ++round) {
        std::string hay(rng() % 300, ' ');
        for (char& c : hay) {
            c = alphabet[rng() % alphabet.size()];
        }
        std::string needle(1 + rng() % 12, ' ');
        for (char& c : needle) {
            c = alphabet[rng() % 6];
        }
        if (!hay.empty() && rng() % 2 == 0) {
            const std::size_t at = rng() % hay.size();
            hay.replace(at, std::min(needle.size(), hay.size() - at), needle);
        }
        const bool fold = rng() % 2 == 0;
        if (fold) {
            needle = FoldAll(needle);
        }
        // Start at every offset of a few so that lanes meet every alignment.
        const std::size_t skip = rng() % 40;
        const std::string sub = hay.substr(std::min(skip, hay.size()));
        const std::ptrdiff_t expected = NaiveFind(sub, needle, fold);
        for (auto kernel : kKernels) {
            LiteralFinder f(needle, fold, kernel);
            ASSERT_EQ(Found(f, sub), expected) << "needle '" << needle << "' fold " << fold << " kernel "
                                               << static_cast<int>(kernel) << " text '" << sub << "'";
        }
    }
}

TEST(LiteralFinder, SearchStopsAtTheGivenEnd)
{
    // The needle straddles the end of the range: bytes beyond it must never be looked at as a match.
    const std::string text = std::string(64, '.') + "needle";
    for (auto kernel : kKernels) {
        LiteralFinder f("needle", false, kernel);
        EXPECT_EQ(f.Find(text.data(), text.data() + text.size() - 1), nullptr);
    }
}

TEST(LiteralFinder, MatchesAtUsesTheSameFolding)
{
    LiteralFinder f("AB[", true);
    EXPECT_TRUE(f.MatchesAt("ab["));
    EXPECT_TRUE(f.MatchesAt("Ab["));
    EXPECT_FALSE(f.MatchesAt("ab{"));
}

TerminatorCounts NaiveCounts(const std::string& s)
{
    TerminatorCounts c;
    for (std::size_t i = 0; i < s.size(); ++i) {
        c.Lf += s[i] == '\n';
        c.Cr += s[i] == '\r';
        c.CrLf += s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n';
    }
    return c;
}

TEST(LineEnds, RandomBuffersMatchTheNaiveCounts)
{
    std::mt19937 rng(99);
    const std::string alphabet = "ab\r\n\x1a";
    for (int round = 0; round < 3000; ++round) {
        std::string s(rng() % 2000, ' ');
        for (char& c : s) {
            c = alphabet[rng() % alphabet.size()];
        }
        const char* b = s.data();
        const char* e = b + s.size();
        const auto expected = NaiveCounts(s);
        const auto first26 = s.find('\x1a');
        const bool crBefore26 = s.substr(0, first26).find('\r') != std::string::npos;
        for (bool scalar : {false, true}) {
            UseScalarLineEnds(scalar);
            const auto got = CountTerminators(b, e);
            ASSERT_EQ(got.Lf, expected.Lf);
            ASSERT_EQ(got.Cr, expected.Cr);
            ASSERT_EQ(got.CrLf, expected.CrLf) << s.size();
            ASSERT_EQ(CountByte(b, e, '\r'), expected.Cr);
            const char* either = FindEither(b, e, '\n', '\x1a');
            ASSERT_EQ(either == nullptr ? std::string::npos : static_cast<std::size_t>(either - b),
                      s.find_first_of(std::string("\n\x1a", 2)));
            std::string copied(s.size(), '?');
            CopyReplacing(copied.data(), b, s.size(), '\r', '\n');
            std::string expectedCopy = s;
            std::replace(expectedCopy.begin(), expectedCopy.end(), '\r', '\n');
            ASSERT_EQ(copied, expectedCopy);
            const auto flags = ScanWindow(b, e);
            ASSERT_EQ(flags.First26 == nullptr ? std::string::npos
                                               : static_cast<std::size_t>(flags.First26 - b),
                      first26);
            ASSERT_EQ(flags.HasCr, crBefore26);
        }
        UseScalarLineEnds(false);
    }
}

TEST(LineEnds, CountsBeyondTheLaneCounterLimit)
{
    // More than 255 lanes of line feeds: the byte-wide counters must be folded before they wrap.
    const std::string s(300000, '\n');
    EXPECT_EQ(CountByte(s.data(), s.data() + s.size(), '\n'), s.size());
    const std::string crlf = [] {
        std::string t;
        for (int i = 0; i < 50000; ++i) {
            t += "\r\n";
        }
        return t;
    }();
    const auto c = CountTerminators(crlf.data(), crlf.data() + crlf.size());
    EXPECT_EQ(c.CrLf, 50000u);
    EXPECT_EQ(c.Lf, 50000u);
}

} // namespace

namespace {

// The definition, one byte at a time: a bad byte, then the limit-th line end, then an occurrence of
// any needle (empty ones occur nowhere).
CountedFind NaiveCounting(const std::string& hay, const std::vector<std::string>& needles, bool fold,
                          char term, char bad1, char bad2, std::size_t limit)
{
    const char* b = hay.data();
    std::size_t count = 0;
    for (std::size_t i = 0; i < hay.size(); ++i) {
        const char c = hay[i];
        if (c == bad1 || c == bad2) {
            return {CountedStop::Bad, b + i, count};
        }
        if (c == term && count + 1 >= limit) {
            return {CountedStop::Limit, b + i, count};
        }
        if (std::any_of(needles.begin(), needles.end(), [&](const std::string& needle) {
                return NaiveFind(hay.substr(i, needle.size()), needle, fold) == 0;
            })) {
            return {CountedStop::Hit, b + i, count};
        }
        count += c == term;
    }
    return {CountedStop::End, b + hay.size(), count};
}

TEST(LiteralFinder, FindCountingStopsAtTheFirstEventLikeTheDefinition)
{
    std::mt19937 rng(4242);
    const std::string alphabet = "abAB\n\r\x1a xy";
    for (int round = 0; round < 20000; ++round) {
        std::string hay(rng() % 400, ' ');
        for (char& c : hay) {
            // Mostly plain bytes, so that the 64-byte steps also run without events.
            c = rng() % 4 == 0 ? alphabet[rng() % alphabet.size()] : "xyz "[rng() % 4];
        }
        std::string needle(1 + rng() % 5, ' ');
        for (char& c : needle) {
            c = alphabet[rng() % 5];
        }
        std::string second(rng() % 2 == 0 ? 0 : 1 + rng() % 6, ' ');
        for (char& c : second) {
            c = alphabet[rng() % 5];
        }
        const bool fold = rng() % 2 == 0;
        if (fold) {
            needle = FoldAll(needle);
            second = FoldAll(second);
        }
        const bool dos = rng() % 2 == 0;
        const char term = dos ? '\r' : '\n';
        const char bad1 = 26;
        const char bad2 = dos ? 26 : '\r';
        const std::size_t limit = rng() % 3 == 0 ? SIZE_MAX : 1 + rng() % 20;
        const CountedFind expected = NaiveCounting(hay, {needle, second}, fold, term, bad1, bad2, limit);
        for (auto kernel : kKernels) {
            LiteralFinder f(needle, fold, kernel);
            LiteralFinder g(second, fold, kernel);
            const LiteralFinder* other = second.empty() ? nullptr : &g;
            const char* b = hay.data();
            const char* e = b + hay.size();
            for (const CountedFind& got : {f.FindCounting(b, e, term, bad1, bad2, limit, other),
                                           f.FindCountingComposed(b, e, term, bad1, bad2, limit, other)}) {
                ASSERT_EQ(got.Stop, expected.Stop)
                    << "round " << round << " kernel " << static_cast<int>(kernel);
                ASSERT_EQ(got.At - b, expected.At - b) << "round " << round;
                ASSERT_EQ(got.Terms, expected.Terms) << "round " << round;
            }
        }
    }
}

TEST(LiteralFinder, FindCountingAnyStopsAtTheFirstEventLikeTheDefinition)
{
    std::mt19937 rng(2718);
    const std::string alphabet = "abAB\n\r\x1a xy";
    for (int round = 0; round < 20000; ++round) {
        std::string hay(rng() % 400, ' ');
        for (char& c : hay) {
            c = rng() % 4 == 0 ? alphabet[rng() % alphabet.size()] : "xyz "[rng() % 4];
        }
        const bool fold = rng() % 2 == 0;
        std::vector<std::string> needles(1 + rng() % 7);
        for (std::string& needle : needles) {
            needle.assign(1 + rng() % 5, ' ');
            for (char& c : needle) {
                c = alphabet[rng() % 5];
            }
            if (fold) {
                needle = FoldAll(needle);
            }
        }
        const bool dos = rng() % 2 == 0;
        const char term = dos ? '\r' : '\n';
        const char bad2 = dos ? 26 : '\r';
        const std::size_t limit = rng() % 3 == 0 ? SIZE_MAX : 1 + rng() % 20;
        const CountedFind expected = NaiveCounting(hay, needles, fold, term, 26, bad2, limit);
        for (auto kernel : kKernels) {
            std::vector<LiteralFinder> finders;
            for (const std::string& needle : needles) {
                finders.emplace_back(needle, fold, kernel);
            }
            std::vector<const LiteralFinder*> pointers;
            for (const LiteralFinder& f : finders) {
                pointers.push_back(&f);
            }
            const char* b = hay.data();
            const char* e = b + hay.size();
            for (const CountedFind& got :
                 {LiteralFinder::FindCountingAny(pointers, b, e, term, 26, bad2, limit),
                  LiteralFinder::FindCountingAnyComposed(pointers, b, e, term, 26, bad2, limit)}) {
                ASSERT_EQ(got.Stop, expected.Stop)
                    << "round " << round << " kernel " << static_cast<int>(kernel) << " needles "
                    << needles.size();
                ASSERT_EQ(got.At - b, expected.At - b) << "round " << round;
                ASSERT_EQ(got.Terms, expected.Terms) << "round " << round;
            }
        }
    }
}

} // namespace
