// Transcripts of sifton-cli runs on files made in a temporary folder, compared byte for byte.
#include "tests/support/CliRun.h"
#include "tests/support/EncodedText.h"
#include "tests/support/TempDir.h"

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::string_literals;

const std::map<std::string, std::string> Files{
    {"a.txt", "foo bar\r\nbaz\r\nFOO\r\n\r\nfoofoo\r\n"},
    {"b.txt", "nothing\nhere foo\n"},
    {"c.txt", "one\rtwo foo\rthree\r"},
    {"eof.txt", "keep foo\r\nfoo before\x1a"
                "foo after\r\nfoo never\r\n"},
    {"dir/d1.txt", "foo in d1\n"},
    {"dir/d2.txt", "foo in d2\n"},
    {"dir/.hidden", "foo hidden\n"},
    {"dir/sub/d3.txt", "foo in d3\n"},
    {"list.lst", "a.txt\r\nb.txt\rmissing.txt\n\nc.txt"},
};

struct Transcript {
    const char* name;
    std::vector<std::string> args;
    std::string input;
    std::string out;
    std::string err;
    int status;
};

void PrintTo(const Transcript& t, std::ostream* os)
{
    *os << t.name;
}

class SiftonCliTest : public testing::TestWithParam<Transcript> { };

TEST_P(SiftonCliTest, Transcript)
{
    TempDir dir;
    for (const auto& [name, bytes] : Files) {
        dir.Write(name, bytes);
    }
    const Transcript& t = GetParam();
    const CliOutcome got = RunCliIn(dir, t.args, t.input);
    EXPECT_EQ(got.out, t.out);
    EXPECT_EQ(got.err, t.err);
    EXPECT_EQ(got.status, t.status);
}

const char* const Hint = "Try 'sifton-cli --help' for more information.\n";

