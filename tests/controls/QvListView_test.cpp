#include "controls/QvListView.h"
#include "platform/Application.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestFiles.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFontMetrics>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QMimeData>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <filesystem>
#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/stat.h>

namespace {

void Wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void Touch(const QString& path, const QByteArray& bytes = "x")
{
    WriteBytes(path, bytes);
}

QList<QIcon> Images(int count)
{
    QList<QIcon> images;
    for (int i = 0; i < count; ++i) {
        QPixmap pixmap(16, 16);
        pixmap.fill(QColor::fromHsv(i * 30, 255, 200));
        images.append(QIcon(pixmap));
    }
    return images;
}

// A folder as a file manager would drop it: two ordinary files, a hidden one, a sub-folder
// holding a file of its own, and a pipe (not an ordinary file).
struct TDropFolder {
    QTemporaryDir Root;
    QString Folder;
    TDropFolder()
    {
        Folder = Root.path() + "/docs";
        QDir().mkpath(Folder + "/sub");
        Touch(Folder + "/a.txt");
        Touch(Folder + "/b.log");
        Touch(Folder + "/.hidden");
        Touch(Folder + "/sub/deep.txt");
        std::filesystem::path fifo = QFile::encodeName(Folder + "/pipe").toStdString();
        ::mkfifo(fifo.c_str(), 0600);
    }
    // The folder's ordinary files in the order the file system lists them.
    QStringList Listed() const
    {
        QStringList out;
        for (const auto& entry :
             std::filesystem::directory_iterator(QFile::encodeName(Folder).toStdString())) {
            const QString name = QFile::decodeName(entry.path().filename().string().c_str());
            if (name == "a.txt" || name == "b.log") {
                out.append(Folder + "/" + name);
            }
        }
        return out;
    }
};

} // namespace

TEST(QvListViewDrop, FolderGivesItsOrdinaryFilesOnlyInListingOrder)
{
    TDropFolder drop;
    EXPECT_EQ(TQvListView::ExpandDroppedPaths({drop.Folder}), drop.Listed());
}

TEST(QvListViewDrop, FolderWithTrailingSlashJoinsWithOneSlash)
{
    TDropFolder drop;
    EXPECT_EQ(TQvListView::ExpandDroppedPaths({drop.Folder + "/"}), drop.Listed());
}

TEST(QvListViewDrop, FilesAndFolderKeepDropOrder)
{
    TDropFolder drop;
    const QString one = drop.Root.path() + "/one.txt";
    const QString two = drop.Root.path() + "/two.txt";
    const QString three = drop.Root.path() + "/three.txt";
    for (const QString& path : {one, two, three}) {
        Touch(path);
    }
    const QStringList expected = QStringList{one} + drop.Listed() + QStringList{two, three};
    EXPECT_EQ(TQvListView::ExpandDroppedPaths({one, drop.Folder, two, three}), expected);
}

TEST(QvListViewDrop, MissingPathPassesUnchanged)
{
    const QStringList paths{"/no/such/folder/file.txt", "relative/missing"};
    EXPECT_EQ(TQvListView::ExpandDroppedPaths(paths), paths);
}

TEST(QvListViewDrop, SubFolderIsNotDescended)
{
    TDropFolder drop;
    const QStringList files = TQvListView::ExpandDroppedPaths({drop.Folder});
    for (const QString& file : files) {
        EXPECT_FALSE(file.contains("deep.txt"));
        EXPECT_FALSE(file.endsWith("/sub"));
    }
}

TEST(QvListViewDrop, HandlerGetsExpandedListUnderBusyCursor)
{
    TDropFolder drop;
    TQvListView view;
    view.SetDragAccept(true);
    QStringList received;
    Qt::CursorShape during = Qt::ArrowCursor;
    view.OnDragDropFiles = [&](const QStringList& FileList) {
        received = FileList;
        during =
            QGuiApplication::overrideCursor() ? QGuiApplication::overrideCursor()->shape() : Qt::ArrowCursor;
        EXPECT_EQ(Application::Cursor(), crHourGlass);
    };
    view.DropFiles({drop.Folder});
    EXPECT_EQ(received, drop.Listed());
    EXPECT_EQ(during, Qt::WaitCursor);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(Application::Cursor(), crDefault);
}

