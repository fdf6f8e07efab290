#include "app/Viewer.h"

#include "app/SourceIndex.h"
#include "app/ViewerText.h"
#include "app/gConsts.h"
#include "controls/richtext/FindDialog.h"
#include "platform/Dialogs.h"
#include "platform/ErrorGuard.h"
#include "search/LineIndex.h"
#include "search/LiteralFinder.h"
#include "search/TextSource.h"

#include <QApplication>
#include <QEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>
#include <optional>
#include <stdexcept>
#include <sys/stat.h>

namespace {

constexpr std::int64_t TextEnd = std::numeric_limits<std::int64_t>::max();
// Reported lines F3 remembers from one reading of the file.
constexpr std::size_t MaxRememberedLines = std::size_t{1} << 18;

// The text the run read: a compressed file decompressed when the run did, a UTF-16 file converted.
// Without a run, as a search with the window's own defaults reads it.
DecodeOptions DecodeOptionsFor(const TViewRequest& request)
{
    DecodeOptions options;
    options.Utf16 = true;
    options.Decompress = request.Request ? request.Request->Decompress : true;
    return options;
}

std::string Bytes(const QString& text)
{
    return text.toLocal8Bit().toStdString();
}

QString Decoded(std::string_view bytes)
{
    return QString::fromLocal8Bit(bytes.data(), qsizetype(bytes.size()));
}

// What the viewer's find takes as a letter of a word: ASCII letters, digits and "_", and every byte of
// a character beyond ASCII.
bool IsWordByte(int c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
           c >= 0x80;
}

// Restores the cursor however the scope is left.
struct TWaitCursor {
    TWaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~TWaitCursor() { QApplication::restoreOverrideCursor(); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;
};

} // namespace

TFileViewer::TFileViewer(QWidget* parent)
    : QWidget(parent, Qt::Window)
    , FText(new TViewerText(this))
    , FNotice(new QWidget(this))
    , FNoticeLabel(new QLabel(FNotice))
    , FReload(new QPushButton(tr("&Reload"), FNotice))
    , FStatus(new QLabel(this))
    , FFindDialog(new TFindDialog(this))
{
    setObjectName(QStringLiteral("FileViewer"));
    resize(820, 560);
    FNotice->setAutoFillBackground(true);
    FNotice->setBackgroundRole(QPalette::ToolTipBase);
    FNoticeLabel->setForegroundRole(QPalette::ToolTipText);
    auto* noticeLayout = new QHBoxLayout(FNotice);
    noticeLayout->setContentsMargins(8, 4, 8, 4);
    noticeLayout->addWidget(FNoticeLabel, 1);
    noticeLayout->addWidget(FReload);
    FNotice->hide();
    FStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 2);
    layout->setSpacing(2);
    layout->addWidget(FNotice);
    layout->addWidget(FText, 1);
    layout->addWidget(FStatus);
    FStatus->setContentsMargins(6, 0, 6, 0);
    setFocusProxy(FText);

    FFindDialog->OnShow = [this] { FFindState = TFindState::Fresh; };
    FFindDialog->OnClose = [this] { FFindState = TFindState::Fresh; };
    FFindDialog->OnFind = Guard([this] { FindNext(); });
    FText->OnCaretMoved = [this] { UpdateCaption(); };

    const auto key = [this](QKeySequence sequence, auto handler) {
        auto* shortcut = new QShortcut(sequence, this);
        connect(shortcut, &QShortcut::activated, this, Guard(handler));
    };
    key(QKeySequence(Qt::Key_F3), [this] { NextReportedLine(true); });
    key(QKeySequence(Qt::SHIFT | Qt::Key_F3), [this] { NextReportedLine(false); });
    key(QKeySequence(Qt::CTRL | Qt::Key_F), [this] { FindClick(); });
    key(QKeySequence(Qt::CTRL | Qt::Key_G), [this] { GoToLineClick(); });
    key(QKeySequence(Qt::Key_Escape), [this] { close(); });
    connect(FReload, &QPushButton::clicked, this, Guard([this] { ReloadClick(); }));
    connect(&FWatcher, &QFileSystemWatcher::fileChanged, this, Guard([this] { CheckFile(); }));
}

