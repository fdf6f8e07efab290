#pragma once

#include "app/SourceIndex.h"
#include "app/editor.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

/// What a lookup of a pane line found: where it came from, its line number filled in, and how the
/// user's editor is started for it (empty when not asked for, or when there is no editor).
struct TFoundLine {
    TSource Source;
    TEditorLaunch Launch;
};

/// The slow part of Open at Line and View at Line, off the GUI thread: reading the file again up to the
/// line, and asking the desktop for its text editor, take seconds on a big file or a slow desktop. The
/// window stays live meanwhile, under the hourglass, and the lookup can be cancelled; what it found is
/// then handed on on the GUI thread. One lookup at a time: a new one cancels the one running.
class TLineOpener final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TLineOpener)

public:
    explicit TLineOpener(QObject* parent = nullptr);
    /// Cancels a running lookup and waits for its thread, which ends at once.
    ~TLineOpener() override;

    /// Finds Query's line number and, when EditorFile is given (the listed file, or the text of a
    /// compressed one), how the editor opens it (Command, else the desktop's editor); then calls Done
    /// on the GUI thread. A lookup that ends within a moment calls Done before this returns; a longer
    /// one shows the hourglass until it ends. Done is not called for a cancelled lookup.
    void Find(const TLineQuery& Query, const QString& EditorFile, const QString& Command,
              std::function<void(const TFoundLine& Found)> Done);
    /// Drops the running lookup.
    void Cancel();
    /// True while a lookup runs (GUI thread).
    bool Busy() const;

    /// Called on the GUI thread when Busy changes.
    std::function<void(bool Busy)> OnBusyChange;

private:
    struct TJob;
    void Finish(const std::shared_ptr<TJob>& Job);
    void SetBusy(bool Busy);

    std::shared_ptr<TJob> FJob; // the running lookup, GUI thread
    bool FBusy{false};
};
