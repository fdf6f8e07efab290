#include "cli/FileArgs.h"

#include "search/LineReader.h"

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fnmatch.h>
#include <fstream>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string Join(const std::string& folder, const std::string& name)
{
    return folder.ends_with('/') ? folder + name : folder + "/" + name;
}

/// The entries of one folder that a search takes: regular files (also through links), and
/// sub-folders that are not links; names beginning with "." are left out. The entry's type
/// comes from the folder read; only an entry of unknown type or a link costs a stat.
struct Walk {
    bool Recursive;
    const FileFound& Found;
    const ReadFailure& Failed;
    const FileIdentity* Excluded;
    const std::function<bool()>& Stop;
    const WalkFilter* Filter;
};

bool MatchesAny(const std::vector<std::string>& globs, const char* name)
{
    return std::any_of(globs.begin(), globs.end(),
                       [&](const std::string& glob) { return ::fnmatch(glob.c_str(), name, 0) == 0; });
}

bool IsExcluded(const Walk& walk, int fd, const char* name)
{
    if (walk.Excluded == nullptr || walk.Excluded->Name != name) {
        return false;
    }
    struct stat info { };
    return ::fstatat(fd, name, &info, 0) == 0 && info.st_dev == walk.Excluded->Device &&
           info.st_ino == walk.Excluded->Inode;
}

void AddFolder(int parent, const std::string& folder, const char* name, const Walk& walk)
{
    if (walk.Stop && walk.Stop()) {
        return;
    }
    const bool recursive = walk.Recursive;
    const int fd = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (dir == nullptr) {
        walk.Failed(folder, SystemReason(errno));
        if (fd >= 0) {
            ::close(fd);
        }
        return;
    }
    struct Entry {
        std::string Name;
        bool Folder;
    };
    std::vector<Entry> entries;
    errno = 0;
    while (const dirent* e = ::readdir(dir)) {
        if (e->d_name[0] == '.') {
            continue;
        }
        unsigned char type = e->d_type;
        if (type == DT_UNKNOWN) {
            struct stat info { };
            if (::fstatat(fd, e->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
                continue;
            }
            type = S_ISDIR(info.st_mode)   ? DT_DIR
                   : S_ISLNK(info.st_mode) ? DT_LNK
                   : S_ISREG(info.st_mode) ? DT_REG
                                           : DT_UNKNOWN;
        }
        if (type == DT_LNK) {
            // A link counts when it leads to a regular file; links to folders are not followed, so a
            // loop cannot trap the walk.
            struct stat info { };
            if (::fstatat(fd, e->d_name, &info, 0) != 0 || !S_ISREG(info.st_mode)) {
                continue;
            }
            type = DT_REG;
        }
        const WalkFilter* filter = walk.Filter;
        if ((type == DT_REG && !IsExcluded(walk, fd, e->d_name) &&
             (filter == nullptr || filter->TakesFile(e->d_name))) ||
            (type == DT_DIR && recursive && (filter == nullptr || filter->EntersFolder(e->d_name)))) {
            entries.push_back({e->d_name, type == DT_DIR});
        }
    }
    const int readError = errno;
    if (readError != 0) {
        ::closedir(dir);
        walk.Failed(folder, SystemReason(readError));
        return;
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.Name < b.Name; });
    for (const Entry& entry : entries) {
        const std::string path = Join(folder, entry.Name);
        if (entry.Folder) {
            AddFolder(fd, path, entry.Name.c_str(), walk);
        } else {
            walk.Found(path);
        }
    }
    ::closedir(dir);
}

} // namespace

bool WalkFilter::TakesFile(const char* name) const
{
    return (Include.empty() || MatchesAny(Include, name)) && !MatchesAny(Exclude, name);
}

bool WalkFilter::EntersFolder(const char* name) const
{
    return !MatchesAny(ExcludeDir, name);
}

void AddPath(const std::string& path, bool recursive, const FileFound& found, const ReadFailure& failed,
             const FileIdentity* excluded, const std::function<bool()>& stop, const WalkFilter* filter)
{
    std::error_code ignored;
    if (path != "-" && fs::is_directory(path, ignored)) {
        AddFolder(AT_FDCWD, path, path.c_str(), Walk{recursive, found, failed, excluded, stop, filter});
    } else {
        found(path); // one that cannot be read is reported when it is searched
    }
}

void AddPath(const std::string& path, bool recursive, std::vector<std::string>& files,
             const ReadFailure& failed)
{
    AddPath(
        path, recursive, [&files](std::string found) { files.push_back(std::move(found)); }, failed);
}

bool ReadListFile(const std::string& path, std::vector<std::string>& paths, const ReadFailure& failed)
{
    LineReader reader;
    std::string reason;
    if (!reader.Open(path == "-" ? "/dev/stdin" : path, reason)) {
        failed(path, reason);
        return false;
    }
    std::string line;
    std::vector<std::string> found;
    while (!reader.AtEnd()) {
        reader.ReadUnixLine(line);
        if (!line.empty() && !reader.Failed()) {
            found.push_back(line);
        }
    }
    if (reader.Failed()) {
        failed(path, reader.FailReason());
        return false;
    }
    paths.insert(paths.end(), found.begin(), found.end());
    return true;
}
