#pragma once

#include "controls/qvthreads.h"
#include "search/SearchRun.h"

#include <QString>

#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class TForm1;

/// One search run on its own thread. It waits for the GUI thread only where the window must answer
/// or a person must decide: the start (the list and the options are taken in one step), the boxes,
/// the save prompt and the end. What the run merely shows (status texts, caption, title) is published
/// to the window's TRunDisplay and never waits.
class TSearchThread final : public TQvThread, private SearchHost {
public:
    explicit TSearchThread(bool CreateSuspended);
    ~TSearchThread() override;

    TForm1* Form{nullptr}; // the window served; set by the creator before Resume

    /// How many unreadable files the end-of-run box names in its text; its details list every one.
    static constexpr std::size_t ListedFailures = 20;

protected:
    void Run() override;

private:
    struct TRunSetup {
        SearchInputs Inputs;
        std::string Separator;
    };

    std::optional<TRunSetup> BeginRun(bool& Started);
    void EndRun() noexcept;
    void LoadResultLog();
    void ShowFailedFiles();
    void SetCommands(bool Searching);
    SearchInputs TakeInputs() const;
    void KeepError() noexcept;
    template <class F>
    void Step(F&& fn) noexcept;

    // SearchHost: called by the walk; none of them waits for the window.
    void SetStatusText(int panel, const std::string& text) override;
    void SetCaption(const std::string& caption) override;
    void ShowCaptionAsTitle() override;
    std::int64_t FileCount() override;
    std::optional<std::string> FileName(std::int64_t index) override;
    void FileFailed(const std::string& fileName, const std::string& reason) override;
    /// Counted for the status bar's summary at the end, never a box of its own.
    void FileSkipped(const std::string& fileName, const std::string& reason) override;
    void FileEntriesBegin(std::int64_t index, const std::string& fileName) override;
    /// Never: the list names files, and a path that has become a FIFO or a device must be reported,
    /// not waited for.
    bool MayReadAnyFile(const std::string& fileName) override;

    // The paths listed when the run started: filled on the GUI thread before the walk, then only read.
    // Edits of the list during the run change the list shown and the next run, never this one.
    std::vector<std::string> FFiles;
    bool FPromptForSave{false}; // this thread
    std::mutex FFailedLock;
    std::vector<std::pair<std::string, std::string>> FFailedFiles; // guarded by FFailedLock
    std::vector<std::pair<std::string, std::string>> FSkippedFiles; // guarded by FFailedLock
    // The first error of the run, shown after the pane is loaded. Written by this thread or by the
    // GUI thread while this one waits for it, so the two never touch it at once.
    QString FRunError;
    // Where the run's entries begin in the log, and how many lines it reported: written by this thread
    // in Run, read on the GUI thread once Run has returned.
    std::int64_t FRunStart{0};
    std::uint64_t FRunClears{0};
    std::int64_t FLinesFound{0};
};
