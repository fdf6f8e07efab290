#include "tests/support/EngineDoubles.h"

#include "search/RunFlags.h"

void MemorySink::WriteLogLine(std::string_view text)
{
    Bytes.append(text);
    Bytes += '\r';
}

void MemorySink::WriteLogEntries(std::string_view entries)
{
    Bytes.append(entries);
}

void MemorySink::DropOpenEntry()
{
    Bytes.erase(Bytes.rfind('\r') + 1);
}

void RecordingHost::Record(std::string call)
{
    Calls.push_back(std::move(call));
    if (static_cast<int>(Calls.size()) == CancelAtCall) {
        CancelRequested = true;
    }
}

void RecordingHost::SetStatusText(int panel, const std::string& text)
{
    Record(std::to_string(panel) + "|" + text);
    if (++FStatuses == CancelAtStatus) {
        CancelRequested = true;
    }
    if (OnStatus) {
        OnStatus(text);
    }
}

void RecordingHost::SetCaption(const std::string& caption)
{
    Record("caption|" + caption);
}

void RecordingHost::ShowCaptionAsTitle()
{
    if (TitleShown) {
        Record("title");
    }
    if (OnTitle) {
        OnTitle();
    }
}

std::int64_t RecordingHost::FileCount()
{
    return static_cast<std::int64_t>(Files.size());
}

std::optional<std::string> RecordingHost::FileName(std::int64_t index)
{
    if (index < 0 || index >= FileCount()) {
        return std::nullopt;
    }
    return Files[static_cast<std::size_t>(index)];
}

void RecordingHost::FileFailed(const std::string& fileName, const std::string& reason)
{
    Record("failed|" + fileName + "|" + reason);
}

void RecordingHost::FileSkipped(const std::string& fileName, const std::string& reason)
{
    Record("skipped|" + fileName + "|" + reason);
}

std::string RecordingHost::PathToOpen(const std::string& fileName)
{
    if (OnOpen) {
        OnOpen(fileName);
    }
    return OpenAs.empty() ? fileName : OpenAs;
}

bool RecordingHost::MayReadAnyFile(const std::string&)
{
    return AnyKind;
}

void RecordingHost::FileEntriesBegin(std::int64_t index, const std::string& fileName)
{
    if (OnFileEntries) {
        OnFileEntries(index, fileName);
    }
}

std::vector<std::string> RecordingHost::Only(char prefix) const
{
    std::vector<std::string> calls;
    for (const std::string& call : Calls) {
        if (!call.empty() && call[0] == prefix) {
            calls.push_back(call);
        }
    }
    return calls;
}

std::vector<std::string> RecordingHost::Failures() const
{
    const std::string prefix = "failed|";
    std::vector<std::string> failures;
    for (const std::string& call : Calls) {
        if (call.rfind(prefix, 0) == 0) {
            failures.push_back(call.substr(prefix.size()));
        }
    }
    return failures;
}
