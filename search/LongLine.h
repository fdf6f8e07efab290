#pragma once

// Internal to the windowed scan (FastScan.cpp and its units in search/); not part of the engine's API.

#include "search/LiteralFinder.h"
#include "search/SearchRequest.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// A line longer than the read() buffer is never held whole: these are the pieces its scan uses to
// test it as it passes and to keep its text until the test is decided.

namespace FastScan {

/// The first byte that ends a line (or the data) in [begin, end), or nullptr.
const char* FirstLineEnd(const char* begin, const char* end, bool dos);

/// The test of one line made on its pieces as they pass, for a line too long to hold: which
/// strings occur (also across the seams) and how often string 1 does.
class PieceTest {
public:
    PieceTest(const SearchRequest& request, const LiteralFinder& finder1, const LiteralFinder& finder2)
        : FOperator(request.Operator)
        , FCountWords(request.CountWords)
        , FFinder1(finder1)
        , FFinder2(finder2)
    {
    }

    /// Tests the next piece of the line.
    void Feed(const char* begin, const char* end)
    {
        Look(FFinder1, FTail1, FIn1, FCountWords, begin, end);
        Look(FFinder2, FTail2, FIn2, false, begin, end);
    }

    /// The predicate's result when the rest of the line cannot change it.
    std::optional<bool> Early() const
    {
        switch (FOperator) {
        case SearchOperator::None:
            return FIn1 ? std::optional<bool>(true) : std::nullopt;
        case SearchOperator::And:
            return FIn1 && FIn2 ? std::optional<bool>(true) : std::nullopt;
        case SearchOperator::Or:
            return FIn1 || FIn2 ? std::optional<bool>(true) : std::nullopt;
        case SearchOperator::Xor:
            return FIn1 && FIn2 ? std::optional<bool>(false) : std::nullopt;
        case SearchOperator::AndNot:
            return FIn2 ? std::optional<bool>(false) : std::nullopt;
        }
        return std::nullopt;
    }

    /// The predicate's result on the whole line.
    bool Final() const
    {
        switch (FOperator) {
        case SearchOperator::None:
            return FIn1;
        case SearchOperator::And:
            return FIn1 && FIn2;
        case SearchOperator::Or:
            return FIn1 || FIn2;
        case SearchOperator::Xor:
            return FIn1 != FIn2;
        case SearchOperator::AndNot:
            return FIn1 && !FIn2;
        }
        return false;
    }

    /// Occurrences of string 1 in the pieces fed so far (counted only when the request counts words).
    std::int64_t Words() const { return FWords; }

private:
    void Look(const LiteralFinder& finder, std::string& tail, bool& found, bool count, const char* begin,
              const char* end);

    SearchOperator FOperator;
    bool FCountWords;
    const LiteralFinder& FFinder1;
    const LiteralFinder& FFinder2;
    bool FIn1 = false;
    bool FIn2 = false;
    std::int64_t FWords = 0;
    std::string FTail1; // the last Size()-1 bytes fed, for occurrences across a seam
    std::string FTail2;
    std::string FSeam;
};

/// A new file in the temporary folder ($TMPDIR, else /tmp) that no name leads to: it goes when it is
/// closed. -1 with errno when none can be made.
int OpenUnnamedTempFile();

/// An unlinked file in the temporary folder for the text of a long line whose test is still open.
class SpillFile {
public:
    SpillFile() = default;
    ~SpillFile() { Close(); }
    SpillFile(const SpillFile&) = delete;
    SpillFile& operator=(const SpillFile&) = delete;

    /// Appends bytes; gives 0 or the errno of the failure.
    int Write(const char* begin, const char* end);

    int Fd() const { return FFd; }
    std::int64_t Size() const { return FSize; }

    /// Closes the file, which takes its text with it; the next Write starts a new one.
    void Close();

private:
    int FFd = -1;
    std::int64_t FSize = 0;
};

/// Where a long line read with read() ended.
struct LongLineEnd {
    bool Done = false; ///< the line was read to its end and handled (false: given up)
    std::size_t Next = 0; ///< where the next line starts in the buffer
    bool DataEnds = false; ///< a byte 26 ended the line and the file
    bool Failed = false; ///< given up because reading failed (not for a cancel)
};

} // namespace FastScan