INSTANTIATE_TEST_SUITE_P(
    Rows, SiftonCliTest,
    testing::Values(
        Transcript{"folded_match", {"foo", "a.txt"}, "", "foo bar\nFOO\nfoofoo\n", "", 0},
        Transcript{"nothing_found", {"zzz", "a.txt"}, "", "", "", 1},
        Transcript{"case_sensitive", {"-s", "FOO", "a.txt"}, "", "FOO\n", "", 0},
        Transcript{"numbers_start_again_per_file",
                   {"-n", "foo", "a.txt", "b.txt"},
                   "",
                   "1 : foo bar\n3 : FOO\n5 : foofoo\n2 : here foo\n",
                   "",
                   0},
        Transcript{"cr_terminator", {"--cr", "-n", "foo", "b.txt"}, "", "2 : here foo\r", "", 0},
        Transcript{"reverse_reports_empty_lines", {"-v", "-n", "foo", "a.txt"}, "", "2 : baz\n4 : \n", "", 0},
        Transcript{
            "one_per_file", {"-1", "-n", "foo", "a.txt", "b.txt"}, "", "1 : foo bar\n2 : here foo\n", "", 0},
        Transcript{"grouped_short_options", {"-1n", "foo", "a.txt"}, "", "1 : foo bar\n", "", 0},
        Transcript{"or", {"--or", "baz", "foo", "a.txt"}, "", "foo bar\nbaz\nFOO\nfoofoo\n", "", 0},
        Transcript{"and", {"--and", "BAR", "foo", "a.txt"}, "", "foo bar\n", "", 0},
        Transcript{"xor", {"--xor=bar", "foo", "a.txt"}, "", "FOO\nfoofoo\n", "", 0},
        Transcript{"and_not", {"--and-not", "bar", "foo", "a.txt"}, "", "FOO\nfoofoo\n", "", 0},
        Transcript{"empty_second_string_means_none", {"--and", "", "foo", "b.txt"}, "", "here foo\n", "", 0},
        Transcript{"empty_first_string_found_nowhere", {"", "a.txt"}, "", "", "", 1},
        Transcript{
            "verbose_headers",
            {"-V", "-n", "--or", "Baz", "foo", "a.txt", "b.txt"},
            "",
            "*****  New Search  *****\n***** File: \"a.txt\"- Search Pattern=foo or Baz *****\n1 : foo "
            "bar\n2 : baz\n"
            "3 : FOO\n5 : foofoo\n***** File: \"b.txt\"- Search Pattern=foo or Baz *****\n2 : here foo\n",
            "",
            0},
        Transcript{"verbose_without_a_reported_line_exits_1",
                   {"-V", "zzz", "b.txt"},
                   "",
                   "*****  New Search  *****\n***** File: \"b.txt\"- Search Pattern=zzz *****\n",
                   "",
                   1},
        Transcript{"dos_keeps_line_feeds_inside",
                   {"--dos", "--cr", "here", "b.txt"},
                   "",
                   "nothing\nhere foo\n\r",
                   "",
                   0},
        Transcript{"unix_is_the_default", {"here", "b.txt"}, "", "here foo\n", "", 0},
        Transcript{"carriage_returns_end_lines", {"-n", "foo", "c.txt"}, "", "2 : two foo\n", "", 0},
        Transcript{
            "byte_26_ends_the_file", {"-n", "foo", "eof.txt"}, "", "1 : keep foo\n2 : foo before\n", "", 0},
        Transcript{"standard_input_by_default", {"-n", "b"}, "a\nb\r\nab", "2 : b\n3 : ab\n", "", 0},
        Transcript{"dash_is_standard_input",
                   {"-V", "foo", "b.txt", "-"},
                   "x foo\n",
                   "*****  New Search  *****\n***** File: \"b.txt\"- Search Pattern=foo *****\nhere foo\n"
                   "***** File: \"-\"- Search Pattern=foo *****\nx foo\n",
                   "",
                   0},
        Transcript{"missing_file_reported_others_searched",
                   {"foo", "missing.txt", "b.txt"},
                   "",
                   "here foo\n",
                   "sifton-cli: missing.txt: No such file or directory\n",
                   2},
        Transcript{
            "folder_gives_its_ordinary_files",
            {"-V", "foo", "dir"},
            "",
            "*****  New Search  *****\n***** File: \"dir/d1.txt\"- Search Pattern=foo *****\nfoo in d1\n"
            "***** File: \"dir/d2.txt\"- Search Pattern=foo *****\nfoo in d2\n",
            "",
            0},
        Transcript{
            "recursive_goes_below", {"-r", "foo", "dir/"}, "", "foo in d1\nfoo in d2\nfoo in d3\n", "", 0},
        Transcript{"list_file_any_line_end",
                   {"-L", "list.lst", "-n", "foo"},
                   "",
                   "1 : foo bar\n3 : FOO\n5 : foofoo\n2 : here foo\n2 : two foo\n",
                   "sifton-cli: missing.txt: No such file or directory\n",
                   2},
        Transcript{"operands_come_before_list_entries",
                   {"--list=list.lst", "-1", "foo", "eof.txt"},
                   "",
                   "keep foo\nfoo bar\nhere foo\ntwo foo\n",
                   "sifton-cli: missing.txt: No such file or directory\n",
                   2},
        Transcript{"unreadable_list_file",
                   {"-L", "nolist.lst", "foo", "b.txt"},
                   "",
                   "here foo\n",
                   "sifton-cli: nolist.lst: No such file or directory\n",
                   2},
        Transcript{"quiet", {"-q", "foo", "a.txt"}, "", "", "", 0},
        Transcript{"stats",
                   {"--stats", "-q", "foo", "a.txt", "b.txt"},
                   "",
                   "",
                   "Lines Searched: 7\nLines Found: 4\nWords Found: 0\n",
                   0},
        Transcript{"stats_count_words",
                   {"--stats", "-w", "-q", "foo", "a.txt", "b.txt"},
                   "",
                   "",
                   "Lines Searched: 7\nLines Found: 4\nWords Found: 5\n",
                   0},
        Transcript{"words_not_counted_with_reverse",
                   {"--stats", "-wvq", "foo", "a.txt"},
                   "",
                   "",
                   "Lines Searched: 5\nLines Found: 2\nWords Found: 0\n",
                   0},
        Transcript{"words_not_counted_with_second_string",
                   {"--stats", "-wq", "--or", "x", "foo", "a.txt"},
                   "",
                   "",
                   "Lines Searched: 5\nLines Found: 3\nWords Found: 0\n",
                   0},
        Transcript{"words_not_counted_with_one",
                   {"--stats", "-w1q", "foo", "a.txt"},
                   "",
                   "",
                   "Lines Searched: 1\nLines Found: 1\nWords Found: 0\n",
                   0},
        Transcript{"double_dash_ends_options", {"--", "-n", "a.txt"}, "", "", "", 1},
        Transcript{"options_after_string1_are_files",
                   {"foo", "b.txt", "-n"},
                   "",
                   "here foo\n",
                   "sifton-cli: -n: No such file or directory\n",
                   2},
        Transcript{"unknown_option",
                   {"--bogus", "foo"},
                   "",
                   "",
                   "sifton-cli: unknown option '--bogus'\n"s + Hint,
                   2},
        Transcript{
            "unknown_short_option", {"-x", "foo"}, "", "", "sifton-cli: unknown option '-x'\n"s + Hint, 2},
        Transcript{"missing_string1", {"-n"}, "", "", "sifton-cli: STRING1 is missing\n"s + Hint, 2},
        Transcript{"regex", {"-E", "-n", "^fo+( |$)", "a.txt"}, "", "1 : foo bar\n3 : FOO\n", "", 0},
        Transcript{"regex_case_sensitive", {"--regex", "-s", "o{2}$", "a.txt"}, "", "foofoo\n", "", 0},
        Transcript{"regex_operator", {"-E", "--and-not", "b.r", "^f", "a.txt"}, "", "FOO\nfoofoo\n", "", 0},
        Transcript{"regex_reverse", {"-Ev", "-n", "o", "a.txt"}, "", "2 : baz\n4 : \n", "", 0},
        Transcript{"regex_matching_empty_reports_every_line",
                   {"-E", "-n", "x*", "b.txt"},
                   "",
                   "1 : nothing\n2 : here foo\n",
                   "",
                   0},
        Transcript{"regex_words_are_matches",
                   {"-E", "-w", "-q", "--stats", "o+", "a.txt"},
                   "",
                   "",
                   "Lines Searched: 5\nLines Found: 3\nWords Found: 4\n",
                   0},
        Transcript{
            "regex_header_shows_the_strings_as_typed",
            {"-E", "-V", "--or", "z{2}", "f.o", "b.txt"},
            "",
            "*****  New Search  *****\n***** File: \"b.txt\"- Search Pattern=f.o or z{2} *****\nhere foo\n",
            "",
            0},
        Transcript{"without_regex_a_dot_is_a_dot", {"f.o", "a.txt"}, "", "", "", 1},
        Transcript{
            "regex_that_does_not_compile_is_refused",
            {"-E", "--or", "a(b", "foo", "missing.txt"},
            "",
            "",
            "sifton-cli: Search string 2 is not a valid regular expression: missing closing parenthesis "
            "(at position 3)\n",
            2},
        Transcript{"operator_without_its_string",
                   {"--and"},
                   "",
                   "",
                   "sifton-cli: option '--and' needs an argument\n"s + Hint,
                   2},
        Transcript{"option_needs_an_argument",
                   {"--log"},
                   "",
                   "",
                   "sifton-cli: option '--log' needs an argument\n"s + Hint,
                   2},
        Transcript{"refresh_out_of_range",
                   {"--refresh", "5", "foo"},
                   "",
                   "",
                   "sifton-cli: --refresh: '5' is not a whole number from 1000 to 1000000\n"s + Hint,
                   2},
        Transcript{"refresh_in_range", {"--refresh", "5000", "foo", "b.txt"}, "", "here foo\n", "", 0},
        Transcript{"version", {"--version"}, "", "sifton-cli 1.0\n", "", 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SiftonCli, ALineTooComplexForTheRegexFailsItsFileAndTheRunGoesOn)
{
    TempDir dir;
    dir.Write("runaway.txt", "aaa\n" + std::string(50000, 'a') + "b\naa\n");
    dir.Write("next.txt", "a\n");
    const CliOutcome got = RunCliIn(dir, {"-E", "-n", "(a+)+$", "runaway.txt", "next.txt"});
    EXPECT_EQ(got.out, "1 : aaa\n1 : a\n");
    EXPECT_EQ(got.err, "sifton-cli: runaway.txt: Regular expression too complex for this line\n");
    EXPECT_EQ(got.status, 2);
}

TEST(SiftonCli, LogFileHoldsTheEntriesEndedByByte13)
{
    TempDir dir;
    dir.Write("b.txt", "nothing\nhere foo\n");
    const CliOutcome got = RunCliIn(dir, {"-V", "--dos", "--log", "out.log", "here", "b.txt"});
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(
        TempDir::Read(dir.Path() / "out.log"),
        "*****  New Search  *****\r***** File: \"b.txt\"- Search Pattern=here *****\rnothing\nhere foo\n\r");
    EXPECT_EQ(
        got.out,
        "*****  New Search  *****\n***** File: \"b.txt\"- Search Pattern=here *****\nnothing\nhere foo\n\n");
}

TEST(SiftonCli, LogFileIsReplacedEvenWhenNothingIsReported)
{
    TempDir dir;
    dir.Write("b.txt", "nothing\n");
    const std::string log = dir.Write("out.log", "old contents");
    const CliOutcome got = RunCliIn(dir, {"--log", "out.log", "zzz", "b.txt"});
    EXPECT_EQ(got.status, 1);
    ASSERT_TRUE(std::filesystem::exists(log));
    EXPECT_EQ(std::filesystem::file_size(log), 0u);
}

TEST(SiftonCli, LogInsideTheWalkedFolderIsNotSearchedWhileWritten)
{
    // The folders are walked while the run writes: a log the walk finds would feed on itself.
    TempDir dir;
    for (int i = 0; i < 300; ++i) {
        dir.Write("tree/f" + std::to_string(1000 + i) + ".txt", "foo " + std::to_string(i) + "\n");
    }
    dir.Write("tree/out.log", "foo from an earlier run\n");
    for (const char* threads : {"-j1", "-j3"}) {
        const CliOutcome got = RunCliIn(dir, {threads, "-r", "-V", "--log", "tree/out.log", "foo", "tree"});
        EXPECT_EQ(got.status, 0) << threads;
        EXPECT_EQ(got.out.find("out.log"), std::string::npos) << threads;
        EXPECT_NE(got.out.find("foo 299\n"), std::string::npos) << threads;
        EXPECT_EQ(TempDir::Read((dir.Path() / "tree/out.log").string()).size(), got.out.size()) << threads;
    }
}

TEST(SiftonCli, LogFileThatCannotBeCreatedStopsBeforeSearching)
{
    TempDir dir;
    dir.Write("b.txt", "foo\n");
    const CliOutcome got = RunCliIn(dir, {"--log", "no-folder/out.log", "foo", "b.txt"});
    EXPECT_EQ(got.status, 2);
    EXPECT_EQ(got.out, "");
    EXPECT_EQ(got.err, "sifton-cli: no-folder/out.log: No such file or directory\n");
}

TEST(SiftonCli, FullOutputIsAFailure)
{
    TempDir dir;
    dir.Write("b.txt", "foo\n");
    const CliOutcome got = RunCliIn(dir, {"foo", "b.txt"}, "", "/dev/full");
    EXPECT_EQ(got.status, 2);
    EXPECT_EQ(got.err, "sifton-cli: standard output: No space left on device\n");
}

TEST(SiftonCli, FolderAndUnreadableFileAreReportedWithTheirReasons)
{
    TempDir dir;
    dir.Write("b.txt", "foo\n");
    const CliOutcome got = RunCliIn(dir, {"foo", "/proc/self/mem", "b.txt"});
    EXPECT_EQ(got.status, 2);
    EXPECT_EQ(got.out, "foo\n");
    EXPECT_EQ(got.err, "sifton-cli: /proc/self/mem: Input/output error\n");
}

TEST(SiftonCli, ProgressLineIsDrawnAndErasedOnStandardError)
{
    TempDir dir;
    dir.Write("b.txt", "foo\n");
    const CliOutcome got = RunCliIn(dir, {"--progress", "foo", "b.txt"});
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.out, "foo\n");
    const std::string first =
        "\rSearching b.txt  Lines Searched = None  Lines Found = None  File Position 0 (KB)  "
        "Words Found = None";
    EXPECT_EQ(got.err.substr(0, first.size()), first);
    ASSERT_FALSE(got.err.empty());
    EXPECT_EQ(got.err.back(), '\r');
    EXPECT_EQ(got.err.find('\n'), std::string::npos);
}

TEST(SiftonCli, HelpShowsTheUsage)
{
    TempDir dir;
    const CliOutcome got = RunCliIn(dir, {"--help"});
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.out.rfind("Usage: sifton-cli [OPTION]... STRING1 [FILE]...\n", 0), 0u);
    EXPECT_NE(got.out.find("  --and S2 | --or S2 | --xor S2 | --and-not S2"), std::string::npos);
}

