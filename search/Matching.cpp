#include "search/Matching.h"

std::size_t FindPosition(std::string_view pattern, std::string_view text)
{
    if (pattern.empty()) {
        return 0;
    }
    const std::size_t at = text.find(pattern);
    return at == std::string_view::npos ? 0 : at + 1;
}

bool Contains(std::string_view pattern, std::string_view text)
{
    return FindPosition(pattern, text) != 0;
}

namespace {

bool OnlyFirst(std::string_view p1, std::string_view, std::string_view line)
{
    return Contains(p1, line);
}

bool Both(std::string_view p1, std::string_view p2, std::string_view line)
{
    return Contains(p1, line) && Contains(p2, line);
}

bool Either(std::string_view p1, std::string_view p2, std::string_view line)
{
    return Contains(p1, line) || Contains(p2, line);
}

bool ExactlyOne(std::string_view p1, std::string_view p2, std::string_view line)
{
    return Contains(p1, line) != Contains(p2, line);
}

bool FirstWithoutSecond(std::string_view p1, std::string_view p2, std::string_view line)
{
    return Contains(p1, line) && !Contains(p2, line);
}

} // namespace

LinePredicate ChoosePredicate(SearchOperator op)
{
    switch (op) {
    case SearchOperator::And:
        return Both;
    case SearchOperator::Or:
        return Either;
    case SearchOperator::Xor:
        return ExactlyOne;
    case SearchOperator::AndNot:
        return FirstWithoutSecond;
    case SearchOperator::None:
        break;
    }
    return OnlyFirst;
}

std::int64_t CountOccurrences(std::string_view pattern, std::string_view text)
{
    if (pattern.empty()) {
        return 0;
    }
    std::int64_t count = 0;
    // Cutting only through the first byte of each occurrence found counts overlapping ones too.
    for (std::size_t at = text.find(pattern); at != std::string_view::npos; at = text.find(pattern, at + 1)) {
        ++count;
    }
    return count;
}
