#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

/// Status panels of a run: 0 lines searched, 1 lines found, 2 file position, 3 words found.
enum StatusPanel : int {
    LinesSearchedPanel = 0,
    LinesFoundPanel = 1,
    FilePositionPanel = 2,
    WordsFoundPanel = 3
};

/// Texts the panels show while no run is going on.
inline constexpr std::array<std::string_view, 4> IdleStatusTexts{"Lines Searched: None", "Lines Found: None",
                                                                 "File Position: N/A", "Words Found: None"};

/// Texts the panels get when a run starts.
inline constexpr std::array<std::string_view, 4> StartingStatusTexts{
    "Lines Searched = None", "Lines Found = None", "File Position 0 (KB)", "Words Found = None"};

/// A whole number with its digits grouped in threes by separator ("1,234,567"); every digit is shown.
std::string FormatCount(std::int64_t value, std::string_view separator);

/// The "Kb" figure of a block count: blocks x 10/81, rounded to the nearest whole number.
std::int64_t BlockFigure(std::int64_t blocks);
