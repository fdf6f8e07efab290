// TForm1's keyboard habits: the tool bar's access keys, Delete on the file list, Enter in a search field,
// and status tips that leave the status panels alone during a search.
#include "app/Unit1.h"
#include "platform/ErrorGuard.h"
#include "search/RunFlags.h"

#include <QKeyEvent>
#include <QShortcut>
#include <QStatusBar>

#include <map>

void TForm1::ConnectKeys()
{
    // Tool buttons show their captions without the "&", and Qt gives tool buttons no access keys of
    // their own. A letter shared by several captions ("&Save", "&Search") goes to the first button of
    // the bar that is enabled.
    std::map<QKeySequence, QList<QAction*>> byKey;
    for (QAction* action : ToolBar1->actions()) {
        const QKeySequence key = QKeySequence::mnemonic(action->text());
        if (!action->isSeparator() && !key.isEmpty()) {
            byKey[key].append(action);
        }
    }
    for (const auto& [key, actions] : byKey) {
        auto* shortcut = new QShortcut(key, this);
        connect(shortcut, &QShortcut::activated, this, Guard([list = actions] {
                    for (QAction* action : list) {
                        if (action->isEnabled()) {
                            action->trigger();
                            return;
                        }
                    }
                }));
    }

    auto* deleteRows = new QShortcut(QKeySequence::Delete, FileList);
    deleteRows->setContext(Qt::WidgetWithChildrenShortcut);
    connect(deleteRows, &QShortcut::activated, this, Guard([this] { cmdFLDeleteClick(); }));

    FString1->installEventFilter(this);
    FString2->installEventFilter(this);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (ViewerOpenEvent(watched, event)) {
        return true;
    }
    if ((watched == FString1 || watched == FString2) && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (enter && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            if (CmdSearch->isEnabled() && !SearchRunning) {
                Guarded([this] { CmdSearchClick(); });
            }
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool TForm1::event(QEvent* event)
{
    // A status tip is shown in place of the panels; during a search the panels are what counts.
    if (event->type() == QEvent::StatusTip && SearchRunning) {
        StatusBar->clearMessage();
        return true;
    }
    return QMainWindow::event(event);
}
