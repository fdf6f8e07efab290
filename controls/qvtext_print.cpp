#include "controls/qvtext.h"
#include "controls/qvtext_print.h"

#include "controls/pndlg.h"
#include "platform/Application.h"

#include <QAbstractTextDocumentLayout>
#include <QLabel>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <cmath>

namespace {

constexpr int TwipsPerInch = 1440;

TPrinterSource& PrinterSource()
{
    static TPrinterSource source;
    return source;
}

bool Printing = false; // GUI thread only

std::unique_ptr<QPrinter> DefaultPrinter()
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        return nullptr;
    }
    return std::make_unique<QPrinter>(info, QPrinter::HighResolution);
}

// Halves go to the even neighbour, as the platform's rounding does.
int RoundPixels(double value)
{
    return static_cast<int>(std::nearbyint(value));
}

int ToTwips(int pixels, int resolution)
{
    return static_cast<int>(static_cast<qint64>(pixels) * TwipsPerInch / resolution);
}

int FromTwips(int twips, int resolution)
{
    return RoundPixels(static_cast<double>(twips) * resolution / TwipsPerInch);
}

void SetStatus(const QString& text)
{
    FrmPrint->StatusLabel->setText(text);
}

} // namespace

TPrinterMetrics PrinterMetrics(QPrinter& printer)
{
    const QRect printable = printer.pageRect(QPrinter::DevicePixel).toRect();
    return {printer.logicalDpiX(), printer.logicalDpiY(), printable.left(), printable.top(),
            printer.width(),       printer.height()};
}

QRect PrintRectTwips(const TPrinterMetrics& m, float top, float left, float bottom, float right)
{
    const int topPixels = RoundPixels(double(top) * m.Y);
    const int leftPixels = RoundPixels(double(left) * m.X);
    const int bottomPixels = RoundPixels(double(bottom) * m.Y);
    const int rightPixels = RoundPixels(double(right) * m.X);
    const int l = ToTwips(leftPixels - m.PhysicalOffsetX, m.X);
    const int t = ToTwips(topPixels - m.PhysicalOffsetY, m.Y);
    const int r = ToTwips(m.PrintableWidth - rightPixels, m.X);
    const int b = ToTwips(m.PrintableHeight - bottomPixels, m.Y);
    return QRect(QPoint(l, t), QPoint(r - 1, b - 1));
}

QRect TwipsToPixels(const QRect& twips, int x, int y)
{
    const int l = FromTwips(twips.left(), x);
    const int t = FromTwips(twips.top(), y);
    const int r = FromTwips(twips.left() + twips.width(), x);
    const int b = FromTwips(twips.top() + twips.height(), y);
    return QRect(QPoint(l, t), QPoint(r - 1, b - 1));
}

int PrintPercent(int next, int total)
{
    const double divisor = total == 0 ? 100.0 : total;
    return static_cast<int>(std::nearbyint(next / divisor * 100.0));
}

QString PrintStatusText(int page, int percent)
{
    return QStringLiteral("Printing Page %1\r\n%2% complete. Please wait...").arg(page).arg(percent);
}

TPageFormatter::TPageFormatter(const QTextDocument& source, QPaintDevice& device, const QRect& pageRect)
    : FDocument(source.clone())
    , FPageRect(pageRect)
    , FTextLength(source.characterCount() - 1)
{
    FDocument->documentLayout()->setPaintDevice(&device);
    FDocument->setDocumentMargin(0);
    // On paper a long line wraps instead of being cut at the page edge.
    QTextOption option = FDocument->defaultTextOption();
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    // Tab stops are kept in screen pixels; scale them to the printer's.
    option.setTabStopDistance(option.tabStopDistance() * device.logicalDpiX() / 96.0);
    FDocument->setDefaultTextOption(option);
    if (pageRect.width() <= 0 || pageRect.height() <= 0) {
        return;
    }
    FDocument->setTextWidth(pageRect.width());

    QAbstractTextDocumentLayout* layout = FDocument->documentLayout();
    for (QTextBlock block = FDocument->begin(); block.isValid(); block = block.next()) {
        if (!block.isVisible()) {
            continue;
        }
        const QRectF blockRect = layout->blockBoundingRect(block);
        const QTextLayout* lines = block.layout();
        for (int i = 0; i < lines->lineCount(); ++i) {
            const QTextLine line = lines->lineAt(i);
            const qreal top = blockRect.top() + line.y();
            FLines.push_back({block.position() + line.textStart(), top, top + line.height()});
        }
    }
}

