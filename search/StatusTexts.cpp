#include "search/StatusTexts.h"

std::string FormatCount(std::int64_t value, std::string_view separator)
{
    const bool negative = value < 0;
    // Negated as unsigned so that the lowest value survives.
    std::uint64_t magnitude =
        negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    std::string digits = std::to_string(magnitude);
    std::string out;
    out.reserve(digits.size() + digits.size() / 3 * separator.size() + 1);
    if (negative) {
        out += '-';
    }
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i != 0 && (digits.size() - i) % 3 == 0) {
            out += separator;
        }
        out += digits[i];
    }
    return out;
}

std::int64_t BlockFigure(std::int64_t blocks)
{
    // blocks * 10 / 81 never ends in exactly .5, so rounding half up is rounding to nearest.
    return (blocks * 20 + 81) / 162;
}
