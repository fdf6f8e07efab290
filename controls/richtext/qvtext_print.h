#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QPainter;
class QPrinter;
class QTemporaryDir;
class QTextDocument;

/// What the page arithmetic needs to know of a printer, in its device pixels.
struct TPrinterMetrics {
    int LogPixelsX{0};
    int LogPixelsY{0};
    int PhysicalOffsetX{0}; // unprintable margin left of the printable area
    int PhysicalOffsetY{0};
    int PrintableWidth{0};
    int PrintableHeight{0};
};

/// A rectangle in twips (1440 to the inch); right and bottom are exclusive.
struct TTwipsRect {
    int Left{0};
    int Top{0};
    int Right{0};
    int Bottom{0};
    bool operator==(const TTwipsRect&) const = default;
};

/// The print rectangle for margins in inches: left and top from the paper's edge, right and
/// bottom from the edge of the printable area; X converts left/right and Y top/bottom.
TTwipsRect PrintRectTwips(const TPrinterMetrics& printer, float top, float left, float bottom, float right);

TPrinterMetrics MetricsOf(QPrinter& printer);

/// Where printing gets its printer: by default the system's default printer (none = no job).
using TPrinterSource = std::function<std::unique_ptr<QPrinter>()>;
/// Chooses another printer source (tests print into PDF files); an empty source restores the default.
void SetPrinterSource(TPrinterSource source);

/// Hands a spooled job (a PDF file inside spoolDir) to the print queue with lp and returns at once. When
/// lp cannot start or refuses the job, "Unable to print to <printer>: <reason>" is shown once it has
/// answered; spoolDir lives until then.
void HandToPrintQueue(const QString& printer, const QString& title, std::shared_ptr<QTemporaryDir> spoolDir,
                      const QString& spooled);

/// Formats a copy of a document page by page onto a printer's page rectangle.
class TPageFormatter {
public:
    TPageFormatter(const QTextDocument& source, QPrinter& printer, int pageWidth, int pageHeight);
    ~TPageFormatter();

    /// Characters in the document; a paragraph break counts as one.
    int Total() const;
    /// Draws the page that begins at `start` into the rectangle at (left, top) and returns the
    /// index of the first character that did not fit on it: `start` when not even one line fits.
    int FormatRange(QPainter& painter, int left, int top, int start);

private:
    struct TLine {
        double Y;
        double Bottom;
        int Start;
        int Block;
        int Line; // within its block
    };
    std::unique_ptr<QTextDocument> FDocument;
    int FPageWidth;
    int FPageHeight;
    std::vector<TLine> FLines;
};

/// Prints a whole document on the printer with the progress window; see TQvEdit::Print.
void PrintDocument(const QTextDocument& document, const QString& title, float top, float left, float bottom,
                   float right);
