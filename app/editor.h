#pragma once

#include "app/urls.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

/// One start of the editor: the program and its arguments, handed to it as they are (never to a shell).
struct TEditorLaunch {
    QString Program;
    QStringList Arguments;
    bool Empty() const { return Program.isEmpty(); }
    friend bool operator==(const TEditorLaunch&, const TEditorLaunch&) = default;
};

/// Splits a command into words: blanks separate them, "double" and 'single' quotes keep blanks inside
/// a word, and a backslash outside single quotes takes the next character as it is.
QStringList SplitCommandWords(const QString& Command);

/// The editor command of the settings file ("vim +%l %f", "code -g %f:%l"): in every word %f becomes the
/// file, %l the line and %% a percent sign, after the command is split, so a path with blanks stays one
/// argument. A command without %f gets the file as its last argument. Line 0 (not known) opens line 1.
TEditorLaunch LaunchFromCommand(const QString& Command, const QString& File, std::int64_t Line);

/// The start of a desktop entry's program (its Exec= line, field codes still in it) for a file and line.
/// Editors whose way of taking a line is known get it (+N: vim, emacs, nano, gedit and their kin;
/// -l N: kate, kwrite; -g file:N: VS Code); any other gets the file in place of its file field code,
/// or at the end. Line 0 opens the file without a line. Terminal: the entry runs in a terminal, which
/// x-terminal-emulator provides.
TEditorLaunch LaunchFromDesktopExec(const QString& Exec, bool Terminal, const QString& File,
                                    std::int64_t Line);

/// The desktop entry of the default application for text/plain: the desktop's own answer (askDesktop, a
/// desktop-file id; may be empty) or else the mimeapps.list files. Empty when none is installed.
QString DefaultTextEditorEntry(const TXdgFolders& Folders, const std::function<QString()>& AskDesktop);

/// Asks `xdg-mime query default text/plain`; empty when the tool is missing or says nothing.
QString AskXdgMimeTextEditor();

/// Where OpenInEditor learns the desktop's default text editor; tests replace it.
extern std::function<QString()> DesktopTextEditorQuestion;

/// How an attempt to open a file in the user's editor went.
enum class TEditorStart {
    Started,
    NoEditor, ///< no command is set and the desktop names no text editor
    Failed, ///< the editor found could not be started
};

/// Opens File at Line (0: no line) in the user's editor: Command when not empty, else the desktop's
/// default text editor. Nothing else is tried: without an editor the caller shows the file itself.
TEditorStart OpenInEditor(const QString& Command, const QString& File, std::int64_t Line);
