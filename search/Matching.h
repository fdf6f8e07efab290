#pragma once

#include "search/SearchRequest.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

/// 1-based position of the first occurrence of pattern in text; 0 when none or when pattern is empty.
std::size_t FindPosition(std::string_view pattern, std::string_view text);

/// True when pattern is not empty and occurs in text byte for byte.
bool Contains(std::string_view pattern, std::string_view text);

/// The test of one comparison line against the two patterns, fixed once per run.
using LinePredicate = bool (*)(std::string_view pattern1, std::string_view pattern2, std::string_view line);

/// The predicate of an operator.
LinePredicate ChoosePredicate(SearchOperator op);

/// Whether a line is reported: the predicate's result differs from ReverseLogic.
inline bool IsReported(LinePredicate predicate, const SearchRequest& request, std::string_view comparisonLine)
{
    return predicate(request.Pattern1, request.Pattern2, comparisonLine) != request.ReverseLogic;
}

/// Occurrences of pattern in text, overlapping ones included ('aa' in 'aaaa' counts 3).
std::int64_t CountOccurrences(std::string_view pattern, std::string_view text);
