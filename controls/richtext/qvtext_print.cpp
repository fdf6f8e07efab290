#include "controls/richtext/qvtext_print.h"

#include "controls/objects/OleContainer.h"
#include "controls/pndlg.h"
#include "controls/richtext/qvtext.h"
#include "platform/Application.h"
#include "platform/Dialogs.h"

#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

namespace {

TPrinterSource& PrinterSource()
{
    static TPrinterSource source;
    return source;
}

std::unique_ptr<QPrinter> DefaultPrinter()
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        return nullptr;
    }
    return std::make_unique<QPrinter>(info, QPrinter::HighResolution);
}

QString PageStatus(int page, int next, int divisor)
{
    const long percent = std::lround(static_cast<double>(next) / divisor * 100.0);
    return QStringLiteral("Printing Page %1\r\n%2% complete. Please wait...").arg(page).arg(percent);
}

// True while a job runs; a second Print meanwhile is refused quietly.
bool Printing = false;

// One job: its pages go into a spool file shaped like the target printer's paper and reach the target
// only when the job ends. Qt's PDF and CUPS engines cannot abort a job once started, so a cancelled
// job is simply never handed over.
class TPrintJob {
public:
    TPrintJob(QPrinter& target, const QString& title)
        : FTarget(target)
        , FTitle(title)
        , FSpool(QPrinter::HighResolution)
    {
        FSpool.setOutputFormat(QPrinter::PdfFormat);
        FSpool.setResolution(target.resolution());
        FSpool.setPageLayout(target.pageLayout());
        FSpool.setFullPage(target.fullPage());
        // The spooler's name for the job; Qt takes it before the job starts.
        FSpool.setDocName(title);
    }
    TPrintJob(const TPrintJob&) = delete;
    TPrintJob& operator=(const TPrintJob&) = delete;

    /// Starts the job; false when it cannot start (nowhere to send it, no spool file).
    bool Start(QPainter& painter)
    {
        if (!FSpoolDir->isValid() || !CanHandOver()) {
            return false;
        }
        FSpool.setOutputFileName(FSpoolDir->filePath(QStringLiteral("job.pdf")));
        return painter.begin(&FSpool);
    }

    QPrinter& Device() { return FSpool; }

    /// Closes the spool file and hands it to the target: a PDF file, or a print queue through lp.
    void End(QPainter& painter)
    {
        painter.end();
        const QString spooled = FSpool.outputFileName();
        if (FTarget.outputFormat() == QPrinter::PdfFormat) {
            QFile::remove(FTarget.outputFileName());
            QFile::rename(spooled, FTarget.outputFileName());
            return;
        }
        HandToPrintQueue(FTarget.printerName(), FTitle, FSpoolDir, spooled);
    }

    /// Drops every page formatted so far.
    void Abort(QPainter& painter)
    {
        if (painter.isActive()) {
            FSpool.abort();
            painter.end();
        }
    }

private:
    static QString LpProgram() { return QStandardPaths::findExecutable(QStringLiteral("lp")); }

    bool CanHandOver() const
    {
        if (FTarget.outputFormat() == QPrinter::PdfFormat) {
            const QFileInfo file(FTarget.outputFileName());
            return !FTarget.outputFileName().isEmpty() && file.absoluteDir().exists() && !file.isDir();
        }
        return !FTarget.printerName().isEmpty() && !LpProgram().isEmpty();
    }

    QPrinter& FTarget;
    QString FTitle;
    // Shared with the hand-over, which keeps the spool file until lp has taken it.
    std::shared_ptr<QTemporaryDir> FSpoolDir = std::make_shared<QTemporaryDir>();
    QPrinter FSpool;
};

} // namespace

