// sifton-cli's context lines against GNU grep's on the same files, and its JSON read back by a real
// JSON parser (python3's) and compared with the plain output.
#include "tests/support/CliRun.h"
#include "tests/support/TempDir.h"

#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <regex>

namespace {

/// Standard output of a shell command run in folder, or nothing when it could not run.
std::optional<std::string> Shell(const TempDir& folder, const std::string& command)
{
    const std::string line = "cd '" + folder.Path().string() + "' && LC_ALL=C " + command;
    std::FILE* pipe = ::popen(line.c_str(), "r");
    if (pipe == nullptr) {
        return std::nullopt;
    }
    std::string out;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        out.append(buffer, got);
    }
    const int status = ::pclose(pipe);
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 127) {
        return std::nullopt;
    }
    return out;
}

bool Have(const char* tool)
{
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// "12 : text" and "12 - text" in grep's form ("12:text", "12-text"): the same lines, another number
// format.
std::string AsGrepNumbers(const std::string& out)
{
    static const std::regex numbered("^([0-9]+) ([:-]) ", std::regex::multiline);
    return std::regex_replace(out, numbered, "$1$2");
}

std::string RandomLines(std::mt19937& random, int count)
{
    static const char* const words[] = {"alpha", "beta", "gamma", "needle", "delta", "x needle y", ""};
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += words[random() % std::size(words)];
        text += ' ';
        text += std::to_string(i);
        text += '\n';
    }
    return text;
}

class CliContextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::mt19937 random(29);
        FDir.Write("a.txt", RandomLines(random, 120));
        FDir.Write("b.txt", RandomLines(random, 40) + "needle at the very end");
        FDir.Write("c.txt", "needle\nneedle\nnothing\n"); // groups that touch at the start of a file
        FDir.Write("none.txt", "no match here\n");
    }

    TempDir FDir;
};

TEST_F(CliContextTest, GroupsAndSeparatorsAreGrepsOnTheSameFiles)
{
    if (!Have("grep")) {
        GTEST_SKIP() << "GNU grep is not installed";
    }
    const std::vector<std::vector<std::string>> contexts{{"-C", "2"}, {"-A", "1"},    {"-B", "3"},
                                                         {"-C0"},     {"-A3", "-B1"}, {"-C", "5", "-A", "0"},
                                                         {"-B", "0"}, {"-C", "40"}};
    const std::vector<std::pair<std::vector<std::string>, std::string>> modes{
        {{}, ""}, {{"-n"}, "-n"}, {{"-v"}, "-v"}, {{"-1"}, "-m1"}, {{"-n", "-v"}, "-n -v"}};
    const std::vector<std::string> files{"a.txt", "none.txt", "b.txt", "c.txt"};
    for (const auto& context : contexts) {
        for (const auto& [ours, theirs] : modes) {
            std::vector<std::string> args = ours;
            std::string grep = "grep -h -F " + theirs;
            for (const std::string& option : context) {
                args.push_back(option);
                grep += " " + option;
            }
            args.insert(args.end(), {"-s", "needle"});
            grep += " needle";
            for (const std::string& file : files) {
                args.push_back(file);
                grep += " " + file;
            }
            const CliOutcome got = RunCliIn(FDir, args);
            const std::optional<std::string> expected = Shell(FDir, grep);
            ASSERT_TRUE(expected);
            EXPECT_EQ(AsGrepNumbers(got.out), *expected) << grep;
            EXPECT_EQ(got.status, 0) << grep;
        }
    }
}

TEST_F(CliContextTest, ContextNeverReachesTheLog)
{
    const CliOutcome plain = RunCliIn(FDir, {"-V", "--log", "plain.out", "-s", "needle", "a.txt", "b.txt"});
    const CliOutcome context =
        RunCliIn(FDir, {"-V", "-C", "2", "--log", "context.out", "-s", "needle", "a.txt", "b.txt"});
    const std::string log = TempDir::Read(FDir.Path() / "plain.out");
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(TempDir::Read(FDir.Path() / "context.out"), log) << "no numbers, no context, no separators";
    EXPECT_GT(context.out.size(), plain.out.size());
    EXPECT_NE(context.out.find("***** File: \"b.txt\""), std::string::npos) << "headers stay on the output";
}

