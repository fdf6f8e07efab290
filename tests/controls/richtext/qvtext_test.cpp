#include "controls/richtext/qvtext.h"
#include "platform/Application.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/TestFiles.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QEnterEvent>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPalette>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextLayout>

#include <climits>
#include <gtest/gtest.h>
#include <sstream>

namespace {

void PressKey(QWidget& w, int key, const QString& text = QString(),
              Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(&w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, mods, text);
    QApplication::sendEvent(&w, &release);
}

void Type(QWidget& w, const QString& text)
{
    for (QChar c : text) {
        PressKey(
            w, c.unicode() >= u'a' && c.unicode() <= u'z' ? Qt::Key_A + (c.unicode() - u'a') : Qt::Key_Space,
            QString(c));
    }
}

void PasteText(TQvEdit& edit, const QString& text)
{
    QApplication::clipboard()->setText(text);
    edit.PasteFromClipboard();
}

QByteArray Repeat(const QByteArray& unit, int times)
{
    QByteArray out;
    for (int i = 0; i < times; ++i) {
        out += unit;
    }
    return out;
}

} // namespace

TEST(QvEditDefaults, NewControlHasTheStatedValues)
{
    TQvEdit edit;
    EXPECT_EQ(edit.size(), QSize(121, 25));
    EXPECT_TRUE(edit.MultiLine());
    EXPECT_TRUE(edit.WantReturns());
    EXPECT_FALSE(edit.WantTabs());
    EXPECT_TRUE(edit.HideScrollBars());
    EXPECT_EQ(edit.ScrollBars(), TQvEdit::ssNone);
    EXPECT_FALSE(edit.WordWrap());
    EXPECT_TRUE(edit.HideSelection());
    EXPECT_EQ(edit.MaxLength(), 32768);
    EXPECT_TRUE(edit.PasswordChar().isNull());
    EXPECT_TRUE(edit.PlainText());
    EXPECT_EQ(edit.Alignment(), TQvEdit::taLeftJustify);
    EXPECT_TRUE(edit.AutoSelect());
    EXPECT_FALSE(edit.AutoDetectUrls());
    EXPECT_EQ(edit.FindState(), TQvEdit::FreshSearch);
    EXPECT_EQ(edit.Converter() != nullptr, true);
    EXPECT_EQ(edit.TextLength(), 0);
}

TEST(QvEditDefaults, ConversionFormatsAreTxtThenRtf)
{
    const TConversionFormat* f = ConversionFormatList();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->Extension, "txt");
    ASSERT_NE(f->Next, nullptr);
    EXPECT_EQ(f->Next->Extension, "rtf");
    EXPECT_EQ(f->Next->Next, nullptr);
}

// ---- line breaks -----------------------------------------------------------------------------

struct BreakCase {
    const char* name;
    bool multiLine;
    bool wantReturns;
    bool takesBreak;
};

class QvEditEnter : public ::testing::TestWithParam<BreakCase> { };

TEST_P(QvEditEnter, EnterMakesALineBreakOnlyWhenWanted)
{
    const BreakCase& c = GetParam();
    TQvEdit edit;
    edit.SetMultiLine(c.multiLine);
    edit.SetWantReturns(c.wantReturns);
    Type(edit, "ab");
    PressKey(edit, Qt::Key_Return, "\r");
    PressKey(edit, Qt::Key_Enter, "\r", Qt::ShiftModifier);
    Type(edit, "c");
    EXPECT_EQ(edit.Text(), c.takesBreak ? "ab\n\nc" : "abc");
}

