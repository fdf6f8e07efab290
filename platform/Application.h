#pragma once

#include <QApplication>
#include <QString>
#include <QStringList>

#include <functional>

/// The application-wide mouse cursor shapes the program uses.
enum TCursor {
    crDefault, ///< normal arrow
    crAppStart, ///< busy in the background: arrow with hourglass
    crHourGlass, ///< hourglass
};

/// The argument vector the toolkit is given: the program's name alone.
struct TToolkitArguments {
    explicit TToolkitArguments(char* programName);
    int Argc = 1;
    char* Argv[2];
};

/// The program's QApplication: every event a widget handles runs inside the central error guard. The
/// toolkit sees only the program's name, so that arguments it would take for itself ("-style X",
/// "-reverse", "-platform X") stay the user's, for the program's own command line.
class TApplication final : private TToolkitArguments, public QApplication {
public:
    TApplication(int argc, char** argv);
    /// The arguments after the program's name, exactly as given.
    const QStringList& Arguments() const { return FArguments; }
    /// Delivers an event; an escaping exception is shown in the error box instead of crossing the event loop.
    bool notify(QObject* receiver, QEvent* event) override;

private:
    QStringList FArguments;
};

namespace Application {

/// The application title: task-bar text, product name and caption of error boxes ("Sifton" once set).
QString Title();
/// Sets the application title from any thread; the title-change handler runs on the GUI thread, and
/// only when the title changes.
void SetTitle(const QString& title);
/// Called on the GUI thread after a SetTitle that changed the title (the main window mirrors it to the
/// task bar).
void SetOnTitleChange(std::function<void(const QString& Title)> handler);

/// The current application-wide cursor.
TCursor Cursor();
/// Sets the application-wide cursor from any thread (carried out on the GUI thread).
void SetCursor(TCursor cursor);

/// Lets pending events through (on the GUI thread; does nothing elsewhere).
void ProcessMessages();

/// argv[1..argc-1] decoded with the locale's codec, none left out, none changed.
QStringList ArgumentsOf(int argc, const char* const* argv);

/// The program's own full path (/proc/self/exe).
QString ExeName();
/// The path with the extension of its file name replaced by ext (".ini"), or ext appended when it has none.
QString ChangeFileExt(const QString& path, const QString& ext);
/// A file beside the program named after it: FileBeside(".ini") gives /opt/sifton/sifton.ini.
QString FileBeside(const QString& ext);

} // namespace Application
