#include "controls/QvListView.h"

#include "platform/Application.h"
#include "platform/ErrorGuard.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFontMetrics>
#include <QHeaderView>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionHeader>
#include <QUrl>

#include <filesystem>
#include <string>
#include <utility>

namespace {

constexpr int ImageWidth = 16;
constexpr int ImageAdvance = 18;
const QString Ellipsis = QStringLiteral("...");

constexpr int MarkerGap = 6; // between a caption and the image that follows it

// A column's image follows its caption, as a header draws an image placed right of the text; the
// caption stays where it would be without an image, and gives up its end (elided) only when the
// section is too narrow for both.
class TQvListHeader final : public QHeaderView {
public:
    explicit TQvListHeader(TQvListView* view)
        : QHeaderView(Qt::Horizontal, view)
        , FView(view)
    {
    }

protected:
    void initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const override
    {
        QHeaderView::initStyleOptionForIndex(option, logicalIndex);
        if (FView->ColumnShowsImage(logicalIndex)) {
            option->icon = QIcon(); // drawn by paintSection, after the caption
        }
    }

    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override
    {
        const QIcon image =
            FView->ColumnShowsImage(logicalIndex)
                ? model()->headerData(logicalIndex, Qt::Horizontal, Qt::DecorationRole).value<QIcon>()
                : QIcon();
        if (image.isNull() || !rect.isValid()) {
            QHeaderView::paintSection(painter, rect, logicalIndex);
            return;
        }
        QStyleOptionHeader option;
        initStyleOption(&option);
        initStyleOptionForIndex(&option, logicalIndex);
        option.rect = rect;
        const QRect label = style()->subElementRect(QStyle::SE_HeaderLabel, &option, this);
        const QFontMetrics metrics(font());
        option.text =
            metrics.elidedText(option.text, Qt::ElideRight, qMax(0, label.width() - ImageWidth - MarkerGap));
        painter->save();
        style()->drawControl(QStyle::CE_Header, &option, painter, this);
        painter->restore();
        const int textWidth = option.text.isEmpty() ? -MarkerGap : metrics.horizontalAdvance(option.text);
        const int x = qMin(label.left() + textWidth + MarkerGap, label.right() + 1 - ImageWidth);
        const int y = label.top() + (label.height() - ImageWidth) / 2;
        painter->save();
        painter->setClipRect(rect);
        image.paint(painter, QRect(x, y, ImageWidth, ImageWidth));
        painter->restore();
    }

private:
    TQvListView* FView;
};

// Restores the normal cursor however the drop handling ends.
class TBusyCursor final {
public:
    TBusyCursor() { Application::SetCursor(crHourGlass); }
    ~TBusyCursor() { Application::SetCursor(crDefault); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};

void ExpandOnePath(const QString& path, QStringList& out)
{
    namespace fs = std::filesystem;
    const std::string bytes = QFile::encodeName(path).toStdString();
    std::error_code ec;
    if (bytes.empty() || !fs::is_directory(fs::path(bytes), ec)) {
        out.append(path);
        return;
    }
    // A root arrives as "/", and its files must read "/name", not "//name".
    std::string folder = bytes;
    if (folder.back() == '/') {
        folder.pop_back();
    }
    fs::directory_iterator it(fs::path(bytes), ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.empty() || name.front() == '.') {
            continue; // hidden
        }
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) {
            continue; // folders, devices, sockets, pipes
        }
        out.append(QFile::decodeName(QByteArray::fromStdString(folder + '/' + name)));
    }
}

} // namespace

