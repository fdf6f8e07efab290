#include "app/FolderWalk.h"

#include <QFile>
#include <QStringList>

#include <algorithm>
#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

namespace {

std::vector<std::string> VisibleNames(const std::string& folder)
{
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.' && entry->d_name[0] != '\0') {
            names.emplace_back(entry->d_name);
        }
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::string Join(const std::string& folder, const std::string& name)
{
    return folder.ends_with('/') ? folder + name : folder + '/' + name;
}

} // namespace

TNameFilter::TNameFilter(const QString& Masks)
{
    for (const QString& piece : Masks.split(QLatin1Char(';'))) {
        const QString mask = piece.trimmed();
        if (mask.isEmpty()) {
            continue;
        }
        if (mask == QLatin1String("*") || mask == QLatin1String("*.*")) {
            // Every file, also one without an extension: the filter as a whole takes everything.
            FMasks.clear();
            return;
        }
        FMasks.push_back(QFile::encodeName(mask).toStdString());
    }
}

bool TNameFilter::Matches(const std::string& Name) const
{
    if (FMasks.empty()) {
        return true;
    }
    return std::any_of(FMasks.begin(), FMasks.end(), [&](const std::string& mask) {
        return ::fnmatch(mask.c_str(), Name.c_str(), FNM_CASEFOLD) == 0;
    });
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
    levels.push_back({root, VisibleNames(root)});
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
            if (IncludeSubfolders) {
                std::vector<std::string> names = VisibleNames(path);
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
