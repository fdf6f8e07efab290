// Where printed text lands on the paper and how lines break there.
#include "controls/pndlg.h"
#include "controls/richtext/qvtext.h"
#include "controls/richtext/qvtext_print.h"

#include <QFileInfo>
#include <QImage>
#include <QPrinter>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString RunTool(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        return {};
    }
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

// The non-blank text lines of one page, as poppler reads them.
QStringList PdfPageLines(const QString& path, int page)
{
    const QString n = QString::number(page);
    const QString text =
        RunTool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), QStringLiteral("-f"), n,
                                              QStringLiteral("-l"), n, path, QStringLiteral("-")});
    QStringList lines;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        if (!line.trimmed().isEmpty() && line != QStringLiteral("\f")) {
            lines << line.trimmed();
        }
    }
    return lines;
}

// Where the first ink on a page is, in inches from the paper's left and top edges.
QPointF FirstInk(const QString& pdf, int pageNumber)
{
    const QString prefix = QFileInfo(pdf).absolutePath() + QStringLiteral("/page");
    const QString n = QString::number(pageNumber);
    RunTool(QStringLiteral("pdftoppm"),
            {QStringLiteral("-r"), QStringLiteral("100"), QStringLiteral("-f"), n, QStringLiteral("-l"), n,
             QStringLiteral("-png"), QStringLiteral("-singlefile"), pdf, prefix});
    const QImage page(prefix + QStringLiteral(".png"));
    int minX = page.width();
    int minY = page.height();
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x) {
            if (qGray(page.pixel(x, y)) < 128) {
                minX = std::min(minX, x);
                minY = std::min(minY, y);
            }
        }
    }
    return {minX / 100.0, minY / 100.0};
}

// Letter paper with a quarter inch the printer cannot reach on every side.
class PrintLayout : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Dir.isValid());
        SetPrinterSource([this] {
            auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
            printer->setOutputFormat(QPrinter::PdfFormat);
            printer->setOutputFileName(Pdf);
            printer->setPageSize(QPageSize(QPageSize::Letter));
            printer->setPageMargins(QMarginsF(0.25, 0.25, 0.25, 0.25), QPageLayout::Inch);
            return printer;
        });
        Edit.setFont(QFont(QStringLiteral("DejaVu Sans Mono"), 10));
    }
    void TearDown() override { SetPrinterSource({}); }

    QTemporaryDir Dir;
    QString Pdf = Dir.filePath(QStringLiteral("job.pdf"));
    TQvEdit Edit;
};

TEST_F(PrintLayout, LongWordWrapsInsteadOfRunningOffThePage)
{
    const QString word = QStringLiteral("x").repeated(300);
    Edit.setPlainText(word + QStringLiteral("\nend"));
    Edit.Print(QStringLiteral("Sifton Output"), 1, 1, 1, 1);
    const QStringList lines = PdfPageLines(Pdf, 1);
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines.join(QString()).remove(QLatin1Char(' ')).toStdString(),
              (word + QStringLiteral("end")).toStdString());
}

// A paragraph that wraps over a page break: its first lines end one page, the rest begin the next, once each.
TEST_F(PrintLayout, WrappedParagraphsSplitAcrossPagesPrintEachLineOnce)
{
    QStringList paragraphs;
    for (int i = 0; i < 120; ++i) {
        paragraphs << QStringLiteral("head%1 %2 tail%1")
                          .arg(i, 4, 10, QLatin1Char('0'))
                          .arg(QStringLiteral("word ").repeated(40));
    }
    Edit.setPlainText(paragraphs.join(QLatin1Char('\n')));
    Edit.Print(QStringLiteral("Sifton Output"), 1, 1, 1, 1);
    const QString text = RunTool(QStringLiteral("pdftotext"), {Pdf, QStringLiteral("-")});
    ASSERT_GT(text.count(QLatin1Char('\f')), 2);
    for (int i = 0; i < 120; ++i) {
        const QString id = QStringLiteral("%1").arg(i, 4, 10, QLatin1Char('0'));
        EXPECT_EQ(text.count(QStringLiteral("head") + id), 1) << id.toStdString();
        EXPECT_EQ(text.count(QStringLiteral("tail") + id), 1) << id.toStdString();
    }
    EXPECT_EQ(text.count(QStringLiteral("word")), 120 * 40);
}

// Tab stops follow the printer's resolution once, not twice: a short tabbed line stays one line.
TEST_F(PrintLayout, TabbedLineStaysOnOneLine)
{
    Edit.setPlainText(QStringLiteral("12\tfound\tthere"));
    Edit.Print(QStringLiteral("Sifton Output"), 1, 1, 1, 1);
    const QStringList lines = PdfPageLines(Pdf, 1);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines[0].split(QLatin1Char(' '), Qt::SkipEmptyParts),
              (QStringList{QStringLiteral("12"), QStringLiteral("found"), QStringLiteral("there")}));
}

// On this paper 5.33 in top and bottom leave a page about 0.09 in high: lower than a line, but not empty.
TEST_F(PrintLayout, PageLowerThanOneLineEndsTheJob)
{
    Edit.setPlainText(QStringLiteral("one\ntwo\nthree"));
    Edit.Print(QStringLiteral("Sifton Output"), 5.33f, 1, 5.33f, 1);
    EXPECT_TRUE(QFile::exists(Pdf));
    EXPECT_TRUE(PdfPageLines(Pdf, 1).isEmpty());
    EXPECT_EQ(FrmPrint->Status().toStdString(), "Printing Page 1\r\n0% complete. Please wait...");
}

struct PlacementCase {
    const char* name;
    float margin; // top and left
};

class PrintPlacement : public PrintLayout, public ::testing::WithParamInterface<PlacementCase> { };

// Left and top margins count from the paper's edge, past the unprintable strip, on every page.
TEST_P(PrintPlacement, TextStartsAtTheMarginFromThePaperEdge)
{
    Edit.setPlainText(QStringLiteral("HHHH\n").repeated(150));
    Edit.Print(QStringLiteral("Sifton Output"), GetParam().margin, GetParam().margin, 1, 1);
    for (int page = 1; page <= 2; ++page) {
        const QPointF ink = FirstInk(Pdf, page);
        EXPECT_NEAR(ink.x(), GetParam().margin, 0.05) << "page " << page;
        // Ink starts a little below the line's top (the font's internal leading).
        EXPECT_GE(ink.y(), GetParam().margin - 0.01) << "page " << page;
        EXPECT_LT(ink.y(), GetParam().margin + 0.15) << "page " << page;
    }
}

INSTANTIATE_TEST_SUITE_P(Margins, PrintPlacement,
                         ::testing::Values(PlacementCase{"Zero", 0}, PlacementCase{"HalfInch", 0.5f},
                                           PlacementCase{"OneInch", 1}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