TEST(QvListViewDrop, CursorComesBackWithoutHandlerAndWhenHandlerThrows)
{
    TQvListView view;
    view.DropFiles({"/tmp"});
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(Application::Cursor(), crDefault);

    view.OnDragDropFiles = [](const QStringList&) { throw std::runtime_error("boom"); };
    EXPECT_THROW(view.DropFiles({"/tmp"}), std::runtime_error);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(Application::Cursor(), crDefault);
}

TEST(QvListViewDrop, DropEventFromFileManagerReachesHandlerOnlyWhenAccepted)
{
    TDropFolder drop;
    TQvListView view;
    QStringList received;
    int calls = 0;
    view.OnDragDropFiles = [&](const QStringList& FileList) {
        received = FileList;
        ++calls;
    };
    const QString file = drop.Root.path() + "/one.txt";
    Touch(file);
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(file), QUrl::fromLocalFile(drop.Folder)});

    const auto send = [&] {
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &drop);
    };
    send();
    EXPECT_EQ(calls, 0);

    view.SetDragAccept(true);
    send();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(received, QStringList{file} + drop.Listed());
}

TEST(QvListViewDrop, HandlerErrorDuringDropGoesToErrorBox)
{
    TScriptedDialogs dialogs;
    TQvListView view;
    view.SetDragAccept(true);
    view.OnDragDropFiles = [](const QStringList&) { throw std::runtime_error("Cannot open file /x"); };
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile("/tmp")});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &drop);
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_EQ(dialogs.Messages[0].Text, "Cannot open file /x");
    EXPECT_EQ(dialogs.Messages[0].Icon(), MB_ICONHAND);
    EXPECT_EQ(Application::Cursor(), crDefault);
}

class QvListViewMarker : public ::testing::Test {
protected:
    void SetUp() override
    {
        View.AddColumn("Filename", 320);
        View.AddColumn("Size", 75);
        View.SetSmallImages(Images(11));
    }
    // Which column shows the marker, or -1.
    int Marked() const
    {
        int marked = -1;
        for (int column = 0; column < View.columnCount(); ++column) {
            if (View.ColumnShowsImage(column)) {
                EXPECT_EQ(marked, -1) << "two markers";
                EXPECT_EQ(View.ColumnImage(column), 0);
                marked = column;
            }
        }
        return marked;
    }
    TQvListView View;
};

TEST_F(QvListViewMarker, ClickSequenceAfterStartUp)
{
    EXPECT_EQ(View.Sort(), TSort::Ascending);
    EXPECT_EQ(Marked(), -1);

    View.ColumnClick(1);
    EXPECT_EQ(View.Sort(), TSort::Descending);
    EXPECT_EQ(Marked(), 1);

    View.ColumnClick(1);
    EXPECT_EQ(View.Sort(), TSort::Ascending);
    EXPECT_EQ(Marked(), 1);

    View.ColumnClick(0);
    EXPECT_EQ(View.Sort(), TSort::Ascending);
    EXPECT_EQ(Marked(), 0);
}

TEST_F(QvListViewMarker, ClearRemovesMarkerAndNextClickKeepsDirection)
{
    View.ColumnClick(1); // Descending, marker on Size
    View.Add()->setText(0, "x");
    View.Clear();
    EXPECT_EQ(Marked(), -1);
    View.ColumnClick(0);
    EXPECT_EQ(View.Sort(), TSort::Descending);
    EXPECT_EQ(Marked(), 0);
}

