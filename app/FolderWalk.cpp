#include "app/FolderWalk.h"

#include <QFile>
#include <QStringList>

#include <algorithm>
#include <dirent.h>
#include <fnmatch.h>
#include <string_view>
#include <sys/stat.h>

namespace {

std::vector<std::string> VisibleNames(const std::string& folder, bool skipHidden)
{
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name.empty() || name == "." || name == ".." || (skipHidden && name.front() == '.')) {
            continue;
        }
        names.emplace_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::string Join(const std::string& folder, const std::string& name)
{
    return folder.ends_with('/') ? folder + name : folder + '/' + name;
}

std::vector<std::string> SplitMasks(const QString& masks)
{
    std::vector<std::string> split;
    for (const QString& piece : masks.split(QLatin1Char(';'))) {
        const QString mask = piece.trimmed();
        if (!mask.isEmpty()) {
            split.push_back(QFile::encodeName(mask).toStdString());
        }
    }
    return split;
}

bool MatchesAny(const std::vector<std::string>& masks, const std::string& name)
{
    return std::any_of(masks.begin(), masks.end(), [&](const std::string& mask) {
        return ::fnmatch(mask.c_str(), name.c_str(), FNM_CASEFOLD) == 0;
    });
}

} // namespace

TNameFilter::TNameFilter(const QString& Masks, const QString& Excludes, bool SkipHidden)
    : FMasks(SplitMasks(Masks))
    , FExcludes(SplitMasks(Excludes))
    , FSkipHidden(SkipHidden)
{
    // Every file, also one without an extension: the masks as a whole take everything.
    if (std::any_of(FMasks.begin(), FMasks.end(),
                    [](const std::string& m) { return m == "*" || m == "*.*"; })) {
        FMasks.clear();
    }
}

bool TNameFilter::Matches(const std::string& Name) const
{
    return (FMasks.empty() || MatchesAny(FMasks, Name)) && !MatchesAny(FExcludes, Name);
}

bool TNameFilter::Enters(const std::string& Name) const
{
    return !MatchesAny(FExcludes, Name);
}

bool WalkFolder(const QString& Folder, bool IncludeSubfolders, const TNameFilter& Filter,
                const std::function<void(const QString& Path)>& OnFile, const std::function<bool()>& Stop)
{
    std::string root = QFile::encodeName(Folder).toStdString();
    while (root.size() > 1 && root.ends_with('/')) {
        root.pop_back();
    }
    struct Level {
        std::string Folder;
        std::vector<std::string> Names;
        std::size_t Next = 0;
    };
    // A stack of its own instead of recursion: a very deep tree cannot exhaust the thread's stack.
    std::vector<Level> levels;
    levels.push_back({root, VisibleNames(root, Filter.SkipsHidden())});
    while (!levels.empty()) {
        Level& level = levels.back();
        if (level.Next == level.Names.size()) {
            levels.pop_back();
            continue;
        }
        if (Stop && Stop()) {
            return false;
        }
        const std::string& name = level.Names[level.Next++];
        std::string path = Join(level.Folder, name);
        struct stat info { };
        if (::lstat(path.c_str(), &info) != 0) {
            continue;
        }
        if (S_ISDIR(info.st_mode)) {
            if (IncludeSubfolders && Filter.Enters(name)) {
                std::vector<std::string> names = VisibleNames(path, Filter.SkipsHidden());
                levels.push_back({std::move(path), std::move(names)}); // invalidates level
            }
            continue;
        }
        if (S_ISLNK(info.st_mode) && ::stat(path.c_str(), &info) != 0) {
            continue; // a dangling link
        }
        if (S_ISREG(info.st_mode) && Filter.Matches(name)) {
            OnFile(QFile::decodeName(QByteArray::fromStdString(path)));
        }
    }
    return true;
}