TFileViewer::~TFileViewer()
{
    FText->SetIndex(nullptr);
}

TFileViewer::TStamp TFileViewer::StampOf(const QString& path)
{
    struct stat info { };
    TStamp stamp;
    if (::stat(Bytes(path).c_str(), &info) != 0) {
        return stamp;
    }
    stamp.Exists = true;
    stamp.Device = info.st_dev;
    stamp.Inode = info.st_ino;
    stamp.Size = info.st_size;
    stamp.Modified = std::int64_t(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    return stamp;
}

void TFileViewer::Watch(const QString& path)
{
    if (!FWatcher.files().isEmpty()) {
        FWatcher.removePaths(FWatcher.files());
    }
    FWatcher.addPath(path);
}

void TFileViewer::Attach(std::unique_ptr<TextSource> source)
{
    FText->SetIndex(nullptr);
    FIndex.reset();
    FSource = std::move(source);
    FIndex = std::make_unique<LineIndex>(*FSource, FFormat);
    FText->SetIndex(FIndex.get());
    FStamp = StampOf(FPath);
    FNotice->hide();
    FNoticeLabel->clear();
    FReported.clear();
    FReportedThrough = 0;
    FReportedAll = false;
    FFindState = TFindState::Fresh;
}

void TFileViewer::Open(const TViewRequest& Request)
{
    const QString path = QFileInfo(Request.FileName).absoluteFilePath();
    const LineFormat format = Request.Request ? Request.Request->LineFormat : LineFormat::Unix;
    // The same file, unchanged and numbered alike, keeps what has been counted of it.
    if (!FIndex || path != FPath || format != FFormat || StampOf(path) != FStamp ||
        DecodeOptionsFor(Request).Decompress != DecodeOptionsFor(FRequest).Decompress) {
        std::string reason;
        std::unique_ptr<TextSource> source = OpenTextSource(Bytes(path), reason, DecodeOptionsFor(Request));
        if (!source) {
            throw std::runtime_error("Cannot open file " + Bytes(path));
        }
        FPath = path;
        FFormat = format;
        Watch(path);
        Attach(std::move(source));
    }
    if (Request.Request != FRequest.Request) {
        FReported.clear();
        FReportedThrough = 0;
        FReportedAll = false;
    }
    FRequest = Request;
    FText->SetStrings(Request.Request ? MatchStringsOf(*Request.Request) : TMatchStrings{});
    show();
    FText->ShowLine(Request.Line > 0 && FIndex->StartOf(Request.Line) >= 0 ? Request.Line : 0);
    UpdateCaption();
    raise();
    activateWindow();
    FText->setFocus();
}

void TFileViewer::UpdateCaption()
{
    const std::int64_t line = FText->Caret().Line;
    setWindowTitle(QStringLiteral("%1:%2 \u2014 %3")
                       .arg(QFileInfo(FPath).fileName())
                       .arg(line)
                       .arg(QString::fromLatin1(gConsts::ProductTitle)));
    FStatus->setText(tr("%1    Line %2, Column %3").arg(FPath).arg(line).arg(FText->Caret().Column + 1));
}

QString TFileViewer::StatusText() const
{
    return FStatus->text();
}

// ---- the file changing --------------------------------------------------------------------------------

void TFileViewer::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // Coming back to the window is when a change missed by the watch matters.
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        Guarded([this] { CheckFile(); });
    }
}

void TFileViewer::ShowNotice(const QString& text, bool reload)
{
    FNoticeLabel->setText(text);
    FReload->setVisible(reload);
    FNotice->show();
}

