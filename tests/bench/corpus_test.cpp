// The benchmark corpus generator: its manifest must hold the counts the benchmark checks every
// tool against, and the two forms must hold the same lines.
#include "tests/support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Lines(const std::string& text, const std::string& end)
{
    std::vector<std::string> lines;
    std::size_t at = 0;
    for (std::size_t next; (next = text.find(end, at)) != std::string::npos; at = next + end.size()) {
        lines.push_back(text.substr(at, next - at));
    }
    EXPECT_EQ(at, text.size()) << "the corpus ends with a line end";
    return lines;
}

bool HasFolded(std::string line, const std::string& upperNeedle)
{
    for (char& c : line) {
        c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
    }
    return line.find(upperNeedle) != std::string::npos;
}

class Corpus : public testing::Test {
protected:
    fs::path Make(const std::string& name, const std::string& size)
    {
        const char* bin = std::getenv("SIFTON_BIN");
        if (bin == nullptr) {
            ADD_FAILURE() << "SIFTON_BIN is not set";
            return {};
        }
        const fs::path dir = FDir.Path() / name;
        const std::string cmd = std::string(bin) + "/sifton-corpus --size " + size + " --out " + dir.string();
        EXPECT_EQ(std::system(cmd.c_str()), 0);
        return dir;
    }

    TempDir FDir;
};

TEST_F(Corpus, ManifestCountsAreTheLinesThatHoldTheNeedles)
{
    const fs::path dir = Make("counts", "10000000");
    std::map<std::string, std::string> m;
    std::istringstream manifest(TempDir::Read(dir / "manifest.txt"));
    for (std::string row; std::getline(manifest, row);) {
        m[row.substr(0, row.find('='))] = row.substr(row.find('=') + 1);
    }
    const std::string lf = TempDir::Read(dir / "corpus-lf.txt");
    const auto lines = Lines(lf, "\n");
    long rare = 0, folded = 0, common = 0, orLines = 0, andNot = 0;
    for (const auto& l : lines) {
        const bool r = l.find(m["rare"]) != std::string::npos;
        const bool c = l.find(m["common"]) != std::string::npos;
        rare += r;
        folded += HasFolded(l, "QUANTUMFLUXERROR");
        common += c;
        orLines += r || l.find(m["second"]) != std::string::npos;
        andNot += c && l.find(m["exclude"]) == std::string::npos;
    }
    EXPECT_EQ(std::to_string(lines.size()), m["lines"]);
    EXPECT_EQ(std::to_string(lf.size()), m["bytes_lf"]);
    EXPECT_EQ(std::to_string(rare), m["rare_lines"]);
    EXPECT_EQ(std::to_string(folded), m["rare_lines_folded"]);
    EXPECT_EQ(std::to_string(common), m["common_lines"]);
    EXPECT_EQ(std::to_string(orLines), m["or_lines"]);
    EXPECT_EQ(std::to_string(andNot), m["andnot_lines"]);
    EXPECT_EQ(std::to_string(lines.size() - rare), m["reverse_lines"]);
    // The needles are really there in the proportions the benchmark relies on.
    EXPECT_GT(folded, rare);
    EXPECT_GT(rare, 0);
    EXPECT_NEAR(double(common) / lines.size(), 0.05, 0.01);

    EXPECT_EQ(Lines(TempDir::Read(dir / "corpus-crlf.txt"), "\r\n"), lines);
}

TEST_F(Corpus, SameSizeGivesTheSameBytes)
{
    const fs::path a = Make("a", "200000");
    const fs::path b = Make("b", "200000");
    EXPECT_EQ(TempDir::Read(a / "corpus-lf.txt"), TempDir::Read(b / "corpus-lf.txt"));
    EXPECT_GE(fs::file_size(a / "corpus-lf.txt"), 200000u);
}

} // namespace
