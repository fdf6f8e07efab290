#pragma once

#include <cstddef>

/// How the windowed scan reads a file. The defaults are what runs use; tests shrink the window
/// so that lines cross window edges, and force read() to cover the path pipes take.
struct FastScanOptions {
    std::size_t Window = std::size_t{1} << 20; ///< bytes searched at once; grown for a longer line
    bool ReadOnly = false; ///< read() regular files too instead of mapping them
};
