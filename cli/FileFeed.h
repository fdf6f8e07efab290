#pragma once

#include "cli/FileArgs.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

/// The files of a console run, found on a thread of their own, so that the search reads the first
/// files while the folders are still walked instead of after the whole walk.
class FileFeed {
public:
    struct Sources {
        std::vector<std::string> Operands; // files and folders, in order
        std::vector<std::string> Lists; // list files, after the operands
        bool Recursive = false;
        WalkFilter Filter; // picks among the names folder walks find
        std::optional<FileIdentity> Excluded; // left out of folder walks
    };

    explicit FileFeed(Sources sources);
    FileFeed(const FileFeed&) = delete;
    FileFeed& operator=(const FileFeed&) = delete;
    ~FileFeed();

    /// Entry index, waiting for the walk to reach it; nothing once the walk has ended before it.
    std::optional<std::string> Name(std::int64_t index);
    /// The number of files once the walk is over; before that, one more than have been found, and at
    /// least two when two are known, so that a run can tell one file from many.
    std::int64_t Count();
    /// Hands the folders and list files that could not be read so far to failed, on the caller's thread.
    void ReportFailures(const ReadFailure& failed);
    /// Waits for the walk to end; with stop, ends it early first.
    void Finish(bool stop);

private:
    void Find(const Sources& sources);
    void Publish(bool done);

    std::mutex FLock;
    std::condition_variable FChanged;
    std::vector<std::string> FFiles; // guarded by FLock
    std::vector<std::pair<std::string, std::string>> FFailures; // guarded by FLock
    bool FDone = false; // guarded by FLock
    std::atomic<bool> FStop = false;
    std::atomic<bool> FFailed = false; // FFailures has entries: asked per file without the lock
    std::vector<std::string> FFound; // the walk's thread: found, not yet published
    std::thread FThread;
};
