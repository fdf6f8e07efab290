// TForm1's Open at Line and View at Line: double-click, Enter or the context menu on a line of the
// output pane opens the file it came from at that line, in the user's editor or in the file viewer.
#include "app/LineOpener.h"
#include "app/Settings.h"
#include "app/Unit1.h"
#include "app/Viewer.h"
#include "app/editor.h"
#include "app/gConsts.h"
#include "platform/ErrorGuard.h"

#include <QContextMenuEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QShortcut>
#include <QTextBlock>
#include <QTextDocument>

#include <stdexcept>

void TForm1::ConnectOpenAtLine()
{
    OpenAtLine1 = new QAction(QStringLiteral("Open at Line"), this);
    OpenAtLine1->setObjectName(QStringLiteral("OpenAtLine1"));
    OpenAtLine1->setStatusTip(QStringLiteral("Open the file of this line in your editor, at the line."));
    ViewAtLine1 = new QAction(QStringLiteral("View at Line"), this);
    ViewAtLine1->setObjectName(QStringLiteral("ViewAtLine1"));
    ViewAtLine1->setStatusTip(QStringLiteral("Show the file of this line in Sifton's viewer, at the line."));
    // Shown in the menu; the pane itself takes the key (see ViewerOpenEvent).
    ViewAtLine1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Return));
    ViewAtLine1->setShortcutContext(Qt::WidgetShortcut);
    ViewAtLine1->setShortcutVisibleInContextMenu(true);
    QAction* separator = PUEdit->addSeparator();
    PUEdit->addAction(OpenAtLine1);
    PUEdit->addAction(ViewAtLine1);
    connect(OpenAtLine1, &QAction::triggered, this, Guard([this] { OpenAtLine1Click(); }));
    connect(ViewAtLine1, &QAction::triggered, this, Guard([this] { ViewAtLine1Click(); }));
    // The menu is shared with the two search fields, which have no lines to open.
    connect(PUEdit, &QMenu::aboutToShow, this, [this, separator] {
        const bool onViewer = PUEdit->property("PopupComponent").value<QObject*>() == Viewer;
        const std::optional<TSource> source =
            onViewer ? SourceIndex.SourceOfLine(FPopupLine, false) : std::nullopt;
        const bool fromFile = source && source->Kind != TSource::TKind::NewSearch;
        for (QAction* item : {separator, OpenAtLine1, ViewAtLine1}) {
            item->setVisible(onViewer);
            item->setEnabled(item == separator || fromFile);
        }
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

    LineOpener = new TLineOpener(this);
    // Esc gives up a lookup that takes long; it means nothing else to the window.
    auto* cancel = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    cancel->setEnabled(false);
    connect(cancel, &QShortcut::activated, LineOpener, &TLineOpener::Cancel);
    LineOpener->OnBusyChange = [cancel](bool Busy) { cancel->setEnabled(Busy); };
}

bool TForm1::ViewerOpenEvent(QObject* Watched, QEvent* Event)
{
    if (Watched != Viewer && Watched != Viewer->viewport()) {
        return false;
    }
    int line = -1;
    bool view = false; // Ctrl+Enter: the viewer whatever the settings say
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
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        if (Watched != Viewer || !enter ||
            (modifiers != Qt::NoModifier && modifiers != Qt::ControlModifier)) {
            return false;
        }
        view = modifiers == Qt::ControlModifier;
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
    bool handled = true; // also when the file could not be opened: the error box was the answer
    Guarded([&] {
        if (!view) {
            view = Settings::TSettings(ProgramFile(gConsts::SettingsExtension)).ReadEditorViewer();
        }
        handled = view ? ViewAtLine(line) : OpenAtLine(line);
    });
    if (!handled && Event->type() == QEvent::KeyPress) {
        const std::optional<TSource> source = SourceIndex.SourceOfLine(line, false);
        handled = source && source->Kind == TSource::TKind::NewSearch;
    }
    return handled;
}

std::optional<TLineQuery> TForm1::FileQueryOf(int Block)
{
    const std::optional<TLineQuery> query = SourceIndex.QueryOfLine(Block);
    if (!query || query->Source.Kind == TSource::TKind::NewSearch) {
        return std::nullopt;
    }
    const std::string& name = query->Source.FileName;
    const QFileInfo info(QString::fromLocal8Bit(name.data(), qsizetype(name.size())));
    if (!info.isFile()) {
        throw std::runtime_error("Cannot open file " + info.absoluteFilePath().toLocal8Bit().toStdString());
    }
    return query;
}

void TForm1::ShowInFileViewer(const TSource& Source)
{
    if (FileViewer == nullptr) {
        FileViewer = new TFileViewer(this);
    }
    FileViewer->Open({QString::fromLocal8Bit(Source.FileName.data(), qsizetype(Source.FileName.size())),
                      Source.Line, Source.Request});
}

bool TForm1::OpenAtLine(int Block)
{
    const std::optional<TLineQuery> query = FileQueryOf(Block);
    if (!query) {
        return false;
    }
    // Line numbers count the lines of a compressed file's text: the editor gets that text. Editors read
    // UTF-16 themselves.
    const std::string& name = query->Source.FileName;
    const QString file = DecodedCopies.FileFor(QString::fromLocal8Bit(name.data(), qsizetype(name.size())));
    const QString command = Settings::TSettings(ProgramFile(gConsts::SettingsExtension)).ReadEditorCommand();
    // Finding the line number reads the file up to it, and the desktop may take seconds to name its
    // editor: both happen off this thread.
    LineOpener->Find(*query, file, command, [this](const TFoundLine& Found) {
        // No editor, or one that does not start: the line is worth more than a box saying so.
        if (StartEditor(Found.Launch) != TEditorStart::Started) {
            ShowInFileViewer(Found.Source);
        }
    });
    return true;
}

bool TForm1::ViewAtLine(int Block)
{
    const std::optional<TLineQuery> query = FileQueryOf(Block);
    if (!query) {
        return false;
    }
    LineOpener->Find(*query, QString(), QString(),
                     [this](const TFoundLine& Found) { ShowInFileViewer(Found.Source); });
    return true;
}

void TForm1::OpenAtLine1Click()
{
    OpenAtLine(FPopupLine);
}

void TForm1::ViewAtLine1Click()
{
    ViewAtLine(FPopupLine);
}
