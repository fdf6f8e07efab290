// The window's command line (arguments separated by byte 0) as it fills the file list and the
// search fields and starts a search, on the scripted dialog service, in a folder with a few real
// files (a.txt, b.log, c.log, a list file, a folder) that arguments and patterns can name.
// Every row the list ends with must be a regular file.
//
// Rate: each execution builds and closes the whole main window and may run a search on its thread;
// that is a few hundred executions a second at most, far from a million a minute.
#include "app/Unit1.h"
#include "platform/GuiDispatcher.h"
#include "tests/support/ScriptedDialogs.h"

#include <QFile>

#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "FuzzApplication.h"

namespace {

QString ProgramPath;

bool IsRegularFile(const QString& path)
{
    struct stat info { };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

void Put(const char* name, const char* text)
{
    fuzz::WriteFile(name, reinterpret_cast<const std::uint8_t*>(text), std::strlen(text));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    fuzz::StartApplication();
    const std::filesystem::path& folder = fuzz::Folder();
    std::filesystem::create_directories(folder / "d.log");
    Put("a.txt", "alpha\r\nbeta\r\n");
    Put("b.log", "beta\ngamma\n");
    Put("c.log", "");
    Put("list.lst", "a.txt\r\nb.log\r\nmissing\r\nd.log\r\n");
    fuzz::EnterFolder(argc, argv);
    ProgramPath = QString::fromStdString((folder / "bin" / "sifton").string());
    std::filesystem::create_directories(folder / "bin");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QList<QByteArray> bytes{QByteArray()};
    for (std::size_t i = 0; i < size && bytes.size() <= 6; ++i) {
        if (data[i] == 0) {
            bytes.append(QByteArray());
        } else {
            bytes.back() += static_cast<char>(data[i]);
        }
    }
    QStringList arguments;
    for (const QByteArray& argument : bytes) {
        // Paths stay inside the folder: a pattern like /proc/* would list files whose reading never ends.
        const QByteArray upper = argument.toUpper();
        if (argument.contains('/') && upper != "/GO" && upper != "/LIST") {
            return -1;
        }
        arguments.append(QString::fromLocal8Bit(argument));
    }
    static TScriptedDialogs dialogs;
    dialogs.Messages.clear();
    auto* form = new TForm1(arguments, ProgramPath);
    WaitProcessingEvents([&] { return form->SearchThread == nullptr; });
    for (int i = 0; i < form->FileCount(); ++i) {
        if (!IsRegularFile(form->FileNameAt(i))) {
            fuzz::Fail("a row that is not a regular file: " + form->FileNameAt(i).toStdString());
        }
    }
    form->close();
    delete form;
    return 0;
}
