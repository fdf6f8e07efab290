#include "cli/FileFeed.h"

#include "search/RunFlags.h"

#include <exception>

namespace {

// Found files are handed on in groups: one lock per group, not per file.
constexpr std::size_t PublishEvery = 128;

} // namespace

FileFeed::FileFeed(Sources sources)
    : FThread([this, sources = std::move(sources)] { Find(sources); })
{
}

FileFeed::~FileFeed()
{
    Finish(true);
}

void FileFeed::Find(const Sources& sources)
{
    const ReadFailure failed = [this](const std::string& path, const std::string& reason) {
        std::lock_guard guard(FLock);
        FFailures.emplace_back(path, reason);
        FFailed = true;
    };
    const FileFound found = [this](std::string path) {
        FFound.push_back(std::move(path));
        if (FFound.size() >= PublishEvery) {
            Publish(false);
        }
    };
    // Ctrl+C ends the walk too, so the run is not held waiting for folders it will never search.
    const std::function<bool()> stop = [this] { return FStop.load() || CancelRequested.load(); };
    const FileIdentity* excluded = sources.Excluded ? &*sources.Excluded : nullptr;
    try {
        for (const std::string& operand : sources.Operands) {
            if (stop()) {
                break;
            }
            AddPath(operand, sources.Recursive, found, failed, excluded, stop, &sources.Filter);
            // The first files reach the search at once: a run over a few named files waits for nothing.
            Publish(false);
        }
        for (const std::string& list : sources.Lists) {
            std::vector<std::string> listed;
            ReadListFile(list, listed, failed);
            for (const std::string& path : listed) {
                if (stop()) {
                    break;
                }
                AddPath(path, sources.Recursive, found, failed, excluded, stop, &sources.Filter);
            }
            Publish(false);
        }
    } catch (const std::exception& error) {
        // The files found so far are still searched; what ended the walk is reported with them.
        failed("file list", error.what());
    }
    Publish(true);
}

void FileFeed::Publish(bool done)
{
    std::lock_guard guard(FLock);
    if (FFiles.empty()) {
        FFiles.swap(FFound);
    } else {
        for (std::string& path : FFound) {
            FFiles.push_back(std::move(path));
        }
        FFound.clear();
    }
    FDone = FDone || done;
    FChanged.notify_all();
}

std::optional<std::string> FileFeed::Name(std::int64_t index)
{
    if (index < 0) {
        return std::nullopt;
    }
    std::unique_lock guard(FLock);
    FChanged.wait(guard, [&] { return FDone || static_cast<std::int64_t>(FFiles.size()) > index; });
    if (static_cast<std::int64_t>(FFiles.size()) <= index) {
        return std::nullopt;
    }
    return FFiles[static_cast<std::size_t>(index)];
}

std::int64_t FileFeed::Count()
{
    std::unique_lock guard(FLock);
    FChanged.wait(guard, [&] { return FDone || FFiles.size() >= 2; });
    const auto found = static_cast<std::int64_t>(FFiles.size());
    return FDone ? found : found + 1;
}

void FileFeed::ReportFailures(const ReadFailure& failed)
{
    if (!FFailed.load()) {
        return;
    }
    std::vector<std::pair<std::string, std::string>> failures;
    {
        std::lock_guard guard(FLock);
        failures.swap(FFailures);
        FFailed = false;
    }
    for (const auto& [path, reason] : failures) {
        failed(path, reason);
    }
}

void FileFeed::Finish(bool stop)
{
    if (stop) {
        FStop = true;
    }
    if (FThread.joinable()) {
        FThread.join();
    }
}
