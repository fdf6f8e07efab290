#pragma once

#include "app/MatchHighlight.h"
#include "search/SearchRequest.h"

#include <QFileSystemWatcher>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class LineIndex;
class QLabel;
class QPushButton;
class TFindDialog;
class TViewerText;
class TextSource;

/// What the viewer is asked to show: a file at a line, as a run read it.
struct TViewRequest {
    QString FileName; ///< as the run listed it
    std::int64_t Line = 0; ///< 1-based; 0 opens the file at its top with nothing selected
    /// The run's request: its line format numbers the lines, its strings are marked, and F3 goes to the
    /// lines it reports. Empty: Unix lines, nothing marked.
    std::shared_ptr<const SearchRequest> Request;
};

/// The file viewer: a read-only window of the program's own that shows a file at a line, the line
/// selected in the middle of the view and the run's strings marked as in the output pane. It reads the
/// file in place through the engine's LineIndex, only as far as the view has gone, so a file of any size
/// opens at once. One window serves every request; the file changing under it is noticed and offered
/// for reloading.
///
/// Keys: F3 / Shift+F3 the next / previous line the run reports, Ctrl+F the find dialog, Ctrl+G go to a
/// line, Ctrl+C copy, Esc closes.
class TFileViewer final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TFileViewer)

public:
    explicit TFileViewer(QWidget* parent = nullptr);
    ~TFileViewer() override;

    /// Shows the file at the line and brings the window forward; throws "Cannot open file <path>" when
    /// the file cannot be read (what was shown before stays).
    void Open(const TViewRequest& Request);

    TViewerText* Text() const { return FText; }
    /// The full path of the file shown; empty before the first one.
    QString FilePath() const { return FPath; }
    const TViewRequest& Request() const { return FRequest; }

    /// F3 (Down true) and Shift+F3: selects the next / previous line the run reports; false when there
    /// is none (the status line says so).
    bool NextReportedLine(bool Down);
    /// Ctrl+G: asks for a line number and shows it.
    void GoToLineClick();
    /// Ctrl+F: the find dialog.
    void FindClick();
    /// One step of the find sequence, as the dialog's Find Next runs it.
    void FindNext();
    TFindDialog* FindDialog() const { return FFindDialog; }

    /// Looks whether the file has changed since it was read; when it has, the notice above the text
    /// says so (and offers Reload while the file is there).
    void CheckFile();
    /// Reads the file anew, keeping the caret's line where the file still has it.
    void ReloadClick();
    /// The notice's text; empty while the file is as it was read.
    QString NoticeText() const;
    QPushButton* ReloadButton() const { return FReload; }
    /// The status line below the text.
    QString StatusText() const;

protected:
    void changeEvent(QEvent* event) override;

private:
    struct TStamp {
        bool Exists = false;
        std::uint64_t Device = 0;
        std::uint64_t Inode = 0;
        std::int64_t Size = 0;
        std::int64_t Modified = 0; // nanoseconds
        friend bool operator==(const TStamp&, const TStamp&) = default;
    };
    static TStamp StampOf(const QString& path);

    void Attach(std::unique_ptr<TextSource> source);
    void ShowNotice(const QString& text, bool reload);
    void UpdateCaption();
    void Watch(const QString& path);
    std::int64_t OffsetOf(std::int64_t line, int column);

    TViewerText* FText;
    QWidget* FNotice;
    QLabel* FNoticeLabel;
    QPushButton* FReload;
    QLabel* FStatus;
    TFindDialog* FFindDialog;
    QFileSystemWatcher FWatcher;

    TViewRequest FRequest;
    QString FPath;
    LineFormat FFormat = LineFormat::Unix;
    TStamp FStamp;
    std::unique_ptr<TextSource> FSource;
    std::unique_ptr<LineIndex> FIndex;

    // The find sequence, as the output pane's: a fresh search starts at the selection.
    enum class TFindState { Fresh, Continuing, Wrapped };
    TFindState FFindState = TFindState::Fresh;
    std::int64_t FFindFrom = 0; // byte offsets of the range still to search
    std::int64_t FFindTo = 0;

    // The reported lines found by the last scan for F3: every one up to FReportedThrough.
    std::vector<std::int64_t> FReported;
    std::int64_t FReportedThrough = 0;
    bool FReportedAll = false;
};