TQvListView::TQvListView(QWidget* parent)
    : QTreeWidget(parent)
{
    setHeader(new TQvListHeader(this));
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setColumnCount(0);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    // Sorting off also makes the header unclickable, so clicks are switched back on after it.
    setSortingEnabled(false);
    header()->setSortIndicatorShown(false);
    header()->setSectionsClickable(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Rows are never dragged out, so there is never a drag image either.
    setDragEnabled(false);
    setDragDropMode(QAbstractItemView::NoDragDrop);
    setSelectionMode(QAbstractItemView::SingleSelection);

    FSelectTimer.setSingleShot(true);
    FSelectTimer.setInterval(SelectDelayMs);
    connect(&FSelectTimer, &QTimer::timeout, this, &TQvListView::SelectTimerTick);
    connect(header(), &QHeaderView::sectionClicked, this, &TQvListView::ColumnClick);
    connect(model(), &QAbstractItemModel::rowsInserted, this, &TQvListView::RowsInserted);
    connect(model(), &QAbstractItemModel::rowsAboutToBeRemoved, this, &TQvListView::RowsAboutToBeRemoved);
    // The base clear() empties the model without row removals; the reported row must not dangle.
    connect(model(), &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        FLastRow = nullptr;
        FHotRow = -1;
    });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &TQvListView::SelectionChanged);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current, const QModelIndex& previous) {
                if (FClearing) {
                    return;
                }
                TListItem* const firstSelected = Selected();
                if (previous.isValid()) {
                    ItemChanged(itemFromIndex(previous.siblingAtColumn(0)), firstSelected);
                }
                if (current.isValid()) {
                    ItemChanged(itemFromIndex(current.siblingAtColumn(0)), firstSelected);
                }
            });
}

TQvListView::~TQvListView()
{
    FLastRow = nullptr;
    FSelectTimer.disconnect();
    FSelectTimer.stop();
    // The model deletes rows after this destructor; no handler may run on a half-destroyed control.
    model()->disconnect(this);
    selectionModel()->disconnect(this);
}

void TQvListView::SetSort(TSort value)
{
    FSort = value;
}

void TQvListView::SetGridLines(bool value)
{
    // Grid lines are painted by the control itself; hot tracking is a separate setting and stays as is.
    FGridLines = value;
    viewport()->update();
}

void TQvListView::SetDragAccept(bool value)
{
    FDragAccept = value;
    setAcceptDrops(value);
    viewport()->setAcceptDrops(value);
}

void TQvListView::SetManualDraw(bool value)
{
    if (value == FManualDraw) {
        return;
    }
    FManualDraw = value;
    // Owner-drawn rows paint their images themselves; the list's own painting needs them back.
    for (int row = 0; row < topLevelItemCount(); ++row) {
        TListItem* item = topLevelItem(row);
        SetImageIndex(item, ImageIndex(item));
    }
    viewport()->update();
}

void TQvListView::SetHotTrack(bool value)
{
    // The row under the mouse is highlighted; it is not selected on hover, which would throw away
    // a multi-row selection whenever the mouse crossed the list.
    FHotTrack = value;
    setMouseTracking(value);
    viewport()->setMouseTracking(value);
    if (!value && FHotRow >= 0) {
        FHotRow = -1;
        viewport()->update();
    }
}

bool TQvListView::MultiSelect() const
{
    return selectionMode() == QAbstractItemView::ExtendedSelection;
}

