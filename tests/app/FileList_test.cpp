// The File List page: rows from the dialog, drops and list files; delete, clear, save and load; the
// Search command's state after each change. Dialogs are answered by the scripted dialog service.
#include "platform/Application.h"
#include "tests/support/WindowFixture.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

class FileListTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        Create();
    }
    void TearDown() override
    {
        WindowTest::TearDown();
        QLocale::setDefault(QLocale::system());
    }

    QString ListFile() const { return Path("sifton.lst"); }
    QString MakeFile(const QString& name, const QByteArray& bytes = "text\n") const
    {
        return WindowTest::MakeFile(name, bytes);
    }
    QStringList Names() const
    {
        QStringList names;
        for (int i = 0; i < Form().FileList->Count(); ++i) {
            names.append(Form().FileList->Item(i)->text(0));
        }
        return names;
    }
    QString SizeCell(int row) const { return Form().FileList->Item(row)->text(1); }
    bool SearchEnabled() const
    {
        EXPECT_EQ(Form().CmdSearch->isEnabled(), Form().mSearch->menuAction()->isEnabled());
        return Form().CmdSearch->isEnabled();
    }
    TForm1& Form() const { return *FForm; }
};

} // namespace

TEST_F(FileListTest, SameFileTwiceGivesTwoRowsWithPathAsGiven)
{
    const QString a = MakeFile("a.txt");
    Form().AddFile(a);
    Form().AddFile(a);
    EXPECT_EQ(Names(), (QStringList{a, a}));
    EXPECT_EQ(TQvListView::ImageIndex(Form().FileList->Item(0)), 0);
}

TEST_F(FileListTest, RelativePathStaysRelative)
{
    MakeFile("rel.txt");
    const QString before = QDir::currentPath();
    QDir::setCurrent(FDir.path());
    Form().AddFile("rel.txt");
    QDir::setCurrent(before);
    EXPECT_EQ(Names(), QStringList{"rel.txt"});
}

struct TSizeCase {
    const char* Name;
    qint64 Size;
    QLocale::Language Language;
    QString Expected;
};

class FileListSizeTest : public FileListTest, public ::testing::WithParamInterface<TSizeCase> { };

