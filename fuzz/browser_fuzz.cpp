// The browser command taken from a desktop entry: an arbitrary file installed as the desktop's default
// browser, its Exec= line read without field codes, then cut down to the program.
//
// Rate: each execution writes the entry and looks it up through the file system; some thousands of
// executions a second, below a million a minute.
#include "app/urls.h"

#include <filesystem>

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const bool ready = [] {
        std::filesystem::create_directories(fuzz::Folder() / "applications");
        return true;
    }();
    (void)ready;
    fuzz::WriteFile("applications/fuzz-browser.desktop", data, size);

    TXdgFolders folders;
    folders.ConfigHome = QString::fromStdString((fuzz::Folder() / "config").string());
    folders.DataHome = QString::fromStdString(fuzz::Folder().string());
    const QString command =
        RegisteredBrowserCommand(folders, [] { return QStringLiteral("fuzz-browser.desktop"); });
    // Both ways a candidate path can go: named by the whole text, or only by its first word.
    for (const bool exists : {false, true}) {
        const QString program =
            CleanBrowserCommand(command, [&](const QString& path) { return exists && !path.contains(u' '); });
        if (!command.contains(program)) {
            fuzz::Fail("the program is not part of the command");
        }
    }
    return 0;
}
