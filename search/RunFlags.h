#pragma once

#include <atomic>

/// Set by the Cancel command and by closing the window; a run clears it at its start and reads it
/// before each file and each line.
inline std::atomic<bool> CancelRequested{false};

/// Set while a run walks its files; the Clear command reads it.
inline std::atomic<bool> SearchRunning{false};
