#pragma once

#include "search/Decoding.h"

#include <cstdint>
#include <string>
#include <string_view>

/// How two search strings are joined; `None` when search string 2 is empty.
enum class SearchOperator { None, And, Or, Xor, AndNot };

/// Which bytes end a line while a file is read.
enum class LineFormat { Dos, Unix };

/// The inputs of one run, fixed before the first file is opened and never changed afterwards.
struct SearchRequest {
    std::string Pattern1; ///< search string 1 as compared (folded unless CaseSensitive or Regex)
    std::string Pattern2; ///< search string 2 as compared; may be empty
    std::string Pattern1Text; ///< search string 1 as typed, for the file header line
    SearchOperator Operator = SearchOperator::None;
    std::string OperatorText; ///< " or bar" and the like, for the file header line; empty for None
    ::LineFormat LineFormat = ::LineFormat::Dos;
    bool CaseSensitive = false;
    bool ReverseLogic = false;
    bool PromptForSave = false;
    bool OneOccurrence = false;
    bool Verbose = false;
    bool LineCounting = false;
    bool WordCounting = false;
    bool ProgressIndication = false;
    bool LineNumbering = false;
    bool CountWords = false; ///< WordCounting, search string 2 empty and ReverseLogic clear
    std::int32_t RefreshRate = 1000;
    bool Decompress = false; ///< gzip, bzip2, xz and zstd files are searched decompressed
    bool SkipBinary = false; ///< a file whose text holds a NUL in its first 64 KiB is not searched
    /// The strings are PCRE2 regular expressions, as typed (case is left to the pattern's compilation).
    bool Regex = false;
};

/// What the window's controls (or the console's options) hold, as plain values.
struct SearchInputs {
    std::string String1; ///< text of search string 1 as typed
    std::string String2; ///< text of search string 2 as typed
    int OperatorIndex = 0; ///< selected item of the operator box: 0 And, 1 Or, 2 Xor, 3 "& Not"; -1 none
    ::LineFormat LineFormat = ::LineFormat::Dos;
    bool CaseSensitive = false;
    bool ReverseLogic = false;
    bool PromptForSave = false;
    bool OneOccurrence = false;
    bool Verbose = false;
    bool LineCounting = false;
    bool WordCounting = false;
    bool ProgressIndication = false;
    bool LineNumbering = false;
    std::string RefreshRateText = "1000"; ///< text of the refresh-rate spin edit
    bool Decompress = false;
    bool SkipBinary = false;
    bool Regex = false; ///< the strings are regular expressions
};

inline constexpr std::int32_t MinRefreshRate = 1000;
inline constexpr std::int32_t MaxRefreshRate = 1000000;

/// Builds the request the same way for the window and the console.
SearchRequest PrepareRequest(const SearchInputs& inputs);

/// What the scans of a request decode: UTF-16 always, compressed files and the binary probe as asked.
DecodeOptions DecodeOptionsOf(const SearchRequest& request);

/// The operator an item position of the operator box stands for (a position outside 0..3 gives And).
SearchOperator OperatorFromIndex(int index);

/// The word written before search string 2 in the file header line (" and ", " or ", ...).
std::string_view OperatorWord(SearchOperator op);

/// Copies text with a..z turned into A..Z; every other byte stays as it is.
std::string FoldAscii(std::string_view text);

/// Same as FoldAscii, into a reused buffer.
void FoldAsciiInto(std::string& out, std::string_view text);

/// The refresh rate a spin-edit text stands for: not a whole number gives 1000; kept within 1000..1000000.
std::int32_t RefreshRateFromText(std::string_view text);