TEST_F(QvListViewMarker, HeaderMouseClickMovesMarkerAndFiresOnColumnClick)
{
    int clicked = -1;
    View.OnColumnClick = [&](QObject* Sender, int Column) {
        EXPECT_EQ(Sender, &View);
        clicked = Column;
    };
    View.resize(500, 200);
    View.show();
    Wait(0);
    QHeaderView* head = View.header();
    const QPoint at(head->sectionViewportPosition(1) + 20, head->height() / 2);
    QMouseEvent press(QEvent::MouseButtonPress, at, head->viewport()->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, head->viewport()->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(head->viewport(), &press);
    QApplication::sendEvent(head->viewport(), &release);
    EXPECT_EQ(clicked, 1);
    EXPECT_EQ(View.Sort(), TSort::Descending);
    EXPECT_EQ(Marked(), 1);
    EXPECT_FALSE(View.headerItem()->icon(1).isNull());
    EXPECT_TRUE(View.headerItem()->icon(0).isNull());
}

TEST(QvListViewClear, HundredRowsFireOnClearOnceAndNoPerRowEvents)
{
    QWidget form;
    auto* view = new TQvListView(&form);
    view->SetMultiSelect(true);
    view->AddColumn("Filename", 320);
    for (int i = 0; i < 100; ++i) {
        view->Add()->setText(0, QString::number(i));
    }
    view->selectAll();
    view->setCurrentItem(view->Item(50));

    int clears = 0;
    int perRow = 0;
    int nilDeletions = 0;
    bool frozenDuringClear = false;
    view->OnChange = [&](QObject*, TListItem*) { ++perRow; };
    view->OnChanging = [&](QObject*, TListItem*, bool&) { ++perRow; };
    view->OnInsert = [&](QObject*, TListItem*) { ++perRow; };
    view->OnCompare = [&](QObject*, TListItem*, TListItem*, int, int&) { ++perRow; };
    view->OnDeletion = [&](QObject*, TListItem* Item) { Item == nullptr ? ++nilDeletions : ++perRow; };
    view->OnClear = [&](QObject* Sender) {
        EXPECT_EQ(Sender, view);
        ++clears;
        frozenDuringClear = !form.updatesEnabled();
        EXPECT_EQ(view->Count(), 0);
    };

    view->Clear();
    EXPECT_EQ(clears, 1);
    EXPECT_EQ(perRow, 0);
    EXPECT_EQ(nilDeletions, 1);
    EXPECT_TRUE(frozenDuringClear);
    EXPECT_TRUE(form.updatesEnabled());
    EXPECT_EQ(view->Count(), 0);

    // The handlers are attached again afterwards.
    view->Add();
    EXPECT_EQ(perRow, 1);
    view->Delete(view->Item(0));
    EXPECT_EQ(perRow, 2);
}

class QvListViewSelect : public ::testing::Test {
protected:
    void SetUp() override
    {
        View.AddColumn("Filename", 200);
        for (int i = 0; i < 10; ++i) {
            View.Add()->setText(0, QString::number(i));
        }
        View.resize(300, 300);
        View.show();
        View.setCurrentItem(View.Item(0));
        Wait(TQvListView::SelectDelayMs + 150); // let the first selection settle unobserved
    }
    void PressDown(int times)
    {
        for (int i = 0; i < times; ++i) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
            QApplication::sendEvent(&View, &press);
        }
    }
    TQvListView View;
};

TEST_F(QvListViewSelect, BurstOfArrowKeysReportsOnceForFinalRow)
{
    QList<TListItem*> reported;
    View.OnSelectRow = [&](TListItem* LVItem) { reported.append(LVItem); };
    PressDown(5);
    EXPECT_TRUE(reported.isEmpty()) << "reported before the delay";
    Wait(TQvListView::SelectDelayMs + 250);
    ASSERT_EQ(reported.size(), 1);
    EXPECT_EQ(reported.front(), View.Item(5));
}

TEST_F(QvListViewSelect, ThrowingHandlerIsSwallowedAndNextBurstStillReports)
{
    int calls = 0;
    View.OnSelectRow = [&](TListItem*) {
        ++calls;
        throw std::runtime_error("handler failed");
    };
    PressDown(2);
    Wait(TQvListView::SelectDelayMs + 250);
    PressDown(1);
    Wait(TQvListView::SelectDelayMs + 250);
    EXPECT_EQ(calls, 2);
}