// The queue may take its time (a remote printer, a busy server); the window must not wait for it.
void HandToPrintQueue(const QString& printer, const QString& title, std::shared_ptr<QTemporaryDir> spoolDir,
                      const QString& spooled)
{
    auto* lp = new QProcess(QCoreApplication::instance());
    const auto report = [printer](const QString& reason) {
        MessageBox(QStringLiteral("Unable to print to %1: %2").arg(printer, reason), Application::Title(),
                   MB_OK | MB_ICONHAND | MB_TASKMODAL | MB_TOPMOST);
    };
    QObject::connect(
        lp, &QProcess::finished, lp, [lp, spoolDir, report](int exitCode, QProcess::ExitStatus status) {
            lp->deleteLater();
            if (status != QProcess::NormalExit || exitCode != 0) {
                const QString said = QString::fromLocal8Bit(lp->readAllStandardError()).trimmed();
                report(said.isEmpty() ? QStringLiteral("lp ended with status %1").arg(exitCode) : said);
            }
        });
    QObject::connect(lp, &QProcess::errorOccurred, lp, [lp, spoolDir, report](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            lp->deleteLater();
            report(lp->errorString());
        }
    });
    lp->start(QStandardPaths::findExecutable(QStringLiteral("lp")),
              {QStringLiteral("-d"), printer, QStringLiteral("-t"), title, QStringLiteral("--"), spooled});
}

TTwipsRect PrintRectTwips(const TPrinterMetrics& printer, float top, float left, float bottom, float right)
{
    const int x = printer.LogPixelsX;
    const int y = printer.LogPixelsY;
    const long topPx = std::lround(top * y);
    const long leftPx = std::lround(left * x);
    const long bottomPx = std::lround(bottom * y);
    const long rightPx = std::lround(right * x);
    TTwipsRect r;
    r.Left = static_cast<int>((leftPx - printer.PhysicalOffsetX) * 1440 / x);
    r.Top = static_cast<int>((topPx - printer.PhysicalOffsetY) * 1440 / y);
    r.Right = static_cast<int>((printer.PrintableWidth - rightPx) * 1440 / x);
    r.Bottom = static_cast<int>((printer.PrintableHeight - bottomPx) * 1440 / y);
    return r;
}

TPrinterMetrics MetricsOf(QPrinter& printer)
{
    const int resolution = printer.resolution();
    const QRect paint = printer.pageLayout().paintRectPixels(resolution);
    TPrinterMetrics m;
    m.LogPixelsX = printer.logicalDpiX();
    m.LogPixelsY = printer.logicalDpiY();
    m.PhysicalOffsetX = paint.left();
    m.PhysicalOffsetY = paint.top();
    m.PrintableWidth = printer.width();
    m.PrintableHeight = printer.height();
    return m;
}

void SetPrinterSource(TPrinterSource source)
{
    PrinterSource() = std::move(source);
}

TPageFormatter::TPageFormatter(const QTextDocument& source, QPrinter& printer, int pageWidth, int pageHeight)
    : FDocument(source.clone())
    , FPageWidth(pageWidth)
    , FPageHeight(pageHeight)
{
    // Lay the copy out with the printer's metrics, as one long column as wide as the page.
    TOleContainer::ShareObjects(source, *FDocument); // objects print in place
    FDocument->documentLayout()->setPaintDevice(&printer);
    FDocument->setDocumentMargin(0);
    // On paper a long line wraps, even inside a word, instead of running off the page.
    QTextOption option = FDocument->defaultTextOption();
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    FDocument->setDefaultTextOption(option);
    if (FPageWidth <= 0 || FPageHeight <= 0) {
        return;
    }
    FDocument->setTextWidth(FPageWidth);
    QAbstractTextDocumentLayout* layout = FDocument->documentLayout();
    for (QTextBlock block = FDocument->begin(); block.isValid(); block = block.next()) {
        if (!block.isVisible()) {
            continue;
        }
        const QRectF blockRect = layout->blockBoundingRect(block);
        const QTextLayout* lines = block.layout();
        for (int i = 0; i < lines->lineCount(); ++i) {
            const QTextLine line = lines->lineAt(i);
            const double y = blockRect.top() + line.y();
            FLines.push_back(
                {y, y + line.height(), block.position() + line.textStart(), block.blockNumber(), i});
        }
    }
}

TPageFormatter::~TPageFormatter() = default;

int TPageFormatter::Total() const
{
    return FDocument->characterCount() - 1;
}