TEST(SiftonCli, KeepsNoFilesBesideItself)
{
    const std::filesystem::path bin = std::filesystem::path(CliProgram()).parent_path();
    TempDir dir;
    dir.Write("b.txt", "foo\n");
    RunCliIn(dir, {"-V", "foo", "b.txt"});
    EXPECT_FALSE(std::filesystem::exists(bin / "sifton-cli.out"));
    EXPECT_FALSE(std::filesystem::exists(bin / "sifton-cli.ini"));
}

} // namespace

namespace {

TEST(SiftonCli, FailingStandardOutputStopsTheRunReportsOnceAndExits2)
{
    TempDir dir;
    std::string many;
    for (int i = 0; i < 200000; ++i) {
        many += "foo\n";
    }
    dir.Write("many.txt", many);
    const CliOutcome got = RunCliIn(dir, {"--stats", "foo", "many.txt"}, "", "/dev/full");
    EXPECT_EQ(got.status, 2);
    const std::string first = "sifton-cli: standard output: No space left on device\n";
    ASSERT_EQ(got.err.substr(0, first.size()), first);
    EXPECT_EQ(got.err.find("sifton-cli:", 1), std::string::npos) << got.err;
    EXPECT_EQ(got.err.find("Lines Searched: 200000"), std::string::npos)
        << "searched on after the output failed";
}

TEST(SiftonCli, FifoNamedOnTheCommandLineIsReadButOneInAListIsReported)
{
    TempDir dir;
    const std::string fifo = (dir.Path() / "pipe").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    dir.Write("list.lst", "pipe\n");
    std::thread writer([&] {
        const int fd = ::open(fifo.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, "foo one\nbar\n", 12), 12);
        ::close(fd);
    });
    const CliOutcome named = RunCliIn(dir, {"foo", "pipe"});
    writer.join();
    EXPECT_EQ(named.status, 0);
    EXPECT_EQ(named.out, "foo one\n");
    const CliOutcome listed = RunCliIn(dir, {"-L", "list.lst", "foo"});
    EXPECT_EQ(listed.status, 2);
    EXPECT_EQ(listed.out, "");
    EXPECT_EQ(listed.err, "sifton-cli: pipe: Not a regular file\n");
}

} // namespace

