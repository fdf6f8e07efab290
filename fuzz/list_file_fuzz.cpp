// The file-list file: an arbitrary file loaded into the window's file list, next to sifton-cli's
// --list reader on the same bytes. Both split lines the same way (CR LF, LF, CR), so the rows the
// window keeps must be exactly the listed names that are readable regular files, in order.
//
// The folder holds a few real files (a, b, c.log, d/e) and a folder, so that inputs can name them.
//
// Rate: every execution writes the list, and each named path is opened once by the window and once
// here; a few thousand executions a second, well below a million a minute.
#include "app/Unit1.h"
#include "cli/FileArgs.h"
#include "tests/support/ScriptedDialogs.h"

#include <QFile>

#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "FuzzApplication.h"

namespace {

TForm1* Form = nullptr;

// A name is used up to its first byte 0 when the file is opened; compare what was opened.
std::string Opened(std::string name)
{
    name.resize(std::strlen(name.c_str()));
    return name;
}

bool IsRegularFile(const std::string& path)
{
    struct stat info { };
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::StartApplication();
    const std::filesystem::path& folder = fuzz::Folder();
    std::filesystem::create_directories(folder / "d");
    for (const char* name : {"a", "b", "c.log", "d/e"}) {
        fuzz::WriteFile(name, reinterpret_cast<const std::uint8_t*>("x\n"), 2);
    }
    fuzz::EnterFolder(argc, argv);
    static TScriptedDialogs dialogs;
    Form = new TForm1(QStringList{}, QString::fromStdString((folder / "sifton").string()));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string list = fuzz::WriteFile("list.lst", data, size);
    Form->LoadList(QString::fromStdString(list));

    // The console's reader is the engine's line reader, for which byte 26 ends a file.
    if (std::memchr(data, 26, size) != nullptr) {
        return 0;
    }
    std::vector<std::string> paths;
    ReadListFile(list, paths,
                 [](const std::string&, const std::string&) { fuzz::Fail("the list is unreadable"); });
    std::vector<std::string> expected;
    for (const std::string& path : paths) {
        if (IsRegularFile(path)) {
            expected.push_back(Opened(path));
        }
    }
    std::vector<std::string> rows;
    for (int i = 0; i < Form->FileCount(); ++i) {
        rows.push_back(Opened(QFile::encodeName(Form->FileNameAt(i)).toStdString()));
    }
    if (rows != expected) {
        fuzz::Fail("the window keeps " + std::to_string(rows.size()) + " rows, the lines name " +
                   std::to_string(expected.size()) + " regular files");
    }
    return 0;
}
