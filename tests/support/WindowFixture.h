#pragma once

#include "app/Unit1.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestFiles.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>

/// The main window over a folder of the test's own: the program is "sifton" in that folder, so the
/// window's options (sifton.ini), list (sifton.lst) and result log (sifton.out) are the folder's.
/// FDialogs answers every dialog. Each test starts with the run flags cleared and the title
/// "Sifton"; at its end a run still going is waited for before the window goes.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    QString Path(const QString& name) const { return FDir.Path(name); }
    QString ProgramPath() const { return Path(QStringLiteral("sifton")); }
    /// Writes a file into the folder and gives its path.
    QString MakeFile(const QString& name, const QByteArray& bytes) const { return FDir.Write(name, bytes); }
    /// Opens the window as the program opens it with these command-line arguments.
    TForm1& Create(const QStringList& arguments = {});
    /// Shows the window and waits until it is the active one, so that keys reach it.
    bool ShowActive();
    /// Adds a row the way the list shows it, without opening the file (pipes must not be opened here).
    void AddRow(const QString& path);
    /// Waits, serving the run meanwhile, until no search runs.
    bool RunEnded();
    /// Presses Search and waits until the run has ended.
    bool RunAndWait();
    /// The bytes of the window's result log.
    QByteArray LogBytes() const;
    /// The file list's paths, in order.
    QStringList Rows() const;

    TTestFolder FDir;
    TScriptedDialogs FDialogs;
    std::unique_ptr<TForm1> FForm;
};

/// Holds a run at its first periodic status update, the line RefreshRate (1000) of a file, until the
/// test lets it go: "during a run" is then a fixed point rather than a race. The window never reads
/// from a pipe, so a regular file is held where the run publishes its title, as a slow file would
/// hold it in read().
class TRunHold {
public:
    explicit TRunHold(TForm1& form);
    ~TRunHold();
    TRunHold(const TRunHold&) = delete;
    TRunHold& operator=(const TRunHold&) = delete;

    /// A file to be held in: head, then filler lines up to past the held line, then tail.
    static QByteArray HeldText(const QByteArray& head, const QByteArray& tail);
    /// Waits (the GUI thread serving the run meanwhile) until the run is held.
    bool Reached();
    /// Lets the run go on; never blocks, so any thread may call it.
    void Release();

private:
    TForm1& FForm;
    std::mutex FLock;
    std::condition_variable FSignal;
    bool FHeld = false; // guarded by FLock
    bool FReleased = false; // guarded by FLock
};