namespace {

TEST(SiftonCli, ThreadsGiveTheSameBytesInListOrder)
{
    TempDir dir;
    for (int i = 0; i < 40; ++i) {
        dir.Write("tree/d" + std::to_string(i % 4) + "/f" + std::to_string(i) + ".txt",
                  "foo " + std::to_string(i) + "\nbar\nfoo again\n");
    }
    const CliOutcome one = RunCliIn(dir, {"-j1", "-r", "-V", "-n", "--stats", "foo", "tree"});
    const CliOutcome many = RunCliIn(dir, {"--threads", "3", "-r", "-V", "-n", "--stats", "foo", "tree"});
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(many.status, 0);
    EXPECT_EQ(many.out, one.out);
    EXPECT_EQ(many.err, one.err);
    EXPECT_NE(
        one.out.find("***** File: \"tree/d0/f0.txt\"- Search Pattern=foo *****\n1 : foo 0\n3 : foo again\n"),
        std::string::npos);
    const CliOutcome bad = RunCliIn(dir, {"-j", "0", "foo", "tree"});
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.err.rfind("sifton-cli: -j: '0' is not a whole number from 1 to 1024\n", 0), 0u);
}

} // namespace

namespace {

// Compressed, UTF-16 and binary files, and folder walks picked by name.
const std::map<std::string, std::string> DecodedFiles{
    {"log.gz", GzipOf("alpha one\nbeta\n") + GzipOf("alpha two\n")},
    {"log.xz", XzOf("beta\nalpha three\n")},
    {"log.zst", ZstdOf("alpha four\n")},
    {"log.bz2", Bzip2Of("alpha five\n")},
    {"cut.gz", GzipOf("alpha whole\nalpha cut off").substr(0, 30)},
    {"plain.gz", "alpha, but not compressed\n"},
    {"wide.txt", Utf16Bytes(u"alpha \u00e9t\u00e9\r\nbeta\r\n", false)},
    {"image.bin", std::string("alpha\0\n", 7)},
    {"tree/a.log", "alpha a\n"},
    {"tree/a.log.1.gz", GzipOf("alpha rotated\n")},
    {"tree/b.txt", "alpha b\n"},
    {"tree/old/c.log", "alpha c\n"},
};

class DecodeTranscriptTest : public testing::TestWithParam<Transcript> { };

TEST_P(DecodeTranscriptTest, Transcript)
{
    TempDir dir;
    for (const auto& [name, bytes] : DecodedFiles) {
        dir.Write(name, bytes);
    }
    const Transcript& t = GetParam();
    const CliOutcome got = RunCliIn(dir, t.args, t.input);
    EXPECT_EQ(got.out, t.out);
    EXPECT_EQ(got.err, t.err);
    EXPECT_EQ(got.status, t.status);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DecodeTranscriptTest,
    testing::Values(
        Transcript{"each_format_with_z",
                   {"-z", "-n", "alpha", "log.gz", "log.xz", "log.zst", "log.bz2"},
                   "",
                   "1 : alpha one\n3 : alpha two\n2 : alpha three\n1 : alpha four\n1 : alpha five\n",
                   "",
                   0},
        Transcript{"without_z_the_bytes_as_they_are", {"alpha one", "log.gz"}, "", "", "", 1},
        Transcript{
            "verbose_header_keeps_the_name",
            {"-z", "-V", "four", "log.zst"},
            "",
            "*****  New Search  *****\n***** File: \"log.zst\"- Search Pattern=four *****\nalpha four\n",
            "",
            0},
        Transcript{"damaged_keeps_the_lines_before",
                   {"-z", "alpha", "cut.gz", "log.zst"},
                   "",
                   "alpha whole\nalpha four\n",
                   "sifton-cli: cut.gz: Damaged compressed data\n",
                   2},
        Transcript{"context_lines_of_the_text",
                   {"-z", "-n", "-C", "1", "two", "log.gz"},
                   "",
                   "2 - beta\n3 : alpha two\n",
                   "",
                   0},
        Transcript{
            "gz_name_on_plain_text", {"-z", "alpha", "plain.gz"}, "", "alpha, but not compressed\n", "", 0},
        Transcript{"compressed_standard_input",
                   {"-z", "-n", "three"},
                   XzOf("beta\nalpha three\n"),
                   "2 : alpha three\n",
                   "",
                   0},
        Transcript{"utf16_written_as_utf8",
                   {"-n", "\xc3\xa9t\xc3\xa9", "wide.txt"},
                   "",
                   "1 : alpha \xc3\xa9t\xc3\xa9\n",
                   "",
                   0},
        Transcript{
            "binary_named_on_standard_error",
            {"--skip-binary", "--stats", "alpha", "image.bin", "tree/a.log"},
            "",
            "alpha a\n",
            "sifton-cli: image.bin: Binary file skipped\nLines Searched: 1\nLines Found: 1\nWords Found: 0\n",
            0},
        Transcript{"binary_searched_without_the_option", {"alpha", "image.bin"}, "", "alpha\0\n"s, "", 0},
        Transcript{"include_and_exclude",
                   {"-r", "--include", "*.log", "--include=*.log.*", "--exclude", "*.gz", "alpha", "tree"},
                   "",
                   "alpha a\nalpha c\n",
                   "",
                   0},
        Transcript{"exclude_dir_and_rotated_logs",
                   {"-r", "-z", "--exclude-dir", "old", "--include", "*.log*", "alpha", "tree"},
                   "",
                   "alpha a\nalpha rotated\n",
                   "",
                   0},
        Transcript{"named_files_are_always_searched",
                   {"-r", "--exclude", "*.txt", "--exclude-dir", "tree", "alpha", "tree/b.txt", "tree"},
                   "",
                   "alpha b\nalpha a\nalpha c\n",
                   "",
                   0},
        Transcript{"include_needs_a_glob",
                   {"--include"},
                   "",
                   "",
                   "sifton-cli: option '--include' needs an argument\n" + std::string(Hint),
                   2}),
    [](const testing::TestParamInfo<Transcript>& info) { return std::string(info.param.name); });

} // namespace