void TQvListView::SetMultiSelect(bool value)
{
    setSelectionMode(value ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
}

void TQvListView::AddColumn(const QString& caption, int width)
{
    const int column = columnCount();
    setColumnCount(column + 1);
    headerItem()->setText(column, caption);
    header()->resizeSection(column, width);
    if (FColumnImages.size() < static_cast<std::size_t>(column + 1)) {
        FColumnImages.resize(column + 1);
    }
}

TListItem* TQvListView::Add()
{
    auto* item = new QTreeWidgetItem();
    addTopLevelItem(item);
    return item;
}

void TQvListView::Delete(TListItem* item)
{
    delete item;
}

void TQvListView::Clear()
{
    FClearing = true;
    ClearColumnMarkers();
    FLastRow = nullptr;
    FSelectTimer.stop();

    // Per-row handlers stay silent while the list empties, so a long list costs one repaint.
    TLVChangeEvent change = std::exchange(OnChange, nullptr);
    TLVChangingEvent changing = std::exchange(OnChanging, nullptr);
    TLVChangeEvent insert = std::exchange(OnInsert, nullptr);
    TLVCompareEvent compare = std::exchange(OnCompare, nullptr);
    TLVDeletedEvent deletion = std::exchange(OnDeletion, nullptr);

    QWidget* form = window();
    const bool formUpdates = form->updatesEnabled();
    form->setUpdatesEnabled(false);

    struct TRestore {
        TQvListView* View;
        QWidget* Form;
        bool FormUpdates;
        TLVChangeEvent& Change;
        TLVChangingEvent& Changing;
        TLVChangeEvent& Insert;
        TLVCompareEvent& Compare;
        TLVDeletedEvent& Deletion;
        ~TRestore()
        {
            Form->setUpdatesEnabled(FormUpdates);
            View->OnChange = std::move(Change);
            View->OnChanging = std::move(Changing);
            View->OnInsert = std::move(Insert);
            View->OnCompare = std::move(Compare);
            View->OnDeletion = std::move(Deletion);
        }
    };
    struct TClearingOff {
        bool& Flag;
        ~TClearingOff() { Flag = false; }
    } clearingOff{FClearing};

    {
        TRestore restore{this, form, formUpdates, change, changing, insert, compare, deletion};
        QTreeWidget::clear();
        if (OnClear) {
            OnClear(this);
        }
    }
    if (OnDeletion) {
        OnDeletion(this, nullptr);
    }
}

TListItem* TQvListView::Selected() const
{
    // Ranges, not rows: a long selection is usually one range.
    int first = -1;
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        if (!range.parent().isValid() && (first < 0 || range.top() < first)) {
            first = range.top();
        }
    }
    return first < 0 ? nullptr : topLevelItem(first);
}

int TQvListView::ImageIndex(const TListItem* item)
{
    const QVariant value = item->data(0, Qt::UserRole);
    return value.isValid() ? value.toInt() : -1;
}

void TQvListView::SetImageIndex(TListItem* item, int index)
{
    item->setData(0, Qt::UserRole, index);
    if (!FManualDraw && index >= 0 && index < FSmallImages.size()) {
        item->setIcon(0, FSmallImages.at(index));
    } else {
        item->setIcon(0, QIcon());
    }
}

void TQvListView::SetSmallImages(const QList<QIcon>& images)
{
    FSmallImages = images;
    for (int column = 0; column < columnCount(); ++column) {
        SetColumnImage(column, ColumnImage(column), ColumnShowsImage(column));
    }
    for (int row = 0; row < topLevelItemCount(); ++row) {
        TListItem* item = topLevelItem(row);
        if (ImageIndex(item) >= 0) {
            SetImageIndex(item, ImageIndex(item));
        }
    }
}

int TQvListView::ColumnImage(int column) const
{
    if (column < 0 || column >= columnCount()) {
        return -1;
    }
    return static_cast<std::size_t>(column) < FColumnImages.size() ? FColumnImages[column].Image : 0;
}

bool TQvListView::ColumnShowsImage(int column) const
{
    return column >= 0 && static_cast<std::size_t>(column) < FColumnImages.size() &&
           FColumnImages[column].Shown;
}

void TQvListView::SetColumnImage(int column, int image, bool shown)
{
    if (column < 0 || column >= columnCount()) {
        return;
    }
    if (FColumnImages.size() < static_cast<std::size_t>(columnCount())) {
        FColumnImages.resize(columnCount());
    }
    FColumnImages[column] = {image, shown};
    const bool valid = shown && image >= 0 && image < FSmallImages.size();
    headerItem()->setIcon(column, valid ? FSmallImages.at(image) : QIcon());
}

void TQvListView::ClearColumnMarkers()
{
    for (int column = 0; column < columnCount(); ++column) {
        const int image = ColumnImage(column);
        if (image == FAscendingImage || image == FDescendingImage) {
            SetColumnImage(column, -1, false);
        }
    }
}