TEST_F(QvListViewSelect, DeletingReportedRowThenSelectingAgainReports)
{
    TListItem* last = nullptr;
    View.OnSelectRow = [&](TListItem* LVItem) { last = LVItem; };
    PressDown(1);
    Wait(TQvListView::SelectDelayMs + 250);
    ASSERT_EQ(last, View.Item(1));
    View.Delete(View.Item(1));
    last = nullptr;
    View.clearSelection();
    View.setCurrentItem(View.Item(3));
    Wait(TQvListView::SelectDelayMs + 250);
    EXPECT_EQ(last, View.Item(3));
}

struct TFitCase {
    const char* Name;
    int ExtraOverPrefix; // width = width of first three letters + "..." plus this
    int Prefix; // -1: measure the whole text
    QString Expected;
};

class QvListViewFit : public ::testing::TestWithParam<TFitCase> { };

TEST_P(QvListViewFit, SixLetterText)
{
    const QFont font("DejaVu Sans", 10);
    const QFontMetrics metrics(font);
    const QString text = "Abcdef";
    const TFitCase& c = GetParam();
    const int base = c.Prefix < 0 ? metrics.horizontalAdvance(text)
                                  : metrics.horizontalAdvance(text.left(c.Prefix) + "...");
    EXPECT_EQ(TQvListView::FitText(metrics, text, base + c.ExtraOverPrefix), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(Table, QvListViewFit,
                         ::testing::Values(TFitCase{"WholeTextFits", 0, -1, "Abcdef"},
                                           TFitCase{"ThreeLettersAndDots", 0, 3, "Abc..."},
                                           TFitCase{"JustBelowFourLetters", -1, 4, "Abc..."},
                                           TFitCase{"OneLetterAndDots", 0, 1, "A..."},
                                           TFitCase{"TooNarrowForOneLetter", -1, 1, ""}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(QvListViewFitEmpty, EmptyTextStaysEmpty)
{
    const QFontMetrics metrics(QFont("DejaVu Sans", 10));
    EXPECT_EQ(TQvListView::FitText(metrics, QString(), 0), QString());
}

namespace {

struct TShownList {
    TQvListView View;
    TShownList()
    {
        View.AddColumn("Filename", 120);
        View.AddColumn("Size", 60);
        for (int i = 0; i < 3; ++i) {
            TListItem* item = View.Add();
            item->setText(0, QString("file%1.txt").arg(i));
            item->setText(1, "1,234");
        }
        View.resize(220, 150);
        View.show();
    }
    QImage Shot() { return View.viewport()->grab().toImage(); }
    QRect RowRect(int row) const { return View.visualItemRect(View.Item(row)); }
};

} // namespace

TEST(QvListViewGrid, SwitchingOnLiveControlDrawsLinesAndKeepsHotTracking)
{
    TShownList list;
    list.View.SetHotTrack(true);
    const QRect row = list.RowRect(0);
    const QPoint onLine(60, row.bottom());
    const QColor before = list.Shot().pixelColor(onLine);

    list.View.SetGridLines(true);
    EXPECT_TRUE(list.View.GridLines());
    EXPECT_TRUE(list.View.HotTrack());
    EXPECT_NE(list.Shot().pixelColor(onLine), before);

    list.View.SetGridLines(false);
    EXPECT_FALSE(list.View.GridLines());
    EXPECT_TRUE(list.View.HotTrack());
    EXPECT_EQ(list.Shot().pixelColor(onLine), before);
}

TEST(QvListViewOwnerDraw, FocusedRowGetsRedFrameAndHandlersRunInOrder)
{
    TShownList list;
    list.View.SetManualDraw(true);
    list.View.setCurrentItem(list.View.Item(1), 0, QItemSelectionModel::NoUpdate);
    QStringList calls;
    list.View.OnBeginDrawRow = [&](QPainter* Canvas, TListItem* LVItem, const QRect&,
                                   TQvListView::TOwnerDrawState) {
        calls.append("begin " + LVItem->text(0));
        if (LVItem == list.View.Item(2)) {
            Canvas->setBrush(QColor(255, 255, 0)); // unselected rows take the handler's colours
        }
    };
    list.View.OnDrawRow = [&](QPainter*, TListItem* LVItem, const QRect& Rect,
                              TQvListView::TOwnerDrawState State) {
        calls.append("draw " + LVItem->text(0));
        EXPECT_EQ(Rect.top(), list.RowRect(list.View.indexOfTopLevelItem(LVItem)).top() + 1);
        EXPECT_EQ(State.testFlag(TQvListView::TOwnerDrawStateFlag::odFocused), LVItem == list.View.Item(1));
    };
    const QImage shot = list.Shot();
    EXPECT_TRUE(calls.contains("begin file0.txt"));
    EXPECT_LT(calls.indexOf("begin file1.txt"), calls.indexOf("draw file1.txt"));

    const QRect focused = list.RowRect(1);
    EXPECT_EQ(shot.pixelColor(0, focused.top()), QColor(255, 0, 0));
    EXPECT_EQ(shot.pixelColor(100, focused.bottom() - 1), QColor(255, 0, 0));
    EXPECT_NE(shot.pixelColor(100, focused.bottom()), QColor(255, 0, 0));
    EXPECT_EQ(shot.pixelColor(110, list.RowRect(2).center().y()), QColor(255, 255, 0));
    EXPECT_NE(shot.pixelColor(0, list.RowRect(0).top()), QColor(255, 0, 0));
}

TEST(QvListViewOwnerDraw, SelectedRowIgnoresHandlerColours)
{
    TShownList list;
    list.View.SetManualDraw(true);
    list.View.Item(0)->setSelected(true);
    list.View.OnBeginDrawRow = [&](QPainter* Canvas, TListItem*, const QRect&, TQvListView::TOwnerDrawState) {
        Canvas->setBrush(QColor(255, 255, 0));
    };
    const QImage shot = list.Shot();
    // Without focus a selected row is painted in the button face colour.
    EXPECT_EQ(shot.pixelColor(110, list.RowRect(0).center().y()),
              list.View.palette().color(QPalette::Button));
}

TEST(QvListViewOwnerDraw, ThrowingHookStillPaintsOtherRows)
{
    TShownList list;
    list.View.SetManualDraw(true);
    list.View.OnDrawRow = [&](QPainter*, TListItem* LVItem, const QRect&, TQvListView::TOwnerDrawState) {
        if (LVItem == list.View.Item(0)) {
            throw std::runtime_error("paint failed");
        }
    };
    list.View.OnBeginDrawRow = [&](QPainter* Canvas, TListItem*, const QRect&, TQvListView::TOwnerDrawState) {
        Canvas->setBrush(QColor(0, 0, 255));
    };
    const QImage shot = list.Shot();
    EXPECT_EQ(shot.pixelColor(110, list.RowRect(2).center().y()), QColor(0, 0, 255));
}

namespace {

// A drop as a file manager delivers it, Copy and Move both allowed.
Qt::DropAction SendDrop(TQvListView& view, const QStringList& paths, Qt::KeyboardModifiers modifiers)
{
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& path : paths) {
        urls.append(QUrl::fromLocalFile(path));
    }
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, modifiers);
    QApplication::sendEvent(view.viewport(), &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction | Qt::MoveAction, &mime, Qt::LeftButton, modifiers);
    QApplication::sendEvent(view.viewport(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    return drop.dropAction();
}

} // namespace

TEST(QvListViewDrop, ShiftDropGoesUnexpandedToSubfolderHandler)
{
    TDropFolder drop;
    TQvListView view;
    view.SetDragAccept(true);
    QStringList plain;
    QStringList withSubfolders;
    view.OnDragDropFiles = [&](const QStringList& FileList) { plain = FileList; };
    view.OnDragDropWithSubfolders = [&](const QStringList& FileList) { withSubfolders = FileList; };
    SendDrop(view, {drop.Folder}, Qt::ShiftModifier);
    EXPECT_EQ(withSubfolders, QStringList{drop.Folder});
    EXPECT_TRUE(plain.isEmpty());

    // Without Shift, or without the handler, the folder gives its own files as before.
    withSubfolders.clear();
    SendDrop(view, {drop.Folder}, Qt::NoModifier);
    EXPECT_EQ(plain, drop.Listed());
    EXPECT_TRUE(withSubfolders.isEmpty());
    plain.clear();
    view.OnDragDropWithSubfolders = nullptr;
    SendDrop(view, {drop.Folder}, Qt::ShiftModifier);
    EXPECT_EQ(plain, drop.Listed());
}

// Shift makes a file manager offer a move, and a move deletes the files once the drop is taken.
TEST(QvListViewDrop, ShiftDropTakesCopyNotMoveSoTheSourceKeepsItsFiles)
{
    TDropFolder drop;
    TQvListView view;
    view.SetDragAccept(true);
    view.OnDragDropWithSubfolders = [](const QStringList&) {};
    EXPECT_EQ(SendDrop(view, {drop.Folder}, Qt::ShiftModifier), Qt::CopyAction);
    EXPECT_EQ(SendDrop(view, {drop.Folder}, Qt::NoModifier), Qt::CopyAction);
}

namespace {

struct TDropActionCase {
    const char* Name;
    Qt::DropActions Possible;
    Qt::KeyboardModifiers Keys; // Shift asks for a move
    Qt::DropAction Proposed;
    bool Accepted;
    Qt::DropAction Taken;
};

class QvListViewDropAction : public ::testing::TestWithParam<TDropActionCase> { };

TEST_P(QvListViewDropAction, FilesAreTakenAsACopyNeverMoved)
{
    const TDropActionCase& c = GetParam();
    QTemporaryDir root;
    const QString file = root.path() + "/one.txt";
    Touch(file);
    TQvListView view;
    view.SetDragAccept(true);
    int calls = 0;
    view.OnDragDropFiles = [&](const QStringList&) { ++calls; };
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(file)});

    QDragEnterEvent enter(QPoint(5, 5), c.Possible, &mime, Qt::LeftButton, c.Keys);
    ASSERT_EQ(enter.proposedAction(), c.Proposed);
    QApplication::sendEvent(view.viewport(), &enter);
    EXPECT_EQ(enter.isAccepted(), c.Accepted);
    QDropEvent drop(QPointF(5, 5), c.Possible, &mime, Qt::LeftButton, c.Keys);
    QApplication::sendEvent(view.viewport(), &drop);
    EXPECT_EQ(drop.isAccepted(), c.Accepted);
    EXPECT_EQ(calls, c.Accepted ? 1 : 0);
    if (c.Accepted) {
        EXPECT_EQ(enter.dropAction(), c.Taken);
        EXPECT_EQ(drop.dropAction(), c.Taken);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Actions, QvListViewDropAction,
    ::testing::Values(TDropActionCase{"MoveProposedIsTakenAsCopy",
                                      Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::ShiftModifier,
                                      Qt::MoveAction, true, Qt::CopyAction},
                      TDropActionCase{"CopyProposed", Qt::CopyAction | Qt::MoveAction, Qt::NoModifier,
                                      Qt::CopyAction, true, Qt::CopyAction},
                      TDropActionCase{"LinkWhenNoCopyIsOffered", Qt::MoveAction | Qt::LinkAction,
                                      Qt::ShiftModifier, Qt::MoveAction, true, Qt::LinkAction},
                      TDropActionCase{"MoveOnlyIsRefused", Qt::MoveAction, Qt::NoModifier, Qt::MoveAction,
                                      false, Qt::IgnoreAction}),
    [](const ::testing::TestParamInfo<TDropActionCase>& info) { return std::string(info.param.Name); });

TEST(QvListViewOwnerDraw, TurningOwnerDrawingOffRestoresTheRowImages)
{
    TQvListView view;
    view.AddColumn("Filename", 320);
    view.SetSmallImages(Images(3));
    view.SetManualDraw(true);
    TListItem* item = view.Add();
    item->setText(0, "a.txt");
    view.SetImageIndex(item, 2);
    view.SetManualDraw(false);
    ASSERT_FALSE(item->icon(0).isNull());
    EXPECT_EQ(item->icon(0).pixmap(16).toImage().pixelColor(8, 8),
              Images(3)[2].pixmap(16).toImage().pixelColor(8, 8));
}

// The header painted with the sort marker (a pure green image) on the first column.
struct TMarkedHeader {
    TQvListView View;
    QImage Shot;
    TMarkedHeader()
    {
        View.AddColumn("Filename", 320);
        View.AddColumn("Size", 75);
        QList<QIcon> images = Images(3);
        QPixmap green(16, 16);
        green.fill(QColor(0, 200, 0));
        images[0] = QIcon(green);
        View.SetSmallImages(images);
        View.resize(500, 200);
        View.show();
        View.ColumnClick(1); // the first click toggles the direction and marks "Size"
        View.ColumnClick(0); // the marker moves to "Filename"
        Wait(0);
        Shot = View.header()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    QRect Section(int column) const
    {
        const QHeaderView* head = View.header();
        return QRect(head->sectionViewportPosition(column), 0, head->sectionSize(column), Shot.height());
    }
    // Left- and rightmost columns of caption ink (dark pixels) within a section.
    std::pair<int, int> Caption(int column) const
    {
        const QRect r = Section(column).adjusted(2, 2, -2, -2);
        int left = -1, right = -1;
        for (int x = r.left(); x <= r.right(); ++x) {
            for (int y = r.top(); y <= r.bottom(); ++y) {
                const QColor c = Shot.pixelColor(x, y);
                if (c.red() < 100 && c.green() < 100 && c.blue() < 100) {
                    left = left < 0 ? x : left;
                    right = x;
                }
            }
        }
        return {left, right};
    }
    std::pair<int, int> Green(int column) const
    {
        const QRect r = Section(column);
        int left = -1, right = -1;
        for (int x = r.left(); x <= r.right(); ++x) {
            for (int y = r.top(); y <= r.bottom(); ++y) {
                if (Shot.pixelColor(x, y) == QColor(0, 200, 0)) {
                    left = left < 0 ? x : left;
                    right = x;
                }
            }
        }
        return {left, right};
    }
};

TEST(QvListViewMarkerPixels, MarkerDoesNotPushTheCaptionAside)
{
    TMarkedHeader header;
    ASSERT_TRUE(header.View.ColumnShowsImage(0));
    const int markedStart = header.Caption(0).first - header.Section(0).left();
    const int plainStart = header.Caption(1).first - header.Section(1).left();
    ASSERT_GE(plainStart, 0);
    EXPECT_EQ(markedStart, plainStart);
}

TEST(QvListViewMarkerPixels, MarkerFollowsTheCaption)
{
    TMarkedHeader header;
    const auto [markerLeft, markerRight] = header.Green(0);
    ASSERT_GE(markerLeft, 0) << "no marker painted";
    EXPECT_EQ(markerRight - markerLeft + 1, 16);
    const int captionRight = header.Caption(0).second;
    EXPECT_GT(markerLeft, captionRight);
    EXPECT_LE(markerLeft - captionRight, 10) << "the marker stands right after the caption";
    EXPECT_EQ(header.Green(1).first, -1);
}

TEST(QvListViewMarkerPixels, NarrowColumnKeepsTheMarkerInside)
{
    TMarkedHeader header;
    header.View.header()->resizeSection(0, 60);
    Wait(0);
    header.Shot = header.View.header()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const auto [markerLeft, markerRight] = header.Green(0);
    ASSERT_GE(markerLeft, 0);
    EXPECT_LT(markerRight, header.Section(0).right());
    EXPECT_LT(header.Caption(0).second, markerLeft);
}

} // namespace