TPageFormatter::~TPageFormatter() = default;

int TPageFormatter::FormatRange(QPainter* painter, int start)
{
    // The page's first line is the one holding start.
    auto first = std::upper_bound(FLines.begin(), FLines.end(), start,
                                  [](int pos, const TLine& line) { return pos < line.Start; });
    if (first == FLines.begin()) {
        return start;
    }
    --first;
    const qreal pageTop = first->Top;
    const qreal pageBottom = pageTop + FPageRect.height();
    auto past = first;
    while (past != FLines.end() && past->Bottom <= pageBottom + 0.01) {
        ++past;
    }
    if (past == first) {
        return start;
    }
    if (painter != nullptr) {
        const qreal usedHeight = (past - 1)->Bottom - pageTop;
        painter->save();
        painter->translate(FPageRect.left(), FPageRect.top() - pageTop);
        const QRectF clip(0, pageTop, FPageRect.width(), usedHeight);
        painter->setClipRect(clip);
        FDocument->drawContents(painter, clip);
        painter->restore();
    }
    return past == FLines.end() ? FTextLength : past->Start;
}

void SetPrinterSource(TPrinterSource source)
{
    PrinterSource() = std::move(source);
}

bool PrintJobRunning()
{
    return Printing;
}

void TQvEdit::Print(const QString& title, float top, float left, float bottom, float right)
{
    // One progress window serves every control, so one job at a time.
    if (Printing) {
        return;
    }
    Printing = true;
    struct TRunning
    {
        ~TRunning() { Printing = false; }
    } running;

    CreateFrmPrint();
    SetStatus(QStringLiteral("Formatting Rich Text. Please wait..."));
    FrmPrint->SetModalResult(TFrmPrint::mrOk);
    FrmPrint->show();

    std::unique_ptr<QPrinter> printer = PrinterSource() ? PrinterSource()() : DefaultPrinter();
    QPainter painter;
    if (printer != nullptr) {
        // The spooler reads the job's name when the job starts.
        printer->setDocName(title);
    }
    if (printer == nullptr || !painter.begin(printer.get())) {
        FrmPrint->hide();
        return;
    }

    try {
        Application::ProcessMessages();

        const TPrinterMetrics metrics = PrinterMetrics(*printer);
        const QRect pageRect =
            TwipsToPixels(PrintRectTwips(metrics, top, left, bottom, right), metrics.X, metrics.Y);
        auto formatter = std::make_unique<TPageFormatter>(*document(), *printer, pageRect);

        const int total = TextLength();
        int next = 0;
        int page = 1;
        bool stuck = false;
        do {
            SetStatus(PrintStatusText(page, PrintPercent(next, total)));
            Application::ProcessMessages();
            const int rangeStart = next;
            next = formatter->FormatRange(&painter, rangeStart);
            // A page that takes no character would repeat for ever.
            stuck = next == rangeStart;
            Application::ProcessMessages();
            if (next < total && next != -1 && !stuck) {
                printer->newPage();
                ++page;
            }
            Application::ProcessMessages();
            SetStatus(PrintStatusText(page, PrintPercent(next, total)));
            Application::ProcessMessages();
        } while (FrmPrint->ModalResult() != TFrmPrint::mrCancel && next < total && next != -1 && !stuck);

        if (FrmPrint->ModalResult() == TFrmPrint::mrCancel) {
            printer->abort();
        }
        painter.end();
        formatter.reset();
    } catch (...) {
        // Half a job never reaches the printer.
        printer->abort();
        painter.end();
        FrmPrint->hide();
        Application::ProcessMessages();
        throw;
    }
    FrmPrint->hide();
    Application::ProcessMessages();
}
