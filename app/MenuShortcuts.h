#pragma once

#include <QObject>

class QKeyEvent;
class QWidget;

/// Lets a window's menu shortcuts win over the keys of the control that has the focus, as window
/// accelerators do: with the output pane focused during a run, Ctrl+C cancels instead of copying.
/// A shortcut whose command is disabled leaves the key to the control (Ctrl+C copies when no run
/// can be cancelled).
class TMenuShortcuts final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TMenuShortcuts)

public:
    /// Watches the keys typed anywhere in window; owned by the window.
    explicit TMenuShortcuts(QWidget* window);
    ~TMenuShortcuts() override;

    /// Whether the key runs an enabled command of the window.
    bool RunsACommand(const QKeyEvent& key) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* FWindow;
};