void TQvListView::ColumnClick(int column)
{
    if (column < 0 || column >= columnCount()) {
        return;
    }
    // A column that was never given an image reports 0, the marker, so the very first click
    // toggles the direction.
    if (ColumnImage(column) != -1) {
        SetSort(FSort == TSort::Ascending ? TSort::Descending : TSort::Ascending);
    }
    ClearColumnMarkers();
    const int image = ColumnImage(column);
    const int marker = FSort == TSort::Ascending ? FAscendingImage : FDescendingImage;
    if (!FSmallImages.isEmpty() && image != marker) {
        // A column with a picture of its own keeps it.
        if (image < 1 || image >= FSmallImages.size()) {
            SetColumnImage(column, marker, true);
        }
    }
    if (OnColumnClick) {
        OnColumnClick(this, column);
    }
}

QStringList TQvListView::ExpandDroppedPaths(const QStringList& paths)
{
    QStringList out;
    for (const QString& path : paths) {
        ExpandOnePath(path, out);
    }
    return out;
}

void TQvListView::DropFiles(const QStringList& paths)
{
    TBusyCursor busy;
    if (paths.isEmpty()) {
        return;
    }
    const QStringList files = ExpandDroppedPaths(paths);
    if (OnDragDropFiles) {
        OnDragDropFiles(files);
    }
}

QString TQvListView::FitText(const QFontMetrics& metrics, const QString& text, int width)
{
    if (text.isEmpty() || metrics.horizontalAdvance(text) <= width) {
        return text;
    }
    for (qsizetype n = text.size() - 1; n >= 1; --n) {
        QString candidate = text.left(n) + Ellipsis;
        if (metrics.horizontalAdvance(candidate) <= width) {
            return candidate;
        }
    }
    return QString();
}

bool TQvListView::DropHasFiles(const QMimeData* mime) const
{
    if (!FDragAccept || mime == nullptr || !mime->hasUrls()) {
        return false;
    }
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile()) {
            return true;
        }
    }
    return false;
}

bool TQvListView::AcceptFileDrop(QDropEvent* event) const
{
    // A file manager asked for a move (Shift held) deletes what it moved once the drop succeeds; the
    // list only reads the names, so it takes a copy (or a link), and refuses a drop that can only move.
    if (!DropHasFiles(event->mimeData())) {
        event->ignore();
        return false;
    }
    for (const Qt::DropAction action : {Qt::CopyAction, Qt::LinkAction}) {
        if (event->possibleActions() & action) {
            event->setDropAction(action);
            event->accept();
            return true;
        }
    }
    event->ignore();
    return false;
}

void TQvListView::dragEnterEvent(QDragEnterEvent* event)
{
    AcceptFileDrop(event);
}

void TQvListView::dragMoveEvent(QDragMoveEvent* event)
{
    AcceptFileDrop(event);
}

void TQvListView::dropEvent(QDropEvent* event)
{
    if (!AcceptFileDrop(event)) {
        return;
    }
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) {
            paths.append(url.toLocalFile());
        }
    }
    // No exception may cross the event loop; the central handler reports it.
    if ((event->modifiers() & Qt::ShiftModifier) != 0 && OnDragDropWithSubfolders) {
        Guarded([&] { OnDragDropWithSubfolders(paths); });
        return;
    }
    Guarded([&] { DropFiles(paths); });
}

void TQvListView::mouseMoveEvent(QMouseEvent* event)
{
    if (FHotTrack) {
        const int row = indexAt(event->position().toPoint()).row();
        if (row != FHotRow) {
            FHotRow = row;
            viewport()->update();
        }
    }
    QTreeWidget::mouseMoveEvent(event);
}

void TQvListView::mouseReleaseEvent(QMouseEvent* event)
{
    QTreeWidget::mouseReleaseEvent(event);
    // The mouse capture of a click ends here.
    if (OnExit) {
        OnExit(this);
    }
}

