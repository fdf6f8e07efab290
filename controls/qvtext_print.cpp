#include "controls/qvtext_print.h"

#include "controls/pndlg.h"
#include "controls/qvtext.h"
#include "platform/Application.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

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

} // namespace

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
    // Lay the copy out with the printer's metrics, one page rectangle per page.
    FDocument->documentLayout()->setPaintDevice(&printer);
    FDocument->setDocumentMargin(0);
    if (FPageWidth > 0 && FPageHeight > 0) {
        FDocument->setPageSize(QSizeF(FPageWidth, FPageHeight));
    }
    QAbstractTextDocumentLayout* layout = FDocument->documentLayout();
    for (QTextBlock block = FDocument->begin(); block.isValid(); block = block.next()) {
        const QRectF blockRect = layout->blockBoundingRect(block);
        const QTextLayout* lines = block.layout();
        for (int i = 0; i < lines->lineCount(); ++i) {
            const QTextLine line = lines->lineAt(i);
            FLines.push_back({blockRect.top() + line.y(), block.position() + line.textStart()});
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
    if (FPageWidth <= 0 || FPageHeight <= 0 || FLines.empty()) {
        return FLines.empty() ? Total() : start;
    }
    // The page is the one holding the line where `start` lies.
    auto line = std::upper_bound(FLines.begin(), FLines.end(), start,
        [](int pos, const TLine& l) { return pos < l.Start; });
    if (line != FLines.begin()) {
        --line;
    }
    const int page = static_cast<int>(std::floor(line->Y / FPageHeight));
    const double pageTop = static_cast<double>(page) * FPageHeight;
    const double pageBottom = pageTop + FPageHeight;

    painter.save();
    painter.setClipRect(QRect(left, top, FPageWidth, FPageHeight));
    painter.translate(left, top - pageTop);
    QAbstractTextDocumentLayout::PaintContext context;
    // Lines that only touch the page's edges belong to the neighbouring pages; left in, they
    // would be clipped from sight but still be in the printed data.
    context.clip = QRectF(0, pageTop + 0.5, FPageWidth, FPageHeight - 1.0);
    context.palette.setColor(QPalette::Text, Qt::black);
    FDocument->documentLayout()->draw(&painter, context);
    painter.restore();

    const auto after = std::find_if(line, FLines.end(), [&](const TLine& l) { return l.Y >= pageBottom; });
    return after == FLines.end() ? Total() : after->Start;
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
    std::unique_ptr<QPrinter> printer = source ? source() : DefaultPrinter();
    QPainter painter;
    if (printer) {
        // The spooler's name for the job; Qt takes it before the job starts.
        printer->setDocName(title);
    }
    if (!printer || !painter.begin(printer.get())) {
        hideDialog();
        return;
    }
    try {
        Application::ProcessMessages();
        const TPrinterMetrics metrics = MetricsOf(*printer);
        const TTwipsRect twips = PrintRectTwips(metrics, top, left, bottom, right);
        const auto toX = [&](int t) { return static_cast<int>(static_cast<long long>(t) * metrics.LogPixelsX / 1440); };
        const auto toY = [&](int t) { return static_cast<int>(static_cast<long long>(t) * metrics.LogPixelsY / 1440); };
        auto formatter = std::make_unique<TPageFormatter>(document, *printer, toX(twips.Right) - toX(twips.Left),
            toY(twips.Bottom) - toY(twips.Top));

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

        const bool cancelled = dialog.ModalResult() == TFrmPrint::Cancelled;
        // Qt's PDF-based engines cannot abort: a cancelled job into a file leaves no file.
        const bool aborted = cancelled && printer->abort();
        painter.end();
        if (cancelled && !aborted && !printer->outputFileName().isEmpty()) {
            QFile::remove(printer->outputFileName());
        }
        formatter.reset();
    } catch (...) {
        if (painter.isActive()) {
            printer->abort();
            painter.end();
        }
        hideDialog();
        throw;
    }
    hideDialog();
}

void TQvEdit::Print(const QString& title, float top, float left, float bottom, float right)
{
    PrintDocument(*document(), title, top, left, bottom, right);
}
