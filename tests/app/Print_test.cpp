#include "controls/pndlg.h"
#include "controls/richtext/qvtext_print.h"
#include "tests/support/WindowFixture.h"

#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextEdit>

#include <gtest/gtest.h>

namespace {

int PdfPages(const QString& file)
{
    QProcess p;
    p.start("pdfinfo", {file});
    p.waitForFinished(20000);
    const auto m =
        QRegularExpression(R"(Pages:\s+(\d+))").match(QString::fromUtf8(p.readAllStandardOutput()));
    return p.exitCode() == 0 && m.hasMatch() ? m.captured(1).toInt() : -1;
}

QString PdfTitle(const QString& file)
{
    QProcess p;
    p.start("pdfinfo", {file});
    p.waitForFinished(20000);
    return QRegularExpression(R"(Title:\s+([^\n]*))")
        .match(QString::fromUtf8(p.readAllStandardOutput()))
        .captured(1);
}

using TForm1Print = WindowTest;

TEST_F(TForm1Print, MenuAndToolBarPrintTheOutputPane)
{
    QTemporaryDir dir;
    int jobs = 0;
    QStringList files;
    SetPrinterSource([&] {
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setResolution(300);
        files << dir.filePath(QString("job%1.pdf").arg(++jobs));
        printer->setOutputFileName(files.last());
        return printer;
    });
    TForm1& form = Create();
    QStringList lines;
    for (int i = 0; i < 200; ++i) {
        lines << QString("C:\\logs\\a.log: found line %1").arg(i);
    }
    form.Viewer->setPlainText(lines.join('\n'));

    form.Print1->trigger();
    form.BPrint->trigger();
    SetPrinterSource({});

    ASSERT_EQ(files.size(), 2);
    for (const QString& file : files) {
        EXPECT_GT(PdfPages(file), 1);
        EXPECT_EQ(PdfTitle(file).trimmed(), "Sifton Output");
    }
    EXPECT_FALSE(FrmPrint->isVisible());
}

} // namespace
