#include "cli/FileArgs.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "search/LineReader.h"

namespace fs = std::filesystem;

namespace {

std::string Join(const std::string& folder, const std::string& name)
{
    return folder.ends_with('/') ? folder + name : folder + "/" + name;
}

void AddFolder(const std::string& folder, bool recursive, std::vector<std::string>& files, const ReadFailure& failed)
{
    std::error_code error;
    std::vector<std::string> names;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (!name.starts_with('.')) {
            names.push_back(name);
        }
    }
    if (error) {
        failed(folder, error.message());
        return;
    }
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string path = Join(folder, name);
        std::error_code ignored;
        const fs::file_status linkStatus = fs::symlink_status(path, ignored);
        if (fs::is_directory(linkStatus)) {
            // Symbolic links to folders are not followed, so a loop cannot trap the walk.
            if (recursive) {
                AddFolder(path, recursive, files, failed);
            }
        } else if (fs::is_regular_file(fs::status(path, ignored))) {
            files.push_back(path);
        }
    }
}

} // namespace

void AddPath(const std::string& path, bool recursive, std::vector<std::string>& files, const ReadFailure& failed)
{
    std::error_code ignored;
    if (path != "-" && fs::is_directory(path, ignored)) {
        AddFolder(path, recursive, files, failed);
    } else {
        files.push_back(path); // one that cannot be read is reported when it is searched
    }
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
