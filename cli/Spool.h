#pragma once

#include <map>
#include <mutex>
#include <string>

/// Copies of the inputs that can be read only once (standard input or a FIFO that is a pipe), so that
/// the lines around a reported line can be read again for context. A pipe is copied to its end before
/// it is searched; a file, a terminal or another device is read where it is.
class SpoolFiles {
public:
    SpoolFiles() = default;
    ~SpoolFiles();
    SpoolFiles(const SpoolFiles&) = delete;
    SpoolFiles& operator=(const SpoolFiles&) = delete;

    /// The path to read instead of path: the copy's for a pipe (made the first time it is asked for),
    /// path itself otherwise, or when no copy can be made. Any thread.
    std::string PathFor(const std::string& path);

private:
    std::mutex FLock;
    std::map<std::string, int> FCopies; // guarded by FLock; the open, unnamed copy of each pipe
};
