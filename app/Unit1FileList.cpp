// The "File List" page of TForm1: how rows enter and leave FileList, and the file-list file.
#include "app/FolderWalk.h"
#include "app/Unit1.h"
#include "app/gConsts.h"
#include "platform/Application.h"
#include "platform/Dialogs.h"
#include "platform/ErrorGuard.h"
#include "search/RunFlags.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <optional>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int FileImage = 0;

// "#,###,###,###": groups of three digits with the locale's separator; nothing at all for 0.
QString FormatFileSize(std::int64_t size)
{
    if (size <= 0) {
        return QString();
    }
    const QString digits = QString::number(size);
    const QString separator = QLocale().groupSeparator();
    QString text;
    for (qsizetype i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            text += separator;
        }
        text += digits.at(i);
    }
    return text;
}

// The length of a file that can be opened for reading, or nothing. Only regular files count: a pipe
// or a device would block or never end when the search reads it.
std::optional<std::int64_t> ReadableFileLength(const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    if (name.isEmpty()) {
        return std::nullopt;
    }
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    struct stat info { };
    const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    ::close(fd);
    if (!regular) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(info.st_size);
}

// A list of a million long paths is far below this; anything larger is not a list the user made.
constexpr std::int64_t ListFileLimit = std::int64_t{64} << 20;

// The bytes of a list file. It is opened without waiting (a FIFO would hold the window in open()), and
// only a regular file is read, at most ListFileLimit bytes of it (a device may never end).
QByteArray ReadListFile(const QString& FileName)
{
    const std::string fullPath = QFileInfo(FileName).absoluteFilePath().toStdString();
    const int fd = ::open(QFile::encodeName(FileName).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info { };
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        if (fd >= 0) {
            ::close(fd);
        }
        throw std::runtime_error("Cannot open file " + fullPath);
    }
    const auto tooLarge = [&] {
        ::close(fd);
        return std::runtime_error("Cannot load the file list " + fullPath + ": it is larger than 64 MiB");
    };
    if (info.st_size > ListFileLimit) {
        throw tooLarge();
    }
    // The size may change while it is read: one byte more than the limit tells a file that grew past it.
    QByteArray bytes(qsizetype(info.st_size) + 1, Qt::Uninitialized);
    qsizetype done = 0;
    while (true) {
        if (done == bytes.size()) {
            if (done > ListFileLimit) {
                throw tooLarge();
            }
            bytes.resize(std::min<qsizetype>(bytes.size() * 2, ListFileLimit + 1));
        }
        const ssize_t got = ::read(fd, bytes.data() + done, std::size_t(bytes.size() - done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            ::close(fd);
            throw std::runtime_error("Cannot open file " + fullPath);
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    ::close(fd);
    bytes.truncate(done);
    return bytes;
}

// Lines ended by CR LF, LF or CR; a last line without an end still counts.
QStringList SplitLines(const QByteArray& bytes)
{
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes.at(i);
        if (c != '\r' && c != '\n') {
            continue;
        }
        lines.append(QString::fromLocal8Bit(bytes.mid(start, i - start)));
        if (c == '\r' && i + 1 < bytes.size() && bytes.at(i + 1) == '\n') {
            ++i;
        }
        start = i + 1;
    }
    if (start < bytes.size()) {
        lines.append(QString::fromLocal8Bit(bytes.mid(start)));
    }
    return lines;
}

// The Search command after a change of the list. A running search owns that state until it ends.
void UpdateSearchForFileList(TForm1& form)
{
    if (form.SearchThread == nullptr) {
        form.UpdateSearchAfterListChange();
    }
}

} // namespace

// ---- file-list page ---------------------------------------------------------------------------------

void TForm1::AddFile(const QString& Path)
{
    try {
        const std::optional<std::int64_t> length = ReadableFileLength(Path);
        if (!length) {
            return;
        }
        // Filled before it is appended, so the search never reads a row without its name.
        auto* item = new QTreeWidgetItem();
        item->setText(0, Path);
        item->setText(1, FormatFileSize(*length));
        FileList->SetImageIndex(item, FileImage);
        FileList->addTopLevelItem(item);
    } catch (...) {
        // A file that cannot be listed is simply missing from the list.
    }
}

void TForm1::FileListDragDropFiles(const QStringList& FileList)
{
    for (const QString& path : FileList) {
        AddFile(path);
    }
    UpdateSearchForFileList(*this);
}

void TForm1::LoadList(const QString& FileName)
{
    FileList->Clear();
    QByteArray bytes;
    try {
        bytes = ReadListFile(FileName);
    } catch (...) {
        // The list is already empty; Search must say so too.
        UpdateSearchForFileList(*this);
        throw;
    }
    FileListDragDropFiles(SplitLines(bytes));
}

void TForm1::SaveList(const QString& FileName)
{
    QByteArray bytes;
    for (int i = 0; i < FileList->Count(); ++i) {
        bytes += QFile::encodeName(FileList->Item(i)->text(0));
        bytes += "\r\n";
    }
    const QFileInfo target(FileName);
    const std::string fullPath = target.absoluteFilePath().toStdString();
    if (target.isDir()) {
        throw std::runtime_error("Cannot create file " + fullPath);
    }
    if (!target.exists() || target.isFile()) {
        // A new copy beside the old one, then a rename: a full disk or a crash halfway never leaves
        // half a list, and the old list stays as it was.
        QSaveFile file(FileName);
        if (!file.open(QIODevice::WriteOnly)) {
            throw std::runtime_error("Cannot create file " + fullPath);
        }
        if (file.write(bytes) != bytes.size() || !file.commit()) {
            throw std::runtime_error("Unable to write to " + fullPath);
        }
        return;
    }
    // A device cannot be replaced; it is written to in place. A FIFO would hold the window in open()
    // until a reader came, or in write() while none reads.
    struct stat info { };
    if (::stat(QFile::encodeName(FileName).constData(), &info) != 0 || S_ISFIFO(info.st_mode) ||
        S_ISSOCK(info.st_mode)) {
        throw std::runtime_error("Cannot create file " + fullPath);
    }
    QFile file(FileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        throw std::runtime_error("Cannot create file " + fullPath);
    }
    // A full disk must not pass for a saved list.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        throw std::runtime_error("Unable to write to " + fullPath);
    }
    file.close();
    if (file.error() != QFileDevice::NoError) {
        throw std::runtime_error("Unable to write to " + fullPath);
    }
}