QString TFileViewer::NoticeText() const
{
    return FNotice->isVisible() || !FNotice->isHidden() ? FNoticeLabel->text() : QString();
}

void TFileViewer::CheckFile()
{
    if (FPath.isEmpty() || !FIndex) {
        return;
    }
    const TStamp now = StampOf(FPath);
    if (!now.Exists) {
        // The open file still holds what it held; only a file there again can be read anew.
        ShowNotice(tr("The file has been deleted or moved; this is what it held."), false);
    } else if (now != FStamp) {
        ShowNotice(tr("The file has changed since it was read."), true);
    }
    // A file replaced by a new one (as editors save) is no longer the one watched.
    if (now.Exists && !FWatcher.files().contains(FPath)) {
        FWatcher.addPath(FPath);
    }
}

void TFileViewer::ReloadClick()
{
    std::string reason;
    std::unique_ptr<TextSource> source = OpenTextSource(Bytes(FPath), reason, DecodeOptionsFor(FRequest));
    if (!source) {
        throw std::runtime_error("Cannot open file " + Bytes(FPath));
    }
    const std::int64_t line = FText->Caret().Line;
    Attach(std::move(source));
    FText->ShowLine(FIndex->StartOf(line) >= 0 ? line : FText->LastLine());
    UpdateCaption();
}

// ---- F3 and go to line --------------------------------------------------------------------------------

// The run's own scan reads the file for the lines it reports (the engine decides, so F3 goes exactly
// where the run's entries came from). What one reading finds is kept, so going on costs nothing until
// the kept lines run out.
bool TFileViewer::NextReportedLine(bool Down)
{
    if (!FRequest.Request || !FIndex) {
        return false;
    }
    const std::int64_t from = FText->Caret().Line;
    const auto known = [&]() -> std::optional<std::int64_t> {
        if (Down) {
            const auto next = std::upper_bound(FReported.begin(), FReported.end(), from);
            if (next != FReported.end()) {
                return *next;
            }
            return FReportedAll ? std::optional<std::int64_t>(0) : std::nullopt;
        }
        if (FReportedAll || from - 1 <= FReportedThrough) {
            const auto next = std::lower_bound(FReported.begin(), FReported.end(), from);
            return next == FReported.begin() ? 0 : *(next - 1);
        }
        return std::nullopt;
    };
    std::optional<std::int64_t> target = known();
    if (!target) {
        const TWaitCursor wait;
        FReported.clear();
        FReportedThrough = 0;
        std::int64_t answer = 0;
        bool keeping = true;
        bool stopped = false;
        const bool read = ForEachReportedLine(*FRequest.Request, Bytes(FPath), [&](std::int64_t number) {
            if (keeping && FReported.size() < MaxRememberedLines) {
                FReported.push_back(number);
                FReportedThrough = number;
            } else {
                keeping = false;
            }
            if (Down ? number > from : number >= from) {
                answer = Down ? number : answer;
                stopped = true;
                return false;
            }
            answer = Down ? answer : number;
            return true;
        });
        FReportedAll = read && keeping && !stopped;
        target = answer;
    }
    if (*target <= 0) {
        QApplication::beep();
        FStatus->setText(Down ? tr("No later line was reported by the run.")
                              : tr("No earlier line was reported by the run."));
        return false;
    }
    FText->ShowLine(*target);
    return true;
}

void TFileViewer::GoToLineClick()
{
    if (!FIndex) {
        return;
    }
    const std::optional<QString> answer =
        Dialogs().InputQuery(tr("Go to Line"), tr("Line number:"), QString::number(FText->Caret().Line));
    if (!answer) {
        return;
    }
    bool number = false;
    std::int64_t line = answer->trimmed().toLongLong(&number);
    if (!number || line < 1) {
        QApplication::beep();
        return;
    }
    if (FIndex->StartOf(line) < 0) {
        line = FText->LastLine();
    }
    FText->ShowLine(line);
}

