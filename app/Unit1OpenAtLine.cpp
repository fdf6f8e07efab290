// TForm1's Open at Line: double-click, Enter or the context menu on a line of the output pane opens the
// file it came from in the user's editor at that line.
#include "app/Settings.h"
#include "app/Unit1.h"
#include "app/editor.h"
#include "app/gConsts.h"
#include "platform/ErrorGuard.h"
#include "search/Decoding.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QTextBlock>
#include <QTextDocument>

#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

void TForm1::ConnectOpenAtLine()
{
    OpenAtLine1 = new QAction(QStringLiteral("Open at Line"), this);
    OpenAtLine1->setObjectName(QStringLiteral("OpenAtLine1"));
    OpenAtLine1->setStatusTip(QStringLiteral("Open the file of this line in your editor, at the line."));
    QAction* separator = PUEdit->addSeparator();
    PUEdit->addAction(OpenAtLine1);
    connect(OpenAtLine1, &QAction::triggered, this, Guard([this] { OpenAtLine1Click(); }));
    // The menu is shared with the two search fields, which have no lines to open.
    connect(PUEdit, &QMenu::aboutToShow, this, [this, separator] {
        const bool onViewer = PUEdit->property("PopupComponent").value<QObject*>() == Viewer;
        separator->setVisible(onViewer);
        OpenAtLine1->setVisible(onViewer);
        const std::optional<TSource> source =
            onViewer ? SourceIndex.SourceOfLine(FPopupLine, false) : std::nullopt;
        OpenAtLine1->setEnabled(source && source->Kind != TSource::TKind::NewSearch);
    });

    // An edit of the pane moves its lines away from the log's entries. Loading the pane changes it too,
    // but the index learns the new lines right after that.
    QTextDocument* document = Viewer->document();
    connect(document, &QTextDocument::blockCountChanged, this, [this] { SourceIndex.PaneChanged(); });
    connect(document, &QTextDocument::contentsChange, this, [this](int, int removed, int added) {
        if (removed != added) {
            SourceIndex.PaneChanged();
        }
    });

    Viewer->installEventFilter(this);
    Viewer->viewport()->installEventFilter(this);
}

bool TForm1::ViewerOpenEvent(QObject* Watched, QEvent* Event)
{
    if (Watched != Viewer && Watched != Viewer->viewport()) {
        return false;
    }
    int line = -1;
    switch (Event->type()) {
    case QEvent::MouseButtonDblClick: {
        const auto* mouse = static_cast<QMouseEvent*>(Event);
        if (Watched != Viewer->viewport() || mouse->button() != Qt::LeftButton ||
            mouse->modifiers() != Qt::NoModifier) {
            return false;
        }
        line = Viewer->cursorForPosition(mouse->position().toPoint()).blockNumber();
        break;
    }
    case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(Event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (Watched != Viewer || !enter || (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
            return false;
        }
        line = Viewer->textCursor().blockNumber();
        break;
    }
    case QEvent::ContextMenu: {
        // Noted only; the pane's own handler shows the menu.
        const auto* menu = static_cast<QContextMenuEvent*>(Event);
        FPopupLine = menu->reason() == QContextMenuEvent::Mouse && Watched == Viewer->viewport()
                         ? Viewer->cursorForPosition(menu->pos()).blockNumber()
                         : Viewer->textCursor().blockNumber();
        return false;
    }
    default:
        return false;
    }
    // A line that came from no file keeps the pane's own meaning of the key or the click, except that
    // Enter on the new-search line does nothing rather than break a line of the results.
    bool handled = true; // also when the editor could not be started: the error box was the answer
    Guarded([&] { handled = OpenAtLine(line); });
    if (!handled && Event->type() == QEvent::KeyPress) {
        const std::optional<TSource> source = SourceIndex.SourceOfLine(line, false);
        handled = source && source->Kind == TSource::TKind::NewSearch;
    }
    return handled;
}

bool TForm1::OpenAtLine(int Block)
{
    std::optional<TSource> source;
    {
        // Finding the line number reads the file up to it.
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        struct TRestore {
            ~TRestore() { QGuiApplication::restoreOverrideCursor(); }
        } restore;
        source = SourceIndex.SourceOfLine(Block);
    }
    if (!source || source->Kind == TSource::TKind::NewSearch) {
        return false;
    }
    const QString file = QString::fromLocal8Bit(source->FileName.data(), qsizetype(source->FileName.size()));
    const QFileInfo info(file);
    const std::string path = info.absoluteFilePath().toLocal8Bit().toStdString();
    if (!info.isFile()) {
        throw std::runtime_error("Cannot open file " + path);
    }
    // Line numbers count the lines of a compressed file's text: the editor gets that text.
    const QString editable = EditableFile(file);
    const QString command = Settings::TSettings(ProgramFile(gConsts::SettingsExtension)).ReadEditorCommand();
    if (!OpenInEditor(command, editable, source->Line)) {
        throw std::runtime_error("Cannot start the editor for " + path);
    }
    return true;
}

namespace {

// The copy's name: the file's without the compressor's extension, so that the editor shows the name
// the text had (and picks its highlighting by it).
QString DecompressedName(const QString& name)
{
    for (const char* extension : {".gz", ".bz2", ".xz", ".zst"}) {
        if (name.endsWith(QLatin1String(extension), Qt::CaseInsensitive) &&
            name.size() > qsizetype(std::strlen(extension))) {
            return name.left(name.size() - qsizetype(std::strlen(extension)));
        }
    }
    if (name.endsWith(QLatin1String(".tgz"), Qt::CaseInsensitive)) {
        return name.left(name.size() - 4) + QStringLiteral(".tar");
    }
    return name;
}

} // namespace

QString TForm1::EditableFile(const QString& File)
{
    const QByteArray name = QFile::encodeName(File);
    if (!IsCompressedFile(name.toStdString())) {
        return File;
    }
    const QFileInfo info(File);
    const auto known = FCopyOf.constFind(info.absoluteFilePath());
    if (known != FCopyOf.cend() && known->Modified == info.lastModified() && known->Size == info.size() &&
        QFileInfo::exists(known->Path)) {
        return known->Path;
    }
    if (!FCopies) {
        // Private to the user (0700), and removed with the window when the program ends.
        FCopies = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/sifton-XXXXXX"));
    }
    // A folder of its own per copy: files of one name from different folders never meet.
    const QString folder = FCopies->filePath(QString::number(FCopyOf.size() + 1));
    const QString copy = folder + QLatin1Char('/') + DecompressedName(info.fileName());
    const std::string copyPath = QFile::encodeName(copy).toStdString();
    if (!FCopies->isValid() || !QDir().mkpath(folder)) {
        throw std::runtime_error("Cannot create file " + copyPath);
    }
    const int fd = ::open(copyPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        throw std::runtime_error("Cannot create file " + copyPath);
    }
    std::string reason;
    const CopyEnd end = DecompressFile(name.toStdString(), fd, reason);
    const bool closed = ::close(fd) == 0;
    // A damaged file still gives its text up to the damage, where the lines of its entries are.
    if (end == CopyEnd::WriteFailed || !closed) {
        throw std::runtime_error("Unable to write to " + copyPath);
    }
    if (end == CopyEnd::ReadFailed) {
        throw std::runtime_error("Cannot open file " + info.absoluteFilePath().toLocal8Bit().toStdString());
    }
    FCopyOf.insert(info.absoluteFilePath(), {copy, info.lastModified(), info.size()});
    return copy;
}

void TForm1::OpenAtLine1Click()
{
    OpenAtLine(FPopupLine);
}
