// TForm1's file list: the only ways rows enter it, and the commands of the File List page.
#include "app/Unit1.h"

#include "app/gConsts.h"
#include "platform/Application.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>

namespace {

// "#,###,###,###": digits grouped in threes by the locale's separator; 0 gives an empty cell.
QString FormatSize(qint64 size)
{
    if (size <= 0) {
        return {};
    }
    const QString digits = QString::number(size);
    const QString separator = QLocale::system().groupSeparator();
    QString text;
    for (qsizetype i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            text += separator;
        }
        text += digits[i];
    }
    return text;
}

// CR LF, LF alone and CR alone all end a line.
QStringList SplitLines(const QByteArray& bytes)
{
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' || bytes[i] == '\n') {
            lines << QString::fromLocal8Bit(bytes.mid(start, i - start));
            if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
                ++i;
            }
            start = i + 1;
        }
    }
    if (start < bytes.size()) {
        lines << QString::fromLocal8Bit(bytes.mid(start));
    }
    return lines;
}

} // namespace

void TForm1::AddFile(const QString& Path)
{
    if (Path.isEmpty()) {
        return;
    }
    // Non-blocking, so that a named pipe in the list cannot hang the window here.
    const int fd = ::open(Path.toLocal8Bit().constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        ::close(fd);
        return;
    }
    try {
        TListItem* item = FileList->Add();
        item->setText(1, FormatSize(info.st_size));
        item->setText(0, Path);
        FileList->SetImageIndex(item, 0);
    } catch (...) {
        // A row that could not be completed is no reason to stop adding the others.
    }
    ::close(fd);
}

void TForm1::FileListDragDropFiles(const QStringList& FileList)
{
    for (const QString& path : FileList) {
        AddFile(path);
    }
    UpdateSearchAfterListChange();
}

void TForm1::LoadList(const QString& FileName)
{
    FileList->Clear();
    QFile file(FileName);
    if (QFileInfo(FileName).isDir() || !file.open(QIODevice::ReadOnly)) {
        throw std::runtime_error(
            QStringLiteral("Cannot open file %1").arg(QFileInfo(FileName).absoluteFilePath()).toLocal8Bit().toStdString());
    }
    FileListDragDropFiles(SplitLines(file.readAll()));
}

void TForm1::SaveList(const QString& FileName)
{
    QByteArray bytes;
    for (int i = 0; i < FileList->Count(); ++i) {
        bytes += FileList->Item(i)->text(0).toLocal8Bit() + "\r\n";
    }
    QFile file(FileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        throw std::runtime_error(QStringLiteral("Cannot create file %1")
                                     .arg(QFileInfo(FileName).absoluteFilePath())
                                     .toLocal8Bit()
                                     .toStdString());
    }
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        throw std::runtime_error(QStringLiteral("Unable to write to %1")
                                     .arg(QFileInfo(FileName).absoluteFilePath())
                                     .toLocal8Bit()
                                     .toStdString());
    }
}

void TForm1::CmdOpenClick()
{
    if (!OpenDialog1.Execute()) {
        return;
    }
    PageControl1->setCurrentWidget(TabSheet2);
    FileListDragDropFiles(OpenDialog1.Files);
    const bool canSearch = HasSearchString1();
    CmdSearch->setEnabled(canSearch);
    mStart->setEnabled(canSearch);
}

void TForm1::cmdFLDeleteClick()
{
    while (TListItem* item = FileList->Selected()) {
        FileList->Delete(item);
    }
    UpdateSearchAfterListChange();
}

void TForm1::cmdFLClearClick()
{
    FileList->Clear();
    SetSearchCommand(false);
}

void TForm1::cmdFLSaveClick()
{
    SaveList(ProgramFile(gConsts::FileListExtension));
}

void TForm1::cmdFLLoadClick()
{
    const QString listFile = ProgramFile(gConsts::FileListExtension);
    if (!QFileInfo::exists(listFile)) {
        MessageBox(QStringLiteral("You have not saved a file list yet."), Application::Title(), MB_OK | MB_ICONHAND);
        return;
    }
    LoadList(listFile);
}