// ---- commands ---------------------------------------------------------------------------------------

void TForm1::CmdOpenClick()
{
    if (!OpenDialog1.Execute()) {
        return;
    }
    PageControl1->setCurrentWidget(TabSheet2);
    FileListDragDropFiles(OpenDialog1.Files);
    if (SearchThread == nullptr) {
        // After the dialog the Start entry follows string 1 alone; the Search menu keeps its state.
        CmdSearch->setEnabled(HasSearchString1());
        mStart->setEnabled(HasSearchString1());
    }
}

void TForm1::cmdFLAddFolderClick()
{
    if (FAddingFolder) {
        FStopAddingFolder = true;
        return;
    }
    if (!FolderDialog1.Execute()) {
        return;
    }
    PageControl1->setCurrentWidget(TabSheet2);
    const TFolderChoice& choice = FolderDialog1.Choice;
    AddFolder(choice.Folder, choice.IncludeSubfolders, choice.Filter, choice.Exclude, choice.SkipHidden);
}

bool TForm1::AddFolder(const QString& Folder, bool IncludeSubfolders, const QString& Filter,
                       const QString& Exclude, bool SkipHidden)
{
    if (FAddingFolder) {
        return false; // one walk at a time; a second one would interleave its rows with the first's
    }
    FAddingFolder = true;
    FStopAddingFolder = false;
    const QString addCaption = cmdFLAddFolder->text();
    const QString addItem = AddFolder1->text();
    cmdFLAddFolder->setText(QStringLiteral("Stop"));
    AddFolder1->setText(QStringLiteral("Stop Adding Folder"));
    Application::SetCursor(crHourGlass);
    const auto restore = [&] {
        cmdFLAddFolder->setText(addCaption);
        AddFolder1->setText(addItem);
        // A search that started meanwhile keeps its own cursor.
        Application::SetCursor(SearchRunning ? crAppStart : crDefault);
        FAddingFolder = false;
        UpdateSearchForFileList(*this);
    };
    bool finished = false;
    try {
        QElapsedTimer sinceEvents;
        sinceEvents.start();
        int entries = 0;
        const TNameFilter filter(Filter, Exclude, SkipHidden);
        finished = WalkFolder(
            Folder, IncludeSubfolders, filter, [this](const QString& Path) { AddFile(Path); },
            [&] {
                // A tree of many thousand files takes a while: rows appear, the window stays live and
                // the Stop button can be pressed.
                if (++entries % 256 == 0 || sinceEvents.elapsed() >= 40) {
                    Application::ProcessMessages();
                    sinceEvents.restart();
                }
                return FStopAddingFolder;
            });
    } catch (...) {
        restore();
        throw;
    }
    restore();
    return finished;
}

void TForm1::FileListDropWithSubfolders(const QStringList& Paths)
{
    // The drop itself ends first: a long walk inside the drop would keep the file manager waiting.
    QTimer::singleShot(0, this, Guard([this, Paths] {
                           for (const QString& path : Paths) {
                               if (QFileInfo(path).isDir()) {
                                   if (!AddFolder(path, true, QString())) {
                                       break;
                                   }
                               } else {
                                   AddFile(path);
                               }
                           }
                           UpdateSearchForFileList(*this);
                       }));
}

void TForm1::cmdFLDeleteClick()
{
    // The first selected row goes first, as often as rows stay selected; collected once, not per row.
    QList<QTreeWidgetItem*> doomed;
    for (int i = 0; i < FileList->Count(); ++i) {
        if (FileList->Item(i)->isSelected()) {
            doomed.append(FileList->Item(i));
        }
    }
    // Dropping the selection first spares the selection model a range update per deleted row.
    FileList->clearSelection();
    for (QTreeWidgetItem* item : doomed) {
        FileList->Delete(item);
    }
    UpdateSearchForFileList(*this);
}

void TForm1::cmdFLClearClick()
{
    FileList->Clear();
    if (SearchThread == nullptr) {
        SetSearchCommand(false);
    }
}

void TForm1::cmdFLSaveClick()
{
    SaveList(ProgramFile(gConsts::FileListExtension));
}

void TForm1::cmdFLLoadClick()
{
    const QString listFile = ProgramFile(gConsts::FileListExtension);
    if (!QFileInfo::exists(listFile)) {
        MessageBox(QStringLiteral("You have not saved a file list yet."), Application::Title(),
                   MB_OK | MB_ICONHAND);
        return;
    }
    LoadList(listFile);
}
