#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// Message box flags and answers, with the values the program's texts are written against.
inline constexpr unsigned MB_OK = 0x0;
inline constexpr unsigned MB_OKCANCEL = 0x1;
inline constexpr unsigned MB_ABORTRETRYIGNORE = 0x2;
inline constexpr unsigned MB_YESNOCANCEL = 0x3;
inline constexpr unsigned MB_YESNO = 0x4;
inline constexpr unsigned MB_RETRYCANCEL = 0x5;
inline constexpr unsigned MB_TYPEMASK = 0xF;
inline constexpr unsigned MB_ICONHAND = 0x10; ///< error (critical) icon
inline constexpr unsigned MB_ICONERROR = MB_ICONHAND;
inline constexpr unsigned MB_ICONQUESTION = 0x20;
inline constexpr unsigned MB_ICONEXCLAMATION = 0x30; ///< warning icon
inline constexpr unsigned MB_ICONASTERISK = 0x40; ///< information icon
inline constexpr unsigned MB_ICONINFORMATION = MB_ICONASTERISK;
inline constexpr unsigned MB_ICONMASK = 0xF0;
inline constexpr unsigned MB_DEFBUTTON1 = 0x000;
inline constexpr unsigned MB_DEFBUTTON2 = 0x100;
inline constexpr unsigned MB_DEFBUTTON3 = 0x200;
inline constexpr unsigned MB_DEFMASK = 0xF00;
inline constexpr unsigned MB_TASKMODAL = 0x2000; ///< application-modal
inline constexpr unsigned MB_TOPMOST = 0x40000; ///< stays on top
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

/// One file type offered by a file dialog: "Text Files" with the mask "*.txt".
struct TFileFilter {
    QString Name;
    QString Mask;
    friend bool operator==(const TFileFilter&, const TFileFilter&) = default;
};

/// File dialog options (combine with |).
enum TFileDialogOption : unsigned {
    ofAllowMultiSelect = 0x1, ///< several files may be chosen
    ofOverwritePrompt = 0x2, ///< ask before replacing an existing file (save)
    ofFileMustExist = 0x4, ///< the chosen files must exist (open)
    ofPathMustExist = 0x8, ///< the folder must exist
    ofHideReadOnly = 0x10, ///< no read-only check box (there never is one here)
    ofNoReadOnlyReturn = 0x20, ///< a read-only file cannot be chosen (save)
    ofShareAware = 0x40, ///< a file another program holds open may be chosen
};

/// What a file dialog is asked to show.
struct TFileDialogRequest {
    bool Save = false; ///< save dialog (else open dialog)
    QString Title; ///< caption; empty = the platform's "Open"/"Save As"
    std::vector<TFileFilter> Filters; ///< file types in the order offered
    int FilterIndex = 0; ///< position in Filters of the type selected first
    QString DefaultExt; ///< without dot ("txt"); added to a chosen name that has no extension
    QString FileName; ///< name shown at start (the last one chosen)
    QString InitialDir;
    unsigned Options = 0; ///< TFileDialogOption flags
};

/// What the folder dialog shows at start and what it gives back on OK: the folder, whether its
/// sub-folders count, and the file-name masks ("*.log;*.txt"; empty = every file).
struct TFolderChoice {
    QString Title; ///< caption
    QString Folder;
    bool IncludeSubfolders = true;
    QString Filter;
    QString Exclude; ///< masks of the file and folder names to leave out
    bool SkipHidden = true; ///< leave out names beginning with "."
    friend bool operator==(const TFolderChoice&, const TFolderChoice&) = default;
};

/// The dialogs behind the program: real Qt dialogs, or a scripted stand-in in tests. Called on the GUI
/// thread.
class TDialogService {
public:
    virtual ~TDialogService() = default;
    /// A modal message box; returns the IDxxx of the button pressed.
    virtual int MessageBox(const QString& text, const QString& caption, unsigned flags) = 0;
    /// A modal message box that also offers details (a long list, say) on request; without its own
    /// way to show them a service shows the box alone.
    virtual int DetailedMessageBox(const QString& text, const QString& caption, unsigned flags,
                                   const QString& details)
    {
        static_cast<void>(details);
        return MessageBox(text, caption, flags);
    }
    /// A modal file dialog; returns the chosen full paths, or nothing when cancelled.
    virtual std::optional<QStringList> FileDialog(const TFileDialogRequest& request) = 0;
    /// A modal folder dialog; returns the choice, or nothing when cancelled.
    virtual std::optional<TFolderChoice> FolderDialog(const TFolderChoice& request) = 0;
    /// A modal one-line input box; returns the text entered, or nothing when cancelled.
    virtual std::optional<QString> InputQuery(const QString& caption, const QString& prompt,
                                              const QString& value) = 0;
};

/// Why a save dialog with these options turns the chosen file down, shown while the dialog stays open
/// (its folder does not exist, the file is read-only); empty when the file may be used.
QString RefusedSaveChoice(const QString& file, unsigned options);

/// The dialog service in use.
TDialogService& Dialogs();
/// Installs a service (nullptr = the real Qt one); returns the one it replaces.
TDialogService* SetDialogService(TDialogService* service);

/// For a program that must end now (a stop signal): every dialog and box that is open closes as
/// cancelled, and every one asked for from now on answers as cancelled at once, without showing, so
/// that nothing waits for a person who is no longer there. For good: nothing undoes it. GUI thread.
void DismissDialogs();
/// True once DismissDialogs was called.
bool DialogsDismissed();
/// What a box with these flags answers when it is closed without a button (from its title bar, or
/// dismissed): the only button it has, else Cancel.
int CancelAnswer(unsigned flags);

/// Shows a message box from any thread (carried out on the GUI thread; "\r" breaks lines). Returns IDxxx.
int MessageBox(const QString& text, const QString& caption, unsigned flags);
/// The same with details the user can open below the text ("\n" breaks their lines).
int MessageBox(const QString& text, const QString& caption, unsigned flags, const QString& details);
/// Asks for one line of text from any thread; returns value unchanged when cancelled.
QString InputBox(const QString& caption, const QString& prompt, const QString& value);

/// A file dialog component: set its fields, Execute, then read FileName / Files. Remembers FileName.
class TFileDialog {
public:
    explicit TFileDialog(bool save);
    QString Title;
    std::vector<TFileFilter> Filters;
    int FilterIndex = 0;
    QString DefaultExt;
    QString FileName; ///< the (first) chosen file; shown again next time
    QStringList Files; ///< every chosen file
    QString InitialDir;
    unsigned Options = 0;
    /// Runs the dialog (from any thread, on the GUI thread); true when the user confirmed.
    bool Execute();

private:
    bool FSave;
};

/// The folder dialog component: set its fields, Execute, then read them back. Remembers the last choice.
class TFolderDialog {
public:
    TFolderChoice Choice;
    /// Runs the dialog (from any thread, on the GUI thread); true when the user confirmed a folder.
    bool Execute();
};

/// The open-file dialog component.
class TOpenDialog final : public TFileDialog {
public:
    TOpenDialog()
        : TFileDialog(false)
    {
    }
};

/// The save-file dialog component.
class TSaveDialog final : public TFileDialog {
public:
    TSaveDialog()
        : TFileDialog(true)
    {
    }
};