bool TQvListView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::Leave && FHotRow >= 0) {
        FHotRow = -1;
        viewport()->update();
    }
    return QTreeWidget::viewportEvent(event);
}

void TQvListView::focusOutEvent(QFocusEvent* event)
{
    QTreeWidget::focusOutEvent(event);
    if (OnExit) {
        OnExit(this);
    }
}

QItemSelectionModel::SelectionFlags TQvListView::selectionCommand(const QModelIndex& index,
                                                                  const QEvent* event) const
{
    if (OnChanging && !FClearing && index.isValid()) {
        bool allow = true;
        OnChanging(const_cast<TQvListView*>(this), itemFromIndex(index.siblingAtColumn(0)), allow);
        if (!allow) {
            return QItemSelectionModel::NoUpdate;
        }
    }
    return QTreeWidget::selectionCommand(index, event);
}

void TQvListView::RowsInserted(const QModelIndex& parent, int first, int last)
{
    if (FClearing || parent.isValid() || !OnInsert) {
        return;
    }
    for (int row = first; row <= last; ++row) {
        OnInsert(this, topLevelItem(row));
    }
}

void TQvListView::RowsAboutToBeRemoved(const QModelIndex& parent, int first, int last)
{
    if (FClearing || parent.isValid()) {
        return;
    }
    for (int row = first; row <= last; ++row) {
        TListItem* item = topLevelItem(row);
        if (item == FLastRow) {
            FLastRow = nullptr;
        }
        if (OnDeletion) {
            OnDeletion(this, item);
        }
    }
    if (FHotRow > last) {
        FHotRow -= last - first + 1;
    } else if (FHotRow >= first) {
        FHotRow = -1;
    }
}

void TQvListView::SelectionChanged(const QItemSelection& selected, const QItemSelection& deselected)
{
    if (FClearing) {
        return;
    }
    // One look at the selection per batch, not per row: selecting all of a long list stays linear.
    TListItem* const firstSelected = Selected();
    for (const QItemSelection* changes : {&deselected, &selected}) {
        for (const QItemSelectionRange& range : *changes) {
            if (range.parent().isValid()) {
                continue;
            }
            for (int row = range.top(); row <= range.bottom(); ++row) {
                ItemChanged(topLevelItem(row), firstSelected);
            }
        }
    }
}

void TQvListView::ItemChanged(TListItem* item, TListItem* firstSelected)
{
    if (item == nullptr) {
        return;
    }
    if (OnChange) {
        OnChange(this, item);
    }
    const bool qualifies = OnSelectRow && item != FLastRow;
    if (!qualifies) {
        if (FLastRow == firstSelected || state() == QAbstractItemView::DraggingState) {
            return;
        }
    }
    FLastRow = item;
    FSelectTimer.start(); // restarts a pending delay
}

void TQvListView::SelectTimerTick()
{
    FSelectTimer.stop();
    if (!OnSelectRow) {
        return;
    }
    TListItem* row = Selected();
    // The control calls this on its own; a failing handler must not take it down.
    Shielded([&] { OnSelectRow(row); });
    FLastRow = row;
}

void TQvListView::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const
{
    if (FManualDraw) {
        OwnerDrawRow(painter, option, index);
        return;
    }
    if (FHotTrack && index.row() == FHotRow && !index.parent().isValid()) {
        QColor hot = palette().color(QPalette::Highlight);
        hot.setAlpha(48);
        painter->fillRect(option.rect, hot);
    }
    QTreeWidget::drawRow(painter, option, index);
    if (FGridLines) {
        DrawGridLines(painter, option.rect);
    }
}

void TQvListView::DrawGridLines(QPainter* painter, const QRect& rowRect) const
{
    painter->save();
    painter->setPen(palette().color(QPalette::Mid));
    const int right =
        header()->sectionViewportPosition(columnCount() - 1) + header()->sectionSize(columnCount() - 1) - 1;
    painter->drawLine(rowRect.left(), rowRect.bottom(), right, rowRect.bottom());
    for (int column = 0; column < columnCount(); ++column) {
        const int x = header()->sectionViewportPosition(column) + header()->sectionSize(column) - 1;
        painter->drawLine(x, rowRect.top(), x, rowRect.bottom());
    }
    painter->restore();
}