int TPageFormatter::FormatRange(QPainter& painter, int left, int top, int start)
{
    // The page begins with the line where `start` lies and takes every following line that fits whole.
    auto first = std::upper_bound(FLines.begin(), FLines.end(), start,
                                  [](int pos, const TLine& l) { return pos < l.Start; });
    if (first == FLines.begin()) {
        return start;
    }
    --first;
    const double pageTop = first->Y;
    auto past = first;
    while (past != FLines.end() && past->Bottom <= pageTop + FPageHeight + 0.01) {
        ++past;
    }
    if (past == first) {
        return start;
    }
    painter.save();
    painter.setClipRect(QRect(left, top, FPageWidth, FPageHeight));
    painter.translate(left, top - pageTop);
    painter.setPen(Qt::black);
    // Only the page's own lines are drawn: a line that belongs to the neighbouring page, even
    // clipped from sight, would still be in the printed data.
    for (auto line = first; line != past; ++line) {
        const QTextBlock block = FDocument->findBlockByNumber(line->Block);
        block.layout()->lineAt(line->Line).draw(&painter, block.layout()->position());
    }
    painter.restore();

    return past == FLines.end() ? Total() : past->Start;
}

void PrintDocument(const QTextDocument& document, const QString& title, float top, float left, float bottom,
                   float right)
{
    if (Printing) {
        return;
    }
    Printing = true;
    struct TPrintingFlag {
        ~TPrintingFlag() { Printing = false; }
    } printingFlag;

    CreateFrmPrint();
    TFrmPrint& dialog = *FrmPrint;
    dialog.SetModalResult(TFrmPrint::NotCancelled);
    dialog.SetStatus(QStringLiteral("Formatting Rich Text. Please wait..."));
    dialog.show();
    const auto hideDialog = [&dialog] {
        dialog.hide();
        Application::ProcessMessages();
    };

    const TPrinterSource& source = PrinterSource();
    std::unique_ptr<QPrinter> target = source ? source() : DefaultPrinter();
    std::optional<TPrintJob> job;
    if (target) {
        job.emplace(*target, title);
    }
    QPainter painter; // ends before the job goes
    if (!job || !job->Start(painter)) {
        hideDialog();
        return;
    }
    QPrinter* printer = &job->Device();
    try {
        Application::ProcessMessages();
        const TPrinterMetrics metrics = MetricsOf(*printer);
        const TTwipsRect twips = PrintRectTwips(metrics, top, left, bottom, right);
        const auto toX = [&](int t) {
            return static_cast<int>(static_cast<long long>(t) * metrics.LogPixelsX / 1440);
        };
        const auto toY = [&](int t) {
            return static_cast<int>(static_cast<long long>(t) * metrics.LogPixelsY / 1440);
        };
        auto formatter = std::make_unique<TPageFormatter>(
            document, *printer, toX(twips.Right) - toX(twips.Left), toY(twips.Bottom) - toY(twips.Top));

        const int total = formatter->Total();
        const int divisor = total == 0 ? 100 : total;
        int next = 0;
        int page = 1;
        bool stuck = false;
        do {
            dialog.SetStatus(PageStatus(page, next, divisor));
            Application::ProcessMessages();
            const int start = next;
            next = formatter->FormatRange(painter, toX(twips.Left), toY(twips.Top), start);
            Application::ProcessMessages();
            // A page on which nothing fits would repeat for ever: the job ends with it.
            stuck = next <= start && next < total;
            if (next < total && next != -1 && !stuck) {
                printer->newPage();
                ++page;
            }
            Application::ProcessMessages();
            dialog.SetStatus(PageStatus(page, next, divisor));
            Application::ProcessMessages();
        } while (dialog.ModalResult() != TFrmPrint::Cancelled && next < total && next != -1 && !stuck);

        if (dialog.ModalResult() == TFrmPrint::Cancelled) {
            job->Abort(painter);
        } else {
            job->End(painter);
        }
        formatter.reset();
    } catch (...) {
        // Half a job never reaches the printer.
        job->Abort(painter);
        hideDialog();
        throw;
    }
    hideDialog();
}

void TQvEdit::Print(const QString& title, float top, float left, float bottom, float right)
{
    PrintDocument(*document(), title, top, left, bottom, right);
}