INSTANTIATE_TEST_SUITE_P(, QvEditEnter,
                         ::testing::Values(BreakCase{"SingleLine", false, true, false},
                                           BreakCase{"SingleLineNoReturns", false, false, false},
                                           BreakCase{"MultiLineNoReturns", true, false, false},
                                           BreakCase{"MultiLine", true, true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(QvEditSingleLine, PasteKeepsTheFirstLineOnly)
{
    TQvEdit edit;
    edit.SetMultiLine(false);
    PasteText(edit, "first line\r\nsecond line\nthird");
    EXPECT_EQ(edit.Text(), "first line");
    EXPECT_EQ(edit.document()->blockCount(), 1);
}

TEST(QvEditSingleLine, TextWrittenFromCodeKeepsTheFirstLine)
{
    TQvEdit edit;
    edit.SetMultiLine(false);
    edit.SetText("one\rtwo");
    EXPECT_EQ(edit.Text(), "one");
}

TEST(QvEditSingleLine, FocusSelectsAllWhenAutoSelect)
{
    QWidget window;
    auto* edit = new TQvEdit(&window);
    edit->SetMultiLine(false);
    edit->SetText("pattern");
    window.show();
    window.activateWindow();
    edit->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    ASSERT_TRUE(edit->hasFocus());
    EXPECT_EQ(edit->SelStart(), 0);
    EXPECT_EQ(edit->SelLength(), 7);
}

// ---- MaxLength ---------------------------------------------------------------------------------

TEST(QvEditMaxLength, TypingStopsAtTheLimit)
{
    TQvEdit edit;
    edit.SetMaxLength(5);
    Type(edit, "abcdefgh");
    EXPECT_EQ(edit.Text(), "abcde");
    // Replacing a selection makes room again.
    edit.SetSelStart(1);
    edit.SetSelLength(2);
    Type(edit, "xyz");
    EXPECT_EQ(edit.Text(), "axyde");
}

TEST(QvEditMaxLength, HugeSelLengthSelectsToTheEndInsteadOfWrapping)
{
    TQvEdit edit;
    edit.SetText("abcdefgh");
    edit.SetSelStart(3);
    edit.SetSelLength(INT_MAX);
    EXPECT_EQ(edit.SelStart(), 3);
    EXPECT_EQ(edit.SelLength(), 5);
}

TEST(QvEditMaxLength, PasteStopsAtTheLimit)
{
    TQvEdit edit;
    edit.SetMaxLength(10);
    edit.SetText("12345");
    edit.SetSelStart(5);
    PasteText(edit, "abcdefghij");
    EXPECT_EQ(edit.Text(), "12345abcde");
    PasteText(edit, "more");
    EXPECT_EQ(edit.Text(), "12345abcde");
}

TEST(QvEditMaxLength, ALogLongerThanTheViewerShowsItsBeginning)
{
    // 7,000 entries of 9 characters and a carriage return: 70,000 characters.
    QByteArray log = Repeat("line#####\r", 7000);
    ASSERT_EQ(log.size(), 70000);
    TQvEdit viewer;
    viewer.SetMaxLength(60000);
    QBuffer stream(&log);
    stream.open(QIODevice::ReadOnly);
    viewer.LoadFromStream(stream);
    EXPECT_EQ(viewer.TextLength(), 60000);
    EXPECT_EQ(viewer.document()->blockCount(), 6001);
    EXPECT_EQ(viewer.document()->findBlockByNumber(5999).text(), "line#####");
    EXPECT_EQ(viewer.document()->lastBlock().text(), "");
}

TEST(QvEditMaxLength, ZeroMeansThePlatformDefault)
{
    TQvEdit edit;
    edit.SetMaxLength(0);
    EXPECT_EQ(edit.MaxLength(), 0);
    EXPECT_EQ(edit.EffectiveMaxLength(), 65536);
    Type(edit, "abc");
    EXPECT_EQ(edit.Text(), "abc");
}

// ---- loading ---------------------------------------------------------------------------------

struct LoadCase {
    const char* name;
    QByteArray bytes;
    QString text;
};

class QvEditLoadStream : public ::testing::TestWithParam<LoadCase> { };

TEST_P(QvEditLoadStream, PlainTextBecomesLines)
{
    const LoadCase& c = GetParam();
    TQvEdit edit;
    edit.SetText("old contents");
    QByteArray bytes = c.bytes;
    QBuffer stream(&bytes);
    stream.open(QIODevice::ReadWrite);
    stream.seek(stream.size()); // left at its end by the writer
    edit.LoadFromStream(stream);
    EXPECT_EQ(edit.Text(), c.text);
    EXPECT_FALSE(edit.Modified());
}

INSTANTIATE_TEST_SUITE_P(, QvEditLoadStream,
                         ::testing::Values(LoadCase{"Empty", "", ""},
                                           LoadCase{"CarriageReturns", "one\rtwo\rthree\r",
                                                    "one\ntwo\nthree\n"},
                                           LoadCase{"CrLf", "one\r\ntwo", "one\ntwo"},
                                           LoadCase{"LineFeeds", "one\ntwo\n", "one\ntwo\n"},
                                           LoadCase{"BlankEntries", "a\r\rb", "a\n\nb"},
                                           LoadCase{"Utf8", "caf\xc3\xa9", "caf\u00e9"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(QvEditLoad, CrLfSplitAcrossReadChunksIsOneBreak)
{
    QByteArray bytes = Repeat("x", 4095) + "\r\nnext";
    QBuffer stream(&bytes);
    stream.open(QIODevice::ReadOnly);
    TQvEdit edit;
    edit.SetMaxLength(10000);
    edit.LoadFromStream(stream);
    EXPECT_EQ(edit.document()->blockCount(), 2);
    EXPECT_EQ(edit.document()->lastBlock().text(), "next");
}

TEST(QvEditLoad, StandardStreamIsReadFromItsBeginning)
{
    std::stringstream log;
    log << "first\rsecond\r";
    std::string rest;
    log >> rest; // leaves the stream at its end with eof set
    TQvEdit edit;
    edit.LoadFromStream(log);
    EXPECT_EQ(edit.Text(), "first\nsecond\n");
}

TEST(QvEditLoad, LoadingRaisesOnChangeAndClearsModified)
{
    TQvEdit edit;
    int changes = 0;
    edit.OnChange = [&] { ++changes; };
    Type(edit, "x");
    EXPECT_TRUE(edit.Modified());
    QByteArray bytes("abc");
    QBuffer stream(&bytes);
    stream.open(QIODevice::ReadOnly);
    edit.LoadFromStream(stream);
    EXPECT_GE(changes, 2);
    EXPECT_FALSE(edit.Modified());
}

class QvEditLoadFile : public ::testing::TestWithParam<const char*> { };

TEST_P(QvEditLoadFile, AnyExtensionLoadsAsTextWhenPlainText)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(GetParam());
    WriteBytes(path, "{\\rtf1 hello}\r");
    TQvEdit edit;
    EXPECT_TRUE(edit.LoadFromFile(path));
    EXPECT_EQ(edit.Text(), "{\\rtf1 hello}\n");
}

INSTANTIATE_TEST_SUITE_P(, QvEditLoadFile, ::testing::Values("README", "notes.txt", "notes.RTF", "data.log"));

TEST(QvEditLoad, UnreadableFileRaisesCannotOpen)
{
    QTemporaryDir dir;
    TQvEdit edit;
    edit.SetText("kept");
    try {
        edit.LoadFromFile(dir.path());
        FAIL() << "no error raised";
    } catch (const std::exception& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot open file " + dir.path().toStdString());
    }
    EXPECT_EQ(edit.Text(), "kept");
}

// ---- change notices -------------------------------------------------------------------------

TEST(QvEditChange, TextWrittenFromCodeRaisesOnChange)
{
    TQvEdit edit;
    int changes = 0;
    edit.OnChange = [&] { ++changes; };
    edit.SetText("abc");
    EXPECT_EQ(changes, 1);
    edit.Clear();
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(edit.TextLength(), 0);
}

TEST(QvEditChange, SelectionChangeIsReported)
{
    TQvEdit edit;
    edit.SetText("hello world");
    int moves = 0;
    edit.OnSelectionChange = [&] { ++moves; };
    edit.SetSelStart(3);
    edit.SetSelLength(4);
    EXPECT_EQ(moves, 2);
    EXPECT_EQ(edit.SelText(), "lo w");
}

// ---- the flat frame ----------------------------------------------------------------------------

namespace {

QImage Grab(TQvEdit& edit)
{
    return edit.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QRgb At(const QImage& image, int x, int y)
{
    return image.pixel(x, y);
}

} // namespace

TEST(QvEditFrame, NormalFrameIsFaceFaceWindow)
{
    TQvEdit edit;
    edit.resize(60, 30);
    const QImage image = Grab(edit);
    const QPalette pal = edit.palette();
    const QRgb face = pal.color(QPalette::Button).rgb();
    const QRgb window = pal.color(QPalette::Base).rgb();
    for (const QPoint& corner :
         {QPoint(0, 0), QPoint(59, 29), QPoint(30, 0), QPoint(0, 15), QPoint(59, 15), QPoint(30, 29)}) {
        EXPECT_EQ(At(image, corner.x(), corner.y()), face) << corner.x() << "," << corner.y();
    }
    EXPECT_EQ(At(image, 1, 15), face);
    EXPECT_EQ(At(image, 58, 15), face);
    EXPECT_EQ(At(image, 30, 1), face);
    EXPECT_EQ(At(image, 2, 15), window);
    EXPECT_EQ(At(image, 57, 15), window);
    EXPECT_EQ(At(image, 30, 27), window);
}

TEST(QvEditFrame, HotFrameHasASunkenOuterRing)
{
    TQvEdit edit;
    edit.resize(60, 30);
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(&edit, &enter);
    ASSERT_TRUE(edit.Highlighted());
    const QImage image = Grab(edit);
    const QPalette pal = edit.palette();
    const QRgb shadow = pal.color(QPalette::Dark).rgb();
    const QRgb light = pal.color(QPalette::Light).rgb();
    ASSERT_NE(shadow, light);
    EXPECT_EQ(At(image, 30, 0), shadow);
    EXPECT_EQ(At(image, 0, 15), shadow);
    EXPECT_EQ(At(image, 0, 0), shadow);
    EXPECT_EQ(At(image, 30, 29), light);
    EXPECT_EQ(At(image, 59, 15), light);
    EXPECT_EQ(At(image, 59, 29), light);
    EXPECT_EQ(At(image, 1, 15), pal.color(QPalette::Button).rgb());
    EXPECT_EQ(At(image, 2, 15), pal.color(QPalette::Base).rgb());

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&edit, &leave);
    EXPECT_FALSE(edit.Highlighted());
    EXPECT_EQ(At(Grab(edit), 30, 0), pal.color(QPalette::Button).rgb());
}

TEST(QvEditFrame, ColorPaintsTheTextAreaNotTheFrame)
{
    TQvEdit edit;
    edit.resize(60, 30);
    edit.SetColor(QColor(Qt::yellow));
    const QImage image = Grab(edit);
    EXPECT_EQ(At(image, 30, 15), QColor(Qt::yellow).rgb());
    EXPECT_EQ(At(image, 2, 15), edit.palette().color(QPalette::Base).rgb());
}

// ---- editing commands --------------------------------------------------------------------------

TEST(QvEditCommands, CopyPasteUndoRoundTrip)
{
    TQvEdit edit;
    edit.SetText("alpha beta");
    edit.SetSelStart(0);
    edit.SetSelLength(5);
    edit.CopyToClipboard();
    EXPECT_EQ(QApplication::clipboard()->text(), "alpha");
    edit.SetSelStart(10);
    edit.PasteFromClipboard();
    EXPECT_EQ(edit.Text(), "alpha betaalpha");
    edit.Undo();
    EXPECT_EQ(edit.Text(), "alpha beta");
    edit.SetSelStart(5);
    edit.SetSelLength(5);
    edit.CutToClipboard();
    EXPECT_EQ(edit.Text(), "alpha");
    EXPECT_EQ(QApplication::clipboard()->text(), " beta");
    edit.SelectAll();
    EXPECT_EQ(edit.SelLength(), 5);
    edit.ClearSelection();
    EXPECT_EQ(edit.Text(), "");
}

TEST(QvEditCommands, NothingSelectedChangesNothing)
{
    TQvEdit edit;
    QApplication::clipboard()->setText("kept");
    edit.CopyToClipboard();
    edit.CutToClipboard();
    edit.ClearSelection();
    edit.Undo();
    EXPECT_EQ(edit.Text(), "");
    EXPECT_EQ(QApplication::clipboard()->text(), "kept");
}

TEST(QvEditCommands, ReadOnlyRefusesChanges)
{
    TQvEdit edit;
    edit.SetText("fixed");
    edit.SetReadOnly(true);
    edit.SelectAll();
    edit.CutToClipboard();
    edit.ClearSelection();
    PasteText(edit, "new");
    Type(edit, "x");
    EXPECT_EQ(edit.Text(), "fixed");
}

TEST(QvEditCommands, UndoDoesNothingWhenReadOnly)
{
    TQvEdit edit;
    edit.SetText("a");
    edit.SetSelStart(1);
    Type(edit, "b");
    ASSERT_EQ(edit.Text(), "ab");
    edit.SetReadOnly(true);
    edit.Undo();
    EXPECT_EQ(edit.Text(), "ab");
    edit.SetReadOnly(false);
    edit.Undo();
    EXPECT_EQ(edit.Text(), "a");
}

TEST(QvEditChange, PasswordControlReportsNoChangeWhenOnlyItsLookChanges)
{
    TQvEdit edit;
    edit.SetPasswordChar(u'*');
    edit.SetText("secret");
    int changes = 0;
    edit.OnChange = [&] { ++changes; };
    QFont font = edit.font();
    font.setPointSize(font.pointSize() + 4);
    edit.setFont(font);
    QPalette palette = edit.palette();
    palette.setColor(QPalette::Text, Qt::red);
    edit.setPalette(palette);
    EXPECT_EQ(changes, 0);
    Type(edit, "x");
    EXPECT_EQ(changes, 1);
}

TEST(QvEditCommands, PasswordControlDoesNotCopy)
{
    TQvEdit edit;
    edit.SetPasswordChar(u'*');
    edit.SetText("secret");
    QApplication::clipboard()->setText("before");
    edit.SelectAll();
    edit.CopyToClipboard();
    edit.CutToClipboard();
    EXPECT_EQ(QApplication::clipboard()->text(), "before");
    EXPECT_EQ(edit.Text(), "secret");
}

TEST(QvEditSelection, SelTextBufCopiesAtMostSizeMinusOne)
{
    TQvEdit edit;
    edit.SetText("abcdef");
    edit.SetSelStart(1);
    edit.SetSelLength(4);
    char buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(edit.GetSelTextBuf(buffer, sizeof buffer), 3);
    EXPECT_STREQ(buffer, "bcd");
    char big[16];
    EXPECT_EQ(edit.GetSelTextBuf(big, sizeof big), 4);
    EXPECT_STREQ(big, "bcde");
}

TEST(QvEditSelection, ParagraphBreakCountsAsOneCharacter)
{
    TQvEdit edit;
    edit.SetText("ab\ncd");
    EXPECT_EQ(edit.TextLength(), 5);
    edit.SetSelStart(1);
    edit.SetSelLength(3);
    EXPECT_EQ(edit.SelText(), "b\nc");
}

TEST(QvEditLoad, MissingFileShowsTheMessageAndKeepsTheContents)
{
    TScriptedDialogs dialogs;
    Application::SetTitle("Sifton");
    QTemporaryDir dir;
    TQvEdit edit;
    edit.SetText("kept");
    EXPECT_FALSE(edit.LoadFromFile(dir.filePath("Readme.RTF")));
    EXPECT_EQ(edit.Text(), "kept");
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    const TMessageBoxCall& box = dialogs.Messages[0];
    EXPECT_EQ(box.Text, "     This application could not open the file for viewing because\r"
                        "the path or file name no longer exists. Please try again later.\r\r"
                        "     Press Ok to continue.\r");
    EXPECT_EQ(box.Caption, "Sifton");
    EXPECT_EQ(box.Flags, MB_OK | MB_ICONHAND | MB_TASKMODAL | MB_TOPMOST);
}

// ---- URL hover watch -------------------------------------------------------------------------

namespace {

void HoverAt(TQvEdit& edit, int index)
{
    QTextCursor c(edit.document());
    c.setPosition(index);
    const QRect r = edit.cursorRect(c);
    const QPointF at(r.left() + 2, r.center().y());
    QMouseEvent move(QEvent::MouseMove, at, edit.viewport()->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(edit.viewport(), &move);
}

} // namespace

struct HoverCase {
    const char* name;
    int index; // in HoverText
    const char* url; // CurrentURL afterwards
    std::vector<QString> events;
};

const QString HoverText = "see http://example.com/a,www.site.org mail me@host.net or plain words";

class QvEditHover : public ::testing::TestWithParam<HoverCase> { };

TEST_P(QvEditHover, WordUnderTheMouse)
{
    const HoverCase& c = GetParam();
    TQvEdit edit;
    edit.resize(700, 60);
    edit.SetAutoDetectUrls(true);
    edit.SetText(HoverText);
    std::vector<QString> events;
    edit.OnMouseOverURL = [&](const QString& URL) { events.push_back(URL); };
    HoverAt(edit, c.index);
    EXPECT_EQ(edit.CurrentURL(), c.url);
    EXPECT_EQ(events, c.events);
    EXPECT_EQ(edit.viewport()->cursor().shape() == Qt::PointingHandCursor, QString(c.url) != "");
}

INSTANTIATE_TEST_SUITE_P(
    , QvEditHover,
    ::testing::Values(HoverCase{"Http", 10, "http://example.com/a", {"http://example.com/a"}},
                      HoverCase{"CommaEndsTheWord", 28, "www.site.org", {"www.site.org"}},
                      HoverCase{"MailAddress", 46, "me@host.net", {"me@host.net"}},
                      HoverCase{"PlainWordRaisesNothing", 64, "", {}},
                      HoverCase{"DelimiterRaisesEmpty", 3, "", {""}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(QvEditUrls, WatchIsOffByDefault)
{
    TQvEdit edit;
    edit.resize(700, 60);
    edit.SetText(HoverText);
    bool raised = false;
    edit.OnMouseOverURL = [&](const QString&) { raised = true; };
    HoverAt(edit, 10);
    EXPECT_FALSE(raised);
    EXPECT_EQ(edit.CurrentURL(), "");
}

TEST(QvEditUrls, DetectionUnderlinesAddressesWithoutChangingTheText)
{
    TQvEdit edit;
    edit.SetText("go to www.example.org now");
    int changes = 0;
    edit.OnChange = [&] { ++changes; };
    edit.SetAutoDetectUrls(true);
    const QTextLayout* layout = edit.document()->firstBlock().layout();
    bool underlined = false;
    for (const QTextLayout::FormatRange& range : layout->formats()) {
        if (range.start == 6 && range.length == 15 && range.format.fontUnderline()) {
            underlined = true;
        }
    }
    EXPECT_TRUE(underlined);
    EXPECT_EQ(changes, 0);
    EXPECT_FALSE(edit.Modified());
}

TEST(QvEditUrls, DestroyingTheControlRaisesNoChange)
{
    int changes = 0;
    auto* edit = new TQvEdit;
    edit->SetText("go to www.example.org now");
    edit->OnChange = [&] { ++changes; };
    edit->SetAutoDetectUrls(true);
    delete edit;
    EXPECT_EQ(changes, 0);
}

// ---- selection visibility and the popup menu -----------------------------------------------------

namespace {

int HighlightPixels(TQvEdit& edit)
{
    const QImage image = edit.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRgb highlight = edit.palette().color(QPalette::Active, QPalette::Highlight).rgb();
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += image.pixel(x, y) == highlight;
        }
    }
    return count;
}

} // namespace

TEST(QvEditSelection, HideSelectionHidesItWithoutFocus)
{
    TQvEdit edit;
    edit.resize(200, 40);
    edit.SetText("some selected text");
    edit.SetSelStart(5);
    edit.SetSelLength(8);
    ASSERT_FALSE(edit.hasFocus());
    EXPECT_EQ(HighlightPixels(edit), 0);
    edit.SetHideSelection(false);
    EXPECT_GT(HighlightPixels(edit), 50);
}

TEST(QvEditPopup, RightClickFocusesThenShowsTheMenuWithItsControl)
{
    QWidget window;
    auto* edit = new TQvEdit(&window);
    auto* other = new TQvEdit(&window);
    QMenu menu;
    edit->SetPopupMenu(&menu);
    window.show();
    other->setFocus();
    QApplication::processEvents();
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), edit->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(edit->viewport(), &event);
    EXPECT_TRUE(edit->hasFocus());
    EXPECT_TRUE(menu.isVisible());
    EXPECT_EQ(menu.property("PopupComponent").value<QObject*>(), edit);
    menu.hide();
}
