#pragma once

#include "app/SourceIndex.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

/// Open at Line's slow part, off the GUI thread: reading the file again up to the line, and asking the
/// desktop for its text editor, take seconds on a big file or a slow desktop. The window stays live
/// meanwhile, under the hourglass, and the lookup can be cancelled; the editor is then started on the
/// GUI thread. One lookup at a time: a new one cancels the one running.
class TLineOpener final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TLineOpener)

public:
    explicit TLineOpener(QObject* parent = nullptr);
    /// Cancels a running lookup and waits for its thread, which ends at once.
    ~TLineOpener() override;

    /// Finds Query's line and the editor (Command, else the desktop's) for File, then starts it. A
    /// lookup that ends within a moment starts the editor before this returns; a longer one shows the
    /// hourglass until it ends.
    void Open(const TLineQuery& Query, const QString& File, const QString& Command);
    /// Drops the running lookup: its editor is not started.
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
