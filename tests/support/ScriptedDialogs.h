#pragma once

#include "platform/Dialogs.h"

#include <deque>
#include <optional>
#include <vector>

/// One message box that was asked for.
struct TMessageBoxCall {
    QString Text;
    QString Caption;
    unsigned Flags = 0;
    QString Details; ///< what the box offers below its text; empty for a plain box
    /// The icon bits (MB_ICONHAND, ...).
    unsigned Icon() const { return Flags & MB_ICONMASK; }
    /// The button set (MB_OK, MB_OKCANCEL, ...).
    unsigned Buttons() const { return Flags & MB_TYPEMASK; }
    bool TaskModal() const { return (Flags & MB_TASKMODAL) != 0; }
    bool TopMost() const { return (Flags & MB_TOPMOST) != 0; }
};

/// One input box that was asked for.
struct TInputCall {
    QString Caption;
    QString Prompt;
    QString Value;
};

/// The dialog service of tests: installs itself for its lifetime, records every request and answers from
/// scripts. With an empty script a message box answers its first button, a file dialog, a folder dialog
/// and an input box answer Cancel.
class TScriptedDialogs final : public TDialogService {
public:
    TScriptedDialogs();
    ~TScriptedDialogs() override;
    TScriptedDialogs(const TScriptedDialogs&) = delete;
    TScriptedDialogs& operator=(const TScriptedDialogs&) = delete;

    std::deque<int> MessageAnswers; ///< IDxxx per message box, in order
    std::deque<std::optional<QStringList>> FileAnswers; ///< chosen files per file dialog; nullopt = Cancel
    std::deque<std::optional<QString>> InputAnswers; ///< text per input box; nullopt = Cancel
    std::deque<std::optional<TFolderChoice>> FolderAnswers; ///< choice per folder dialog; nullopt = Cancel

    std::vector<TMessageBoxCall> Messages;
    std::vector<TFileDialogRequest> FileDialogs;
    std::vector<TInputCall> Inputs;
    std::vector<TFolderChoice> FolderDialogs;

    int MessageBox(const QString& text, const QString& caption, unsigned flags) override;
    int DetailedMessageBox(const QString& text, const QString& caption, unsigned flags,
                           const QString& details) override;
    std::optional<QStringList> FileDialog(const TFileDialogRequest& request) override;
    std::optional<QString> InputQuery(const QString& caption, const QString& prompt,
                                      const QString& value) override;
    std::optional<TFolderChoice> FolderDialog(const TFolderChoice& request) override;

private:
    TDialogService* FPrevious;
};