void TQvListView::OwnerDrawRow(QPainter* painter, const QStyleOptionViewItem& option,
                               const QModelIndex& index) const
{
    if (FClearing || columnCount() == 0) {
        return;
    }
    TListItem* item = itemFromIndex(index.siblingAtColumn(0));
    if (item == nullptr) {
        return;
    }
    painter->save();
    try {
        const QHeaderView* head = header();
        const int left = head->sectionViewportPosition(0);
        const int lastColumn = columnCount() - 1;
        const int right = head->sectionViewportPosition(lastColumn) + head->sectionSize(lastColumn);
        const QRect bounds(left, option.rect.top(), right - left, option.rect.height());
        const int labelRight = left + head->sectionSize(0);
        const QRect requestRect = bounds;
        const QRect rect = requestRect.adjusted(0, 1, 0, 0);

        painter->setFont(font());
        painter->setBrush(palette().color(QPalette::Base));

        TOwnerDrawState state;
        const bool selected = selectionModel()->isSelected(index);
        if (selected) {
            state |= TOwnerDrawStateFlag::odSelected;
        }
        if (currentIndex().isValid() && currentIndex().row() == index.row()) {
            state |= TOwnerDrawStateFlag::odFocused;
        }
        if (!isEnabled()) {
            state |= TOwnerDrawStateFlag::odDisabled;
        }

        auto* canvas = painter;
        if (selected) {
            if (OnBeginDrawRow) {
                OnBeginDrawRow(canvas, item, rect, state);
            }
            const bool focused = hasFocus();
            painter->setBrush(palette().color(focused ? QPalette::Highlight : QPalette::Button));
            painter->setPen(palette().color(focused ? QPalette::HighlightedText : QPalette::ButtonText));
        } else {
            painter->setBrush(palette().color(QPalette::Base));
            painter->setPen(palette().color(QPalette::Text));
            if (OnBeginDrawRow) {
                OnBeginDrawRow(canvas, item, rect, state);
            }
        }
        painter->fillRect(bounds, painter->brush());

        int textStart = requestRect.left() + 2;
        if (!FSmallImages.isEmpty()) {
            const int image = ImageIndex(item);
            if (image >= 0 && image < FSmallImages.size()) {
                FSmallImages.at(image).paint(painter, QRect(bounds.topLeft(), QSize(ImageWidth, ImageWidth)));
            }
            textStart += ImageAdvance;
        }

        const QFontMetrics metrics(painter->font());
        const auto drawText = [&](int x, int width, const QString& text) {
            const QString fitted = FitText(metrics, text, width);
            if (!fitted.isEmpty()) {
                painter->drawText(QRect(x, rect.top(), qMax(width, 0), rect.height()),
                                  Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, fitted);
            }
        };
        drawText(textStart, labelRight - textStart, item->text(0));

        // Sub-item i shows in column i+1.
        int x = requestRect.left() + 2;
        for (int i = 0; i + 1 < columnCount() && i + 1 < item->columnCount(); ++i) {
            x += head->sectionSize(i);
            drawText(x, head->sectionSize(i + 1) - 1, item->text(i + 1));
        }

        if (OnDrawRow) {
            OnDrawRow(canvas, item, rect, state);
        }
        if (state.testFlag(TOwnerDrawStateFlag::odFocused)) {
            painter->setBrush(Qt::NoBrush);
            painter->setPen(QPen(QColor(255, 0, 0), 1));
            painter->drawRect(bounds.adjusted(0, 0, -2, -2));
        }
        if (FGridLines) {
            DrawGridLines(painter, bounds);
        }
    } catch (...) {
        // A failing paint hook must not stop the list from painting, nor reach the event loop.
    }
    painter->restore();
}
