#pragma once

#include <QFlags>
#include <QIcon>
#include <QList>
#include <QPainter>
#include <QStringList>
#include <QTimer>
#include <QTreeWidget>

#include <functional>
#include <vector>

class QFontMetrics;

/// A row of a TQvListView: caption in column 0, sub-items in the columns after it.
using TListItem = QTreeWidgetItem;

/// Direction shown by the header marker; the control never reorders its rows.
enum class TSort { Ascending, Descending };

/// Report-style list that holds the file list: dropped files and folders arrive as one path list,
/// a header marker shows the sort direction, a settled selection is reported once, and emptying the
/// whole list is one event.
class TQvListView : public QTreeWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TQvListView)
    Q_PROPERTY(TSort Sort READ Sort WRITE SetSort)
    Q_PROPERTY(bool GridLines READ GridLines WRITE SetGridLines)
    Q_PROPERTY(bool DragAccept READ DragAccept WRITE SetDragAccept)
    Q_PROPERTY(bool ManualDraw READ ManualDraw WRITE SetManualDraw)
    Q_PROPERTY(bool HotTrack READ HotTrack WRITE SetHotTrack)
    Q_PROPERTY(bool MultiSelect READ MultiSelect WRITE SetMultiSelect)

public:
    /// Owner-draw state of one row.
    enum class TOwnerDrawStateFlag {
        odSelected = 0x01,
        odGrayed = 0x02,
        odDisabled = 0x04,
        odChecked = 0x08,
        odFocused = 0x10,
    };
    Q_DECLARE_FLAGS(TOwnerDrawState, TOwnerDrawStateFlag)

    using TNotifyEvent = std::function<void(QObject* Sender)>;
    using TDragFileEvent = std::function<void(const QStringList& FileList)>;
    using TRowSelectEvent = std::function<void(TListItem* LVItem)>;
    using TDrawItemEvent =
        std::function<void(QPainter* Canvas, TListItem* LVItem, const QRect& Rect, TOwnerDrawState State)>;
    using TLVChangeEvent = std::function<void(QObject* Sender, TListItem* Item)>;
    using TLVChangingEvent = std::function<void(QObject* Sender, TListItem* Item, bool& AllowChange)>;
    using TLVDeletedEvent = std::function<void(QObject* Sender, TListItem* Item)>;
    using TLVCompareEvent =
        std::function<void(QObject* Sender, TListItem* Item1, TListItem* Item2, int Data, int& Compare)>;
    using TLVColumnClickEvent = std::function<void(QObject* Sender, int Column)>;

    static constexpr int SelectDelayMs = 450;

    explicit TQvListView(QWidget* parent = nullptr);
    ~TQvListView() override;

    // Published properties.
    TSort Sort() const { return FSort; }
    void SetSort(TSort value);
    bool GridLines() const { return FGridLines; }
    void SetGridLines(bool value);
    bool DragAccept() const { return FDragAccept; }
    void SetDragAccept(bool value);
    bool ManualDraw() const { return FManualDraw; }
    void SetManualDraw(bool value);
    bool HotTrack() const { return FHotTrack; }
    void SetHotTrack(bool value);
    bool MultiSelect() const;
    void SetMultiSelect(bool value);

    // Added events.
    TNotifyEvent OnClear;
    TDrawItemEvent OnBeginDrawRow;
    TDragFileEvent OnDragDropFiles;
    /// A drop made with Shift held, when assigned: the dropped paths as they are, folders not expanded
    /// (the handler adds them with their sub-folders). Unassigned, such a drop is an ordinary one.
    TDragFileEvent OnDragDropWithSubfolders;
    TDrawItemEvent OnDrawRow;
    TRowSelectEvent OnSelectRow;

    // Events of the ordinary list view.
    TLVChangeEvent OnChange;
    TLVChangingEvent OnChanging;
    TLVChangeEvent OnInsert;
    TLVCompareEvent OnCompare; // rows are never sorted, so only held back while clearing
    TLVDeletedEvent OnDeletion;
    TLVColumnClickEvent OnColumnClick;
    TNotifyEvent OnExit;

    // Columns and rows.
    void AddColumn(const QString& caption, int width);
    int Count() const { return topLevelItemCount(); }
    TListItem* Item(int index) const { return topLevelItem(index); }
    /// Appends an empty row (fires OnInsert).
    TListItem* Add();
    /// Removes one row (fires OnDeletion).
    void Delete(TListItem* item);
    /// Empties the whole list at once: OnClear once, no per-row events.
    void Clear();
    /// The first selected row in display order, or nullptr.
    TListItem* Selected() const;
    static int ImageIndex(const TListItem* item);
    void SetImageIndex(TListItem* item, int index);

    /// Shared images: row images and the header's sort marker. Empty = not assigned.
    void SetSmallImages(const QList<QIcon>& images);
    const QList<QIcon>& SmallImages() const { return FSmallImages; }

    /// Image index a column reports; a column never given one reports 0, as the platform's did.
    int ColumnImage(int column) const;
    /// Whether the column header shows its image (right of the text).
    bool ColumnShowsImage(int column) const;

    /// Expands dropped paths: a folder becomes the ordinary, non-hidden files directly inside it;
    /// anything else passes unchanged.
    static QStringList ExpandDroppedPaths(const QStringList& paths);
    /// Handles files dropped from a file manager: busy cursor, expansion, OnDragDropFiles.
    /// Exceptions from the handler propagate after the cursor is restored.
    void DropFiles(const QStringList& paths);

    /// The longest prefix of text followed by "..." that fits into width; whole text when it fits.
    static QString FitText(const QFontMetrics& metrics, const QString& text, int width);

    /// A column click as the header delivers it.
    void ColumnClick(int column);

protected:
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;

private:
    void ClearColumnMarkers();
    void SetColumnImage(int column, int image, bool shown);
    void ItemChanged(TListItem* item, TListItem* firstSelected);
    void SelectTimerTick();
    void RowsInserted(const QModelIndex& parent, int first, int last);
    void RowsAboutToBeRemoved(const QModelIndex& parent, int first, int last);
    void SelectionChanged(const QItemSelection& selected, const QItemSelection& deselected);
    void OwnerDrawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const;
    void DrawGridLines(QPainter* painter, const QRect& rowRect) const;
    bool DropHasFiles(const QMimeData* mime) const;
    // Takes a drop of files as a copy (or a link); false when the drop is refused.
    bool AcceptFileDrop(QDropEvent* event) const;

    struct TColumnImage {
        int Image{0};
        bool Shown{false};
    };

    bool FClearing{false};
    TListItem* FLastRow{nullptr}; // not owned; forgotten when that row goes
    QTimer FSelectTimer;
    TSort FSort{TSort::Ascending};
    bool FGridLines{false};
    bool FDragAccept{false};
    bool FManualDraw{false};
    bool FHotTrack{false};
    int FDescendingImage{0};
    int FAscendingImage{0};
    QList<QIcon> FSmallImages;
    std::vector<TColumnImage> FColumnImages;
    int FHotRow{-1};
};

Q_DECLARE_OPERATORS_FOR_FLAGS(TQvListView::TOwnerDrawState)
