#pragma once

#include "search/EntrySink.h"
#include "search/SearchRun.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// The result log of engine tests: every byte a run writes, each entry its text and byte 13. Entries
/// are taken as they come, so that a missing or extra byte 13 shows; an entry left open is taken
/// back, as the window's log takes it back.
class MemorySink final : public EntrySink {
public:
    std::string Bytes;

    void WriteLogLine(std::string_view text) override;
    void WriteLogEntries(std::string_view entries) override;
    void DropOpenEntry() override;
};

/// The host of engine tests: answers from a list of files and records every call it is told of as
/// one text, in order: "<panel>|<text>", "caption|<caption>", "title", "failed|<name>|<reason>",
/// "skipped|<name>|<reason>".
/// Hooks let a test act at a given moment of the run.
class RecordingHost : public SearchHost {
public:
    std::vector<std::string> Files;
    std::vector<std::string> Calls;
    /// Raises the cancel request once this many calls are recorded (any kind), or this many status
    /// texts; -1 never.
    int CancelAtCall = -1;
    int CancelAtStatus = -1;
    /// What MayReadAnyFile answers.
    bool AnyKind = true;
    /// What ShowsTitle answers; when false (a console), the title steps are not recorded either.
    bool TitleShown = true;
    /// The path to open instead of every name, when set.
    std::string OpenAs;
    std::function<void(const std::string& text)> OnStatus;
    /// Told of each periodic status update (the title step), on the run's thread.
    std::function<void()> OnTitle;
    /// Told of each name about to be opened, on any thread.
    std::function<void(const std::string& fileName)> OnOpen;
    std::function<void(std::int64_t index, const std::string& fileName)> OnFileEntries;

    void SetStatusText(int panel, const std::string& text) override;
    void SetCaption(const std::string& caption) override;
    void ShowCaptionAsTitle() override;
    bool ShowsTitle() const override { return TitleShown; }
    std::int64_t FileCount() override;
    std::optional<std::string> FileName(std::int64_t index) override;
    void FileFailed(const std::string& fileName, const std::string& reason) override;
    void FileSkipped(const std::string& fileName, const std::string& reason) override;
    std::string PathToOpen(const std::string& fileName) override;
    bool MayReadAnyFile(const std::string& fileName) override;
    void FileEntriesBegin(std::int64_t index, const std::string& fileName) override;

    /// The calls that begin with prefix.
    std::vector<std::string> Only(char prefix) const;
    /// The failures reported, as "<name>|<reason>".
    std::vector<std::string> Failures() const;

private:
    void Record(std::string call);
    int FStatuses = 0;
};
