#pragma once

#include "controls/qvthreads.h"
#include "search/SearchRun.h"

#include <QString>

#include <string>
#include <utility>
#include <vector>

class TForm1;

/// One search run on its own thread: takes the request from the window, walks the file list and hands
/// every window operation to the GUI thread, in order, waiting for each.
class TSearchThread final : public TQvThread, private SearchHost
{
public:
    explicit TSearchThread(bool CreateSuspended);
    ~TSearchThread() override;

    TForm1* Form{nullptr}; // the window served; set by the creator before Resume

protected:
    void Run() override;

private:
    void LoadResultLog();
    SearchInputs TakeInputs() const;
    void SetCommands(bool Searching);

    // SearchHost: called on this thread by the walk.
    void SetStatusText(int panel, const std::string& text) override;
    void SetCaption(const std::string& caption) override;
    void ShowCaptionAsTitle() override;
    std::int64_t FileCount() override;
    std::optional<std::string> FileName(std::int64_t index) override;
    void FileFailed(const std::string& fileName, const std::string& reason) override;

    std::vector<std::pair<std::string, std::string>> FFailedFiles; // this thread only, until LoadResultLog
    QString FRunError; // an error that ended the walk early; shown after the pane is loaded
};
