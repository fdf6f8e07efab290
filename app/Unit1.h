#pragma once

#include "ui_Unit1.h"

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <array>

class QLabel;
class QMenu;
class TSearchThread;

/// The main window: the three pages, the commands and the search run's window side.
class TForm1 final : public QMainWindow, public Ui_TForm1
{
    Q_OBJECT

public:
    /// Builds the window and runs FormCreate with the given command-line arguments (argv[1..]).
    explicit TForm1(const QStringList& Arguments, QWidget* parent = nullptr);
    ~TForm1() override;
    Q_DISABLE_COPY_MOVE(TForm1)

    // Status bar panels 0..3.
    void SetStatusText(int Index, const QString& Text);
    QString StatusText(int Index) const;
    void SetIdleStatusTexts();

    // Enablement helpers shared by the commands and the file-list operations.
    void SetSearchCommand(bool Enabled); // CmdSearch and the top-level menu mSearch together
    void UpdateSearchAfterListChange();  // rows > 0 and FString1 not empty
    bool HasSearchString1() const;
    int FileCount() const;

    // File-list operations (app/Unit1FileList.cpp).
    void AddFile(const QString& Path);
    void LoadList(const QString& FileName);
    void SaveList(const QString& FileName);
    void FileListDragDropFiles(const QStringList& Files);
    void CmdOpenClick();
    void cmdFLDeleteClick();
    void cmdFLClearClick();
    void cmdFLLoadClick();
    void cmdFLSaveClick();

    // Print (app/Unit1Print.cpp): the output pane, titled "Sifton Output", 1-inch margins.
    void BPrintClick(QObject* Sender);

    QString OpenDialog1FileName; // the open dialog's remembered name
    QString SaveDialog1FileName; // the save dialog's remembered name

    TSearchThread* SearchThread{nullptr}; // the running search; cleared by the thread's destructor

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildStatusBar();
    void BuildToolBar();
    void BuildPopupMenu();
    void ConnectPrintCommand();

    std::array<QLabel*, 4> FStatusPanels{};
    QMenu* PUEdit{nullptr};
    QWidget* FPopupComponent{nullptr}; // the control the context menu was opened on
};
