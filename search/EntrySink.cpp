#include "search/EntrySink.h"

void EntrySink::WriteLogEntries(std::string_view entries)
{
    // Texts never hold byte 13, so each one ends at the next; a piece after the last one is the
    // beginning of an entry that the next call goes on with.
    while (!entries.empty()) {
        const std::size_t end = entries.find('\r');
        if (end == std::string_view::npos) {
            FOpenEntry.append(entries);
            return;
        }
        if (FOpenEntry.empty()) {
            WriteLogLine(entries.substr(0, end));
        } else {
            FOpenEntry.append(entries.substr(0, end));
            std::string entry;
            entry.swap(FOpenEntry);
            WriteLogLine(entry);
        }
        entries.remove_prefix(end + 1);
    }
}
