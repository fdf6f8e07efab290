#pragma once

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

/// Called for a folder or list file that could not be read: its path and the system's reason.
using ReadFailure = std::function<void(const std::string& path, const std::string& reason)>;

/// Called for each file a path gives, in order.
using FileFound = std::function<void(std::string path)>;

/// A file the walk of a folder leaves out: the run's own result log, which would otherwise be read
/// while it is written. Only an entry of that name costs a stat.
struct FileIdentity {
    dev_t Device = 0;
    ino_t Inode = 0;
    std::string Name; // the last part of its path
};

/// Gives path to found; a folder is replaced by its ordinary files (regular, name not starting with
/// "."), sorted by name, and with recursive by those of its sub-folders too, depth first. A walk
/// ends early when stop() becomes true.
void AddPath(const std::string& path, bool recursive, const FileFound& found, const ReadFailure& failed,
             const FileIdentity* excluded = nullptr, const std::function<bool()>& stop = {});

/// The same, appending to files.
void AddPath(const std::string& path, bool recursive, std::vector<std::string>& files,
             const ReadFailure& failed);

/// The paths a list file holds, one per line (CR LF, LF or CR); empty lines are skipped. "-" reads
/// standard input. False after calling failed when the file cannot be read.
bool ReadListFile(const std::string& path, std::vector<std::string>& paths, const ReadFailure& failed);
