#include "app/MenuShortcuts.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QWidget>

TMenuShortcuts::TMenuShortcuts(QWidget* window)
    : QObject(window)
    , FWindow(window)
{
    // The control with the focus is asked first whether it wants a key; only an application-wide
    // filter sees that question before it.
    qApp->installEventFilter(this);
}

TMenuShortcuts::~TMenuShortcuts()
{
    qApp->removeEventFilter(this);
}

bool TMenuShortcuts::RunsACommand(const QKeyEvent& key) const
{
    const QKeySequence pressed(QKeyCombination(key.modifiers() & ~Qt::KeypadModifier, Qt::Key(key.key())));
    for (const QAction* action : FWindow->findChildren<QAction*>()) {
        if (!action->isEnabled() || action->shortcutContext() == Qt::WidgetShortcut) {
            continue;
        }
        for (const QKeySequence& shortcut : action->shortcuts()) {
            if (shortcut == pressed) {
                return true;
            }
        }
    }
    return false;
}

bool TMenuShortcuts::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::ShortcutOverride) {
        return false;
    }
    const auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->window() != FWindow) {
        return false;
    }
    if (!RunsACommand(*static_cast<QKeyEvent*>(event))) {
        return false;
    }
    // Not taken by the control: the key goes on to the shortcut.
    event->ignore();
    return true;
}
