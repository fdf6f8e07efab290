#pragma once

#include <functional>
#include <string>
#include <vector>

/// Called for a folder or list file that could not be read: its path and the system's reason.
using ReadFailure = std::function<void(const std::string& path, const std::string& reason)>;

/// Appends path to files; a folder is replaced by its ordinary files (regular, name not starting with
/// "."), sorted by name, and with recursive by those of its sub-folders too, depth first.
void AddPath(const std::string& path, bool recursive, std::vector<std::string>& files, const ReadFailure& failed);

/// The paths a list file holds, one per line (CR LF, LF or CR); empty lines are skipped. "-" reads
/// standard input. False after calling failed when the file cannot be read.
bool ReadListFile(const std::string& path, std::vector<std::string>& paths, const ReadFailure& failed);
