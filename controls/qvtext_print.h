#pragma once

#include <QRect>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QPainter;
class QPaintDevice;
class QPrinter;
class QTextDocument;

/// What the page layout needs to know of a printer, all in device pixels.
struct TPrinterMetrics
{
    int X = 0; // horizontal pixels per inch
    int Y = 0; // vertical pixels per inch
    int PhysicalOffsetX = 0; // unprintable strip at the paper's left edge
    int PhysicalOffsetY = 0; // unprintable strip at the paper's top edge
    int PrintableWidth = 0;
    int PrintableHeight = 0;
};

/// The printer's resolutions, unprintable offsets and printable size.
TPrinterMetrics PrinterMetrics(QPrinter& printer);

/// The rectangle to print in, in twips (1440 to the inch). Left and top are measured from the paper's
/// edge, right and bottom from the edge of the printable area; margins are in inches.
QRect PrintRectTwips(const TPrinterMetrics& metrics, float top, float left, float bottom, float right);

/// A twips rectangle in the printer's pixels, relative to the printable area's origin.
QRect TwipsToPixels(const QRect& twips, int x, int y);

/// The share of the text done, in whole percent; an empty text counts as 0 of 100.
int PrintPercent(int next, int total);

/// "Printing Page N\r\n P% complete. Please wait..."
QString PrintStatusText(int page, int percent);

/// Lays a copy of a document out for one printer and draws it a page at a time, each page starting
/// at a given character; dropping it drops the formatting.
class TPageFormatter
{
public:
    /// pageRect is in the device's pixels, relative to the printable area's origin.
    TPageFormatter(const QTextDocument& source, QPaintDevice& device, const QRect& pageRect);
    ~TPageFormatter();
    TPageFormatter(const TPageFormatter&) = delete;
    TPageFormatter& operator=(const TPageFormatter&) = delete;

    /// Formats (and, with a painter, draws) the page that begins at character start. Returns the first
    /// character that did not fit: start when not even one line fits, the text length when all did.
    int FormatRange(QPainter* painter, int start);

private:
    struct TLine
    {
        int Start;
        qreal Top;
        qreal Bottom;
    };

    std::unique_ptr<QTextDocument> FDocument;
    std::vector<TLine> FLines;
    QRect FPageRect;
    int FTextLength = 0;
};

/// Makes the printer each print job goes to; nullptr means there is none.
using TPrinterSource = std::function<std::unique_ptr<QPrinter>()>;
/// Replaces where jobs go (tests print into PDF files); an empty source restores the default printer.
void SetPrinterSource(TPrinterSource source);
/// True while a print job runs.
bool PrintJobRunning();
