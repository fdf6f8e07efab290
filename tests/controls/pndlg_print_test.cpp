#include "controls/pndlg.h"
#include "controls/qvtext.h"
#include "controls/qvtext_print.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Pages of a PDF as poppler counts them; -1 when there is no readable PDF.
int PdfPages(const QString& path)
{
    QProcess pdfinfo;
    pdfinfo.start(QStringLiteral("pdfinfo"), {path});
    if (!pdfinfo.waitForFinished(30000) || pdfinfo.exitCode() != 0) {
        return -1;
    }
    const auto match = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)"))
                           .match(QString::fromLocal8Bit(pdfinfo.readAllStandardOutput()));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

} // namespace

TEST(PrintSmoke, LongTextPrintsSeveralPages)
{
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("out.pdf"));
    SetPrinterSource([pdf] {
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName(pdf);
        return printer;
    });
    TQvEdit edit;
    QStringList lines;
    for (int i = 0; i < 300; ++i) {
        lines << QStringLiteral("line %1").arg(i);
    }
    edit.setPlainText(lines.join(QLatin1Char('\n')));
    edit.Print(QStringLiteral("Sifton Output"), 1, 1, 1, 1);
    EXPECT_GT(PdfPages(pdf), 1);
    EXPECT_EQ(FrmPrint->StatusLabel->text().right(29), QStringLiteral("100% complete. Please wait..."));
    SetPrinterSource({});
}