TEST_F(CliContextTest, DosLinesAndAPipeReadAgainForContext)
{
    FDir.Write("dos.txt", "one\r\ntwo needle\r\nthree\rfour\r\nfive needle\r\n");
    const CliOutcome dos = RunCliIn(FDir, {"--dos", "-n", "-A", "1", "needle", "dos.txt"});
    EXPECT_EQ(dos.out, "2 : two needle\n3 - three\n--\n5 : five needle\n") << "a lone CR ends a DOS line";
    const CliOutcome piped = RunCliIn(FDir, {"-n", "-B", "1", "needle", "-"}, "first\nneedle here\nlast\n");
    EXPECT_EQ(piped.out, "1 - first\n2 : needle here\n");
}

TEST_F(CliContextTest, BadCountsAreRefused)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"-A", "x", "needle"}, {"-C", "-1", "needle"}, {"--context=", "needle"}, {"-B"}}) {
        const CliOutcome got = RunCliIn(FDir, args);
        EXPECT_EQ(got.status, 2) << args[0];
        EXPECT_NE(got.err.find("Try 'sifton-cli --help'"), std::string::npos);
    }
    const CliOutcome help = RunCliIn(FDir, {"--help"});
    EXPECT_NE(help.out.find("context lines get \"N - \""), std::string::npos);
    EXPECT_NE(help.out.find("--json"), std::string::npos);
}

// The JSON lines are read by python3's json module; each object must say what the plain output says.
TEST_F(CliContextTest, JsonReadByARealParserSaysWhatThePlainOutputSays)
{
    if (!Have("python3")) {
        GTEST_SKIP() << "python3 is not installed";
    }
    FDir.Write("bytes.txt", "caf\xe9 needle\nutf-8 \xc3\xa9 needle \"quoted\" \\ \t\x01\n");
    const std::vector<std::string> files{"a.txt", "bytes.txt", "none.txt", "b.txt"};
    for (const bool numbers : {false, true}) {
        std::vector<std::string> plainArgs{"-s", "-V", "--cr", "needle"};
        if (numbers) {
            plainArgs.insert(plainArgs.begin(), "-n");
        }
        plainArgs.insert(plainArgs.end(), files.begin(), files.end());
        std::vector<std::string> jsonArgs = plainArgs;
        jsonArgs.insert(jsonArgs.begin(), {"--json", "--log", "json.log"});
        const CliOutcome plain = RunCliIn(FDir, plainArgs);
        const CliOutcome json = RunCliIn(FDir, jsonArgs);
        ASSERT_EQ(json.status, 0) << json.err;
        FDir.Write("out.jsonl", json.out);
        // Back into the plain output's bytes: headers from the paths, numbers when given, the text or
        // the bytes; the log written beside stays the plain one.
        const std::string script = R"(
import base64, json, sys
out = b''
last = None
for line in open('out.jsonl', 'rb'):
    o = json.loads(line)
    assert set(o) <= {'path', 'line', 'text', 'bytes'}, o
    if o['path'] != last:
        out += b'***** File: "' + o['path'].encode() + b'"- Search Pattern=needle *****\r'
        last = o['path']
    text = o['text'].encode() if 'text' in o else base64.b64decode(o['bytes'])
    assert ('text' in o) != ('bytes' in o)
    out += (str(o['line']).encode() + b' : ' if o['line'] is not None else b'') + text + b'\r'
sys.stdout.buffer.write(out)
)";
        FDir.Write("back.py", script);
        const std::optional<std::string> back = Shell(FDir, "python3 back.py");
        ASSERT_TRUE(back);
        // The plain output has the new-search line and every file's header; JSON names only files
        // with reported lines.
        std::string expected = plain.out.substr(plain.out.find('\r') + 1);
        for (const char* empty : {"***** File: \"none.txt\"- Search Pattern=needle *****\r"}) {
            expected.erase(expected.find(empty), std::strlen(empty));
        }
        EXPECT_EQ(*back, expected) << (numbers ? "with -n" : "without -n");
        EXPECT_EQ(TempDir::Read(FDir.Path() / "json.log"), plain.out) << "--log is the plain log";
    }
    const CliOutcome context = RunCliIn(FDir, {"--json", "-n", "-A", "1", "-s", "needle", "c.txt"});
    EXPECT_EQ(context.out, "{\"path\": \"c.txt\", \"line\": 1, \"text\": \"needle\"}\n"
                           "{\"path\": \"c.txt\", \"line\": 2, \"text\": \"needle\"}\n"
                           "{\"path\": \"c.txt\", \"line\": 3, \"text\": \"nothing\", \"context\": true}\n");
}

} // namespace