// ---- find ---------------------------------------------------------------------------------------------

void TFileViewer::FindClick()
{
    FFindDialog->Execute();
}

std::int64_t TFileViewer::OffsetOf(std::int64_t line, int column)
{
    const std::int64_t start = FIndex->StartOf(line);
    if (start < 0) {
        return 0;
    }
    return start + FText->LineText(line).left(column).toLocal8Bit().size();
}

// The output pane's find sequence over the whole file: from the selection down or up, the wrap
// question at the end, "Search complete." when a wrapped search finds nothing more. Bytes are compared
// as the search compares them (Match case off folds the ASCII letters), through the engine's finder,
// so a search through a large file goes at the engine's pace.
void TFileViewer::FindNext()
{
    if (!FIndex) {
        return;
    }
    const bool down = FFindDialog->Down();
    if (FFindState == TFindState::Fresh) {
        const TViewerText::TPosition from = std::min(FText->Anchor(), FText->Caret());
        std::int64_t start = OffsetOf(from.Line, from.Column);
        const bool atEnd =
            FIndex->StartOf(from.Line + 1) < 0 && from.Column >= FText->LineText(from.Line).size();
        if ((down && atEnd) || (!down && start == 0)) {
            if (!AskToWrapFind()) {
                FFindDialog->CloseDialog();
                return;
            }
            start = down ? 0 : TextEnd;
            FFindState = TFindState::Wrapped;
        }
        FFindFrom = start;
        FFindTo = down ? TextEnd : 0;
    }
    const std::string typed = Bytes(FFindDialog->FindText());
    const bool fold = !FFindDialog->MatchCase();
    const LiteralFinder finder(fold ? FoldAscii(typed) : typed, fold);
    const auto size = std::int64_t(typed.size());
    for (;;) {
        std::int64_t low = down ? FFindFrom : FFindTo;
        std::int64_t high = down ? FFindTo : FFindFrom;
        IndexedLine line;
        std::int64_t found = -1;
        std::int64_t number = 0;
        while ((found = FIndex->Find(finder, low, high, down)) >= 0) {
            // The bytes around decide a whole word; the line is looked up only for a match that counts.
            const bool whole = !FFindDialog->WholeWord() || (!IsWordByte(FIndex->ByteAt(found - 1)) &&
                                                             !IsWordByte(FIndex->ByteAt(found + size)));
            if (!whole) {
                if (down) {
                    low = found + 1;
                } else {
                    high = found + size - 1;
                }
                continue;
            }
            number = FIndex->LineAt(found);
            const std::int64_t start = FIndex->StartOf(number);
            if (found + size - start <= std::int64_t(TViewerText::MaxLineBytes)) {
                FIndex->ReadLine(start, TViewerText::MaxLineBytes, line);
                break;
            }
            // In the part of a long line that is not shown, where it cannot be selected: past that part.
            if (down) {
                low = FIndex->StartOf(number + 1);
                if (low < 0) {
                    found = -1;
                    break;
                }
            } else {
                high = start + std::int64_t(TViewerText::MaxLineBytes);
            }
        }
        if (found >= 0) {
            const std::string_view bytes(line.Bytes);
            const auto at = std::size_t(found - line.Start);
            const int first = int(Decoded(bytes.substr(0, at)).size());
            const int last = first + int(Decoded(bytes.substr(at, std::size_t(size))).size());
            FText->Select({number, first}, {number, last});
            FFindFrom = down ? found + size : found;
            FFindState = TFindState::Continuing;
            return;
        }
        if (FFindState != TFindState::Fresh) {
            ShowFindComplete();
            FFindDialog->CloseDialog();
            return;
        }
        if (!AskToWrapFind()) {
            FFindDialog->CloseDialog();
            return;
        }
        FFindFrom = down ? 0 : TextEnd;
        FFindState = TFindState::Wrapped;
    }
}
