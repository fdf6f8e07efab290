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

/// Which names a folder walk takes (grep's --include, --exclude and --exclude-dir): shell globs, matched
/// as fnmatch does against the name alone. A file is taken when it matches an Include (or there is
/// none) and no Exclude; a sub-folder is entered unless it matches an ExcludeDir.
struct WalkFilter {
    std::vector<std::string> Include;
    std::vector<std::string> Exclude;
    std::vector<std::string> ExcludeDir;

    bool TakesFile(const char* name) const;
    bool EntersFolder(const char* name) const;
};

/// Gives path to found; a folder is replaced by its ordinary files (regular, name not starting with
/// "."), sorted by name, and with recursive by those of its sub-folders too, depth first; filter
/// picks among the names found in folders (a path given here is always taken). A walk ends early
/// when stop() becomes true.
void AddPath(const std::string& path, bool recursive, const FileFound& found, const ReadFailure& failed,
             const FileIdentity* excluded = nullptr, const std::function<bool()>& stop = {},
             const WalkFilter* filter = nullptr);

/// The same, appending to files.
void AddPath(const std::string& path, bool recursive, std::vector<std::string>& files,
             const ReadFailure& failed);

/// The paths a list file holds, one per line (CR LF, LF or CR); empty lines are skipped. "-" reads
/// standard input. False after calling failed when the file cannot be read.
bool ReadListFile(const std::string& path, std::vector<std::string>& paths, const ReadFailure& failed);