TEST_P(FileListSizeTest, SizeCellUsesLocaleSeparator)
{
    const TSizeCase& c = GetParam();
    QLocale::setDefault(QLocale(c.Language));
    const QString path = MakeFile("sized.bin", QByteArray());
    ASSERT_TRUE(QFile::resize(path, c.Size)); // sparse: large sizes cost nothing
    Form().AddFile(path);
    ASSERT_EQ(Form().FileList->Count(), 1);
    EXPECT_EQ(SizeCell(0), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FileListSizeTest,
    ::testing::Values(TSizeCase{"ZeroBytesEmptyCell", 0, QLocale::English, ""},
                      TSizeCase{"ThreeDigits", 999, QLocale::English, "999"},
                      TSizeCase{"OneThousand", 1000, QLocale::English, "1,000"},
                      TSizeCase{"MillionsComma", 1234567, QLocale::English, "1,234,567"},
                      TSizeCase{"MillionsGermanDot", 1234567, QLocale::German, "1.234.567"},
                      TSizeCase{"FiveGiB", 5368709120LL, QLocale::English, "5,368,709,120"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST_F(FileListTest, UnopenableNamesGiveNoRowAndNoMessage)
{
    QDir().mkdir(Path("folder"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(Path("pipe")).constData(), 0600), 0);
    for (const QString& path :
         {Path("missing.txt"), Path("folder"), Path("pipe"), QString(), QString("/dev/null")}) {
        Form().AddFile(path);
    }
    EXPECT_EQ(Form().FileList->Count(), 0);
    EXPECT_TRUE(FDialogs.Messages.empty());
}

TEST_F(FileListTest, DroppedFolderAndFilesBecomeRowsFolderItselfNever)
{
    const QString a = MakeFile("a.txt");
    QDir().mkdir(Path("docs"));
    MakeFile("docs/inner.txt");
    MakeFile("docs/.hidden");
    const QString b = MakeFile("b.txt");
    Form().FString1->setPlainText("x");
    Form().FileList->DropFiles({a, Path("docs"), b});
    EXPECT_EQ(Names(), (QStringList{a, Path("docs") + "/inner.txt", b}));
    EXPECT_TRUE(SearchEnabled());
}

struct TLineEndCase {
    const char* Name;
    const char* End;
};

class FileListLoadTest : public FileListTest, public ::testing::WithParamInterface<TLineEndCase> { };

TEST_P(FileListLoadTest, EmptyLineAndMissingFileSkipped)
{
    const QByteArray end = GetParam().End;
    const QString one = MakeFile("one.txt");
    const QString two = MakeFile("two.txt");
    const QByteArray list =
        one.toLocal8Bit() + end + end + Path("gone.txt").toLocal8Bit() + end + two.toLocal8Bit();
    MakeFile("sifton.lst", list); // the last line has no end
    Form().LoadList(ListFile());
    EXPECT_EQ(Names(), (QStringList{one, two}));
}

INSTANTIATE_TEST_SUITE_P(Table, FileListLoadTest,
                         ::testing::Values(TLineEndCase{"CrLf", "\r\n"}, TLineEndCase{"LfOnly", "\n"},
                                           TLineEndCase{"CrOnly", "\r"}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(FileListTest, SaveWritesEveryLineWithCrLf)
{
    const QString a = MakeFile("a.txt");
    const QString b = MakeFile("b.txt");
    Form().FileListDragDropFiles({a, b, a});
    Form().cmdFLSaveClick();
    EXPECT_EQ(ReadBytes(ListFile()),
              a.toLocal8Bit() + "\r\n" + b.toLocal8Bit() + "\r\n" + a.toLocal8Bit() + "\r\n");
    EXPECT_TRUE(FDialogs.Messages.empty());
}

TEST_F(FileListTest, EmptyListSavesEmptyFileAndLoadsEmptyWithSearchOff)
{
    MakeFile("sifton.lst", "stale\r\n");
    Form().cmdFLSaveClick();
    EXPECT_EQ(ReadBytes(ListFile()), QByteArray());

    Form().FString1->setPlainText("x");
    Form().FileListDragDropFiles({MakeFile("a.txt")});
    ASSERT_TRUE(SearchEnabled());
    Form().cmdFLLoadClick();
    EXPECT_EQ(Form().FileList->Count(), 0);
    EXPECT_FALSE(SearchEnabled());
}

TEST_F(FileListTest, LoadReplacesInsteadOfMerging)
{
    const QString a = MakeFile("a.txt");
    const QString b = MakeFile("b.txt");
    Form().FileListDragDropFiles({a, b});
    Form().cmdFLSaveClick();
    Form().FileList->Delete(Form().FileList->Item(0));
    Form().FileListDragDropFiles({MakeFile("c.txt")});
    Form().cmdFLLoadClick();
    EXPECT_EQ(Names(), (QStringList{a, b}));
}

TEST_F(FileListTest, LoadWithoutSavedListSaysSoAndKeepsRows)
{
    const QString a = MakeFile("a.txt");
    Form().FileListDragDropFiles({a});
    Form().cmdFLLoadClick();
    ASSERT_EQ(FDialogs.Messages.size(), 1u);
    EXPECT_EQ(FDialogs.Messages[0].Text, "You have not saved a file list yet.");
    EXPECT_EQ(FDialogs.Messages[0].Caption, "Sifton");
    EXPECT_EQ(FDialogs.Messages[0].Icon(), MB_ICONHAND);
    EXPECT_EQ(FDialogs.Messages[0].Buttons(), MB_OK);
    EXPECT_EQ(Names(), QStringList{a});
}

TEST_F(FileListTest, UnreadableListFileReportedThroughButtonAndListEmptied)
{
    Form().FString1->setPlainText("x");
    Form().FileListDragDropFiles({MakeFile("a.txt")});
    QDir().mkdir(ListFile()); // exists, but is no file to read
    Form().cmdFLLoad->click();
    ASSERT_EQ(FDialogs.Messages.size(), 1u);
    EXPECT_EQ(FDialogs.Messages[0].Text, "Cannot open file " + ListFile());
    EXPECT_EQ(FDialogs.Messages[0].Caption, "Sifton");
    EXPECT_EQ(Form().FileList->Count(), 0);
    EXPECT_FALSE(SearchEnabled());
}

// A list file that is no regular file, or one larger than any list a user makes, is refused at once,
// before anything is read. Should the load wait in open() on the FIFO after all, a writer comes after
// a while, so that a regression fails here instead of hanging.
struct TRefusedListCase {
    const char* Name;
    const char* Message; // followed by the list's full path
    const char* After; // what follows the path
};

class FileListRefusedListTest : public FileListTest,
                                public ::testing::WithParamInterface<TRefusedListCase> { };

TEST_P(FileListRefusedListTest, RefusedWithoutWaitingOrReadingAndListEmptied)
{
    Form().FileListDragDropFiles({MakeFile("a.txt")});
    QString list = Path("sifton.lst");
    const std::string name = GetParam().Name;
    if (name == "Fifo") {
        ASSERT_EQ(::mkfifo(QFile::encodeName(list).constData(), 0600), 0);
    } else if (name == "DeviceWithoutEnd") {
        list = QStringLiteral("/dev/zero");
    } else {
        MakeFile("sifton.lst", QByteArray());
        ASSERT_TRUE(QFile::resize(list, (qint64{64} << 20) + 1)); // sparse
    }
    std::atomic<bool> loaded{false};
    std::thread rescuer([&] {
        for (int i = 0; i < 300 && !loaded; ++i) {
            QThread::msleep(10);
        }
        while (!loaded) {
            if (const int fd = ::open(QFile::encodeName(list).constData(), O_WRONLY | O_NONBLOCK); fd >= 0) {
                ::close(fd);
            }
            QThread::msleep(10);
        }
    });
    QElapsedTimer timer;
    timer.start();
    QString error;
    try {
        Form().LoadList(list);
    } catch (const std::runtime_error& e) {
        error = QString::fromLocal8Bit(e.what());
    }
    loaded = true;
    rescuer.join();
    EXPECT_EQ(error.toStdString(), (GetParam().Message + list + GetParam().After).toStdString());
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_EQ(Form().FileList->Count(), 0);
}

INSTANTIATE_TEST_SUITE_P(Table, FileListRefusedListTest,
                         ::testing::Values(TRefusedListCase{"Fifo", "Cannot open file ", ""},
                                           TRefusedListCase{"DeviceWithoutEnd", "Cannot open file ", ""},
                                           TRefusedListCase{"LargerThan64MiB", "Cannot load the file list ",
                                                            ": it is larger than 64 MiB"}),
                         [](const auto& info) { return std::string(info.param.Name); });

struct TSaveFailCase {
    const char* Name;
    const char* Path; // "%1" = the test folder
    const char* Message;
};

class FileListSaveFailTest : public FileListTest, public ::testing::WithParamInterface<TSaveFailCase> { };

TEST_P(FileListSaveFailTest, ReportsAndKeepsRows)
{
    const QString a = MakeFile("a.txt");
    Form().FileListDragDropFiles({a});
    const QString target = QString::fromLatin1(GetParam().Path).arg(FDir.path());
    try {
        Form().SaveList(target);
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(QString::fromLocal8Bit(e.what()), QString::fromLatin1(GetParam().Message) + target);
    }
    EXPECT_EQ(Names(), QStringList{a});
}

INSTANTIATE_TEST_SUITE_P(Table, FileListSaveFailTest,
                         ::testing::Values(TSaveFailCase{"MissingFolder", "%1/no/such/sifton.lst",
                                                         "Cannot create file "},
                                           TSaveFailCase{"FolderInTheWay", "%1", "Cannot create file "},
                                           TSaveFailCase{"DiskFull", "/dev/full", "Unable to write to "}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(FileListTest, SaveIntoAFifoIsRefused)
{
    const QString fifo = Path("sifton.lst");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // A reader that never reads: a save that opens the FIFO does not wait, and its bytes stay unread.
    const int reader = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    Form().FileListDragDropFiles({MakeFile("a.txt")});
    QString error;
    try {
        Form().SaveList(fifo);
    } catch (const std::runtime_error& e) {
        error = QString::fromLocal8Bit(e.what());
    }
    ::close(reader);
    EXPECT_EQ(error.toStdString(), "Cannot create file " + fifo.toStdString());
}

TEST_F(FileListTest, DeleteRemovesSelectedRowsAndKeepsSearchWhileRowsRemain)
{
    const QString a = MakeFile("a.txt");
    const QString b = MakeFile("b.txt");
    const QString c = MakeFile("c.txt");
    Form().FString1->setPlainText("x");
    Form().FileListDragDropFiles({a, b, c, a});
    Form().FileList->Item(0)->setSelected(true);
    Form().FileList->Item(2)->setSelected(true);
    Form().cmdFLDeleteClick();
    EXPECT_EQ(Names(), (QStringList{b, a}));
    EXPECT_TRUE(SearchEnabled());

    Form().FileList->selectAll();
    Form().cmdFLDeleteClick();
    EXPECT_EQ(Form().FileList->Count(), 0);
    EXPECT_FALSE(SearchEnabled());
}

TEST_F(FileListTest, ClearDisablesSearchAndAddingEnablesItAgain)
{
    Form().FString1->setPlainText("x");
    Form().FileListDragDropFiles({MakeFile("a.txt"), MakeFile("b.txt")});
    ASSERT_TRUE(SearchEnabled());
    Form().cmdFLClearClick();
    EXPECT_EQ(Form().FileList->Count(), 0);
    EXPECT_FALSE(SearchEnabled());
    Form().FileListDragDropFiles({MakeFile("c.txt")});
    EXPECT_TRUE(SearchEnabled());
}

TEST_F(FileListTest, OpenDialogOffersTypesInOrderAndAddsChosenFiles)
{
    const QString a = MakeFile("a.txt");
    const QString b = MakeFile("b.log");
    FDialogs.FileAnswers.push_back(QStringList{a, b});
    Form().CmdOpenClick();

    ASSERT_EQ(FDialogs.FileDialogs.size(), 1u);
    const TFileDialogRequest& request = FDialogs.FileDialogs[0];
    EXPECT_FALSE(request.Save);
    const std::vector<TFileFilter> expected{{"All Files", "*.*"},           {"Text Files", "*.txt"},
                                            {"Log Files", "*.log"},         {"Register Files", "*.reg"},
                                            {"Descritpoin Files", "*.diz"}, {"Information Files", "*.nfo"}};
    EXPECT_EQ(request.Filters, expected);
    EXPECT_TRUE(request.Options & ofAllowMultiSelect);
    EXPECT_TRUE(request.Options & ofFileMustExist);
    EXPECT_TRUE(request.Options & ofPathMustExist);

    EXPECT_EQ(Names(), (QStringList{a, b}));
    EXPECT_EQ(Form().PageControl1->currentWidget(), Form().TabSheet2);
    EXPECT_FALSE(SearchEnabled()) << "string 1 is empty";

    // The dialog shows the last chosen name next time.
    FDialogs.FileAnswers.push_back(std::nullopt);
    Form().PageControl1->setCurrentWidget(Form().TabSheet1);
    Form().CmdOpenClick();
    ASSERT_EQ(FDialogs.FileDialogs.size(), 2u);
    EXPECT_EQ(FDialogs.FileDialogs[1].FileName, a);
    EXPECT_EQ(Names(), (QStringList{a, b})) << "cancel adds nothing";
    EXPECT_EQ(Form().PageControl1->currentWidget(), Form().TabSheet1);

    Form().FString1->setPlainText("x");
    EXPECT_TRUE(SearchEnabled());
}

TEST_F(FileListTest, FileListPageIsSetUpForDropsAndHotTracking)
{
    TQvListView* list = Form().FileList;
    EXPECT_TRUE(list->DragAccept());
    EXPECT_TRUE(list->HotTrack());
    EXPECT_TRUE(list->MultiSelect());
    EXPECT_FALSE(list->GridLines());
    EXPECT_FALSE(list->ManualDraw());
    EXPECT_EQ(list->Sort(), TSort::Ascending);
    ASSERT_EQ(list->columnCount(), 2);
    EXPECT_EQ(list->headerItem()->text(0), "Filename");
    EXPECT_EQ(list->headerItem()->text(1), "Size");
    EXPECT_EQ(list->header()->sectionSize(0), 320);
    EXPECT_EQ(list->header()->sectionSize(1), 75);
    EXPECT_EQ(list->SmallImages().size(), 12);
}

TEST_F(FileListTest, ButtonStripHasImagesOffsetsAndHints)
{
    struct TExpect {
        TButton98* Button;
        const char* Caption;
        int Image;
        int XOffset;
        const char* Hint;
    };
    const TExpect expected[] = {
        {Form().Button981, "Add", 7, 4, "Click here to add more file(s) to search."},
        {Form().cmdFLAddFolder, "Folder", 1, 4, "Click here to add the files of a folder to search."},
        {Form().cmdFLDelete, "Delete", 3, 0, "Click here to delete the selected item(s)."},
        {Form().cmdFLClear, "Clear", 10, 4, "Click here to clear the entire list."},
        {Form().cmdFLLoad, "Load", 8, 4, "Click here to load the file list."},
        {Form().cmdFLSave, "Save", 9, 4, "Click here to save the file list."},
    };
    for (const TExpect& e : expected) {
        SCOPED_TRACE(e.Caption);
        EXPECT_EQ(e.Button->Caption(), e.Caption);
        EXPECT_EQ(e.Button->Index(), e.Image);
        EXPECT_EQ(e.Button->XOffset(), e.XOffset);
        EXPECT_EQ(e.Button->Hint(), e.Hint);
        EXPECT_EQ(e.Button->size(), QSize(65, 25));
    }
}

TEST_F(FileListTest, AddFolderAsksForFolderAndAddsMatchingFilesBelowIt)
{
    const QString tree = Path("tree");
    QDir().mkpath(tree + "/sub");
    for (const char* name : {"tree/b.log", "tree/a.txt", "tree/c.dat", "tree/sub/d.log", "tree/.e.log"}) {
        MakeFile(name);
    }
    Form().FString1->setPlainText("x");
    FDialogs.FolderAnswers.push_back(TFolderChoice{{}, tree, true, "*.log;*.txt", {}, true});
    Form().cmdFLAddFolderClick();

    ASSERT_EQ(FDialogs.FolderDialogs.size(), 1u);
    EXPECT_EQ(FDialogs.FolderDialogs[0].Title, "Add Folder");
    EXPECT_EQ(Names(), (QStringList{tree + "/a.txt", tree + "/b.log", tree + "/sub/d.log"}));
    EXPECT_EQ(SizeCell(0), "5") << "rows as AddFile makes them";
    EXPECT_EQ(Form().PageControl1->currentWidget(), Form().TabSheet2);
    EXPECT_TRUE(SearchEnabled());
    EXPECT_FALSE(Form().AddingFolder());
    EXPECT_EQ(Application::Cursor(), crDefault);

    // The last choice is offered again; Cancel adds nothing.
    FDialogs.FolderAnswers.push_back(std::nullopt);
    Form().cmdFLAddFolderClick();
    ASSERT_EQ(FDialogs.FolderDialogs.size(), 2u);
    EXPECT_EQ(FDialogs.FolderDialogs[1].Folder, tree);
    EXPECT_EQ(FDialogs.FolderDialogs[1].Filter, "*.log;*.txt");
    EXPECT_TRUE(FDialogs.FolderDialogs[1].IncludeSubfolders);
    EXPECT_EQ(Names().size(), 3);
}

TEST_F(FileListTest, AddFolderWithoutSubfoldersAndMenuItem)
{
    QDir().mkpath(Path("tree/sub"));
    const QString top = MakeFile("tree/top.txt");
    MakeFile("tree/sub/deep.txt");
    FDialogs.FolderAnswers.push_back(TFolderChoice{{}, Path("tree"), false, {}, {}, true});
    Form().AddFolder1->trigger();
    EXPECT_EQ(Names(), (QStringList{top}));
}

TEST_F(FileListTest, StopDuringLongWalkKeepsRowsAddedSoFar)
{
    QDir().mkpath(Path("many"));
    for (int i = 0; i < 1000; ++i) {
        MakeFile(QStringLiteral("many/f%1").arg(i, 5, 10, QLatin1Char('0')));
    }
    bool sawStop = false;
    // The button, pressed while the walk lets events through and once rows are there, stops it.
    // A loaded machine may let events through before the first row, so the press waits for one.
    QTimer press;
    press.setInterval(0);
    QObject::connect(&press, &QTimer::timeout, [&] {
        if (Form().FileList->Count() == 0) {
            return;
        }
        press.stop();
        sawStop = Form().cmdFLAddFolder->text() == "Stop" && Application::Cursor() == crHourGlass;
        Form().cmdFLAddFolder->click();
    });
    press.start();
    const bool finished = Form().AddFolder(Path("many"), true, {});
    press.stop();
    EXPECT_FALSE(finished);
    EXPECT_TRUE(sawStop);
    EXPECT_GT(Form().FileList->Count(), 0);
    EXPECT_LT(Form().FileList->Count(), 1000);
    EXPECT_EQ(Form().cmdFLAddFolder->text(), "Folder");
    EXPECT_EQ(Application::Cursor(), crDefault);
}

TEST_F(FileListTest, ShiftDropAddsFoldersWithSubfoldersAndFilesAsTheyAre)
{
    QDir().mkpath(Path("tree/sub"));
    const QString deep = MakeFile("tree/sub/deep.txt");
    const QString top = MakeFile("tree/top.txt");
    const QString single = MakeFile("single.txt");
    ASSERT_TRUE(Form().FileList->OnDragDropWithSubfolders);
    Form().FileList->OnDragDropWithSubfolders({single, Path("tree")});
    EXPECT_EQ(Names(), QStringList{}) << "the walk waits until the drop has ended";
    QCoreApplication::processEvents();
    EXPECT_EQ(Names(), (QStringList{single, deep, top}));
}
