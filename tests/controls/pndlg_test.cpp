#include "controls/AniSymbl.h"
#include "controls/W97Slide.h"
#include "controls/pndlg.h"
#include "controls/richtext/qvtext.h"
#include "controls/richtext/qvtext_print.h"
#include "tests/support/FormProperties.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QLabel>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>

#include <cmath>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

// ---- the print rectangle ----

struct RectCase {
    const char* name;
    TPrinterMetrics printer;
    float top, left, bottom, right;
    TTwipsRect expected;
};

class PrintRect : public testing::TestWithParam<RectCase> { };

TEST_P(PrintRect, MarginsBecomeTwipsOfThePrintableArea)
{
    const RectCase& c = GetParam();
    const TTwipsRect r = PrintRectTwips(c.printer, c.top, c.left, c.bottom, c.right);
    EXPECT_EQ(r.Left, c.expected.Left);
    EXPECT_EQ(r.Top, c.expected.Top);
    EXPECT_EQ(r.Right, c.expected.Right);
    EXPECT_EQ(r.Bottom, c.expected.Bottom);
}

INSTANTIATE_TEST_SUITE_P(
    Printers, PrintRect,
    testing::Values(
        // (600 - 25) x 1440 / 600 and so on.
        RectCase{
            "one_inch_all_round", {600, 600, 25, 30, 4950, 6550}, 1, 1, 1, 1, {1380, 1368, 10440, 14280}},
        // Left and right use X (600), top and bottom use Y (300).
        RectCase{"x_and_y_resolutions_differ",
                 {600, 300, 20, 10, 5000, 3300},
                 1,
                 0.5f,
                 2,
                 0.25f,
                 {672, 1392, 11640, 12960}},
        RectCase{"zero_margins_go_negative_by_the_offset",
                 {300, 300, 50, 40, 2400, 3200},
                 0,
                 0,
                 0,
                 0,
                 {-240, -192, 11520, 15360}},
        // 0.333 in x 100 = 33.3 px, rounded to 33; -1 x 1440 / 700 truncates to -2.
        RectCase{"pixels_round_then_twips_truncate",
                 {100, 700, 0, 1, 850, 7700},
                 0,
                 0.333f,
                 0,
                 0.336f,
                 {475, -2, 11750, 15840}}),
    [](const testing::TestParamInfo<RectCase>& info) { return std::string(info.param.name); });

// ---- the progress window ----

TEST(TFrmPrint, FormAsDescribed)
{
    CreateFrmPrint();
    ASSERT_NE(FrmPrint, nullptr);
    TFrmPrint& form = *FrmPrint;
    EXPECT_EQ(form.size(), QSize(259, 129));
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(form.isModal());
    EXPECT_EQ(form.font().family(), "Arial");
    EXPECT_EQ(form.font().pixelSize(), 12);
    EXPECT_EQ(form.SwitchBox1->geometry(), QRect(0, 0, 259, 129));
    EXPECT_EQ(form.SwitchBox1->BevelOuter(), TSwitchBox::bvRaised);
    EXPECT_EQ(form.AnimatedSymbol1->parentWidget(), static_cast<QWidget*>(form.SwitchBox1));
    EXPECT_EQ(form.AnimatedSymbol1->geometry(), QRect(16, 8, 220, 50));
    EXPECT_EQ(form.AnimatedSymbol1->Resource(), 555);
    EXPECT_EQ(DynamicProperties(form), "") << "properties the form names that no class has";
    EXPECT_EQ(form.StatusLabel->geometry(), QRect(8, 56, 241, 33));
    EXPECT_TRUE(form.StatusLabel->wordWrap());
    EXPECT_TRUE(form.StatusLabel->font().bold());
    EXPECT_TRUE(form.StatusLabel->alignment().testFlag(Qt::AlignHCenter));
    EXPECT_EQ(form.BitBtn1->geometry(), QRect(176, 96, 75, 25));
    EXPECT_EQ(form.BitBtn1->text(), "&Cancel");
    EXPECT_TRUE(form.BitBtn1->isDefault());
    CreateFrmPrint();
    EXPECT_EQ(FrmPrint, &form) << "one instance";
}

enum class CancelBy { Button, Enter, Escape, Close };

void Cancel(CancelBy how)
{
    switch (how) {
    case CancelBy::Button:
        FrmPrint->BitBtn1->click();
        break;
    case CancelBy::Enter:
        QTest::keyClick(FrmPrint, Qt::Key_Return);
        break;
    case CancelBy::Escape:
        QTest::keyClick(FrmPrint, Qt::Key_Escape);
        break;
    case CancelBy::Close: // the window manager's close (Alt+F4)
        FrmPrint->close();
        break;
    }
}

TEST(TFrmPrint, ButtonEnterAndEscRequestCancelWithoutClosing)
{
    CreateFrmPrint();
    for (CancelBy how : {CancelBy::Button, CancelBy::Enter, CancelBy::Escape, CancelBy::Close}) {
        FrmPrint->FormCreate();
        EXPECT_EQ(FrmPrint->ModalResult(), TFrmPrint::NotCancelled);
        FrmPrint->show();
        Cancel(how);
        EXPECT_EQ(FrmPrint->ModalResult(), TFrmPrint::Cancelled);
        EXPECT_TRUE(FrmPrint->isVisible());
        FrmPrint->hide();
    }
    QChar key('x');
    FrmPrint->FormCreate();
    FrmPrint->FormKeyPress(key);
    EXPECT_EQ(key, QChar('x'));
    EXPECT_EQ(FrmPrint->ModalResult(), TFrmPrint::NotCancelled);
    key = QChar(27);
    FrmPrint->FormKeyPress(key);
    EXPECT_TRUE(key.isNull());
    EXPECT_EQ(FrmPrint->ModalResult(), TFrmPrint::Cancelled);
}

// ---- printing into PDF files through the printing code path ----

int PdfPages(const QString& file)
{
    QProcess p;
    p.start("pdfinfo", {file});
    p.waitForFinished(20000);
    if (p.exitCode() != 0) {
        return -1;
    }
    const auto match =
        QRegularExpression(R"(Pages:\s+(\d+))").match(QString::fromUtf8(p.readAllStandardOutput()));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

QString PdfText(const QString& file)
{
    QProcess p;
    p.start("pdftotext", {"-layout", file, "-"});
    p.waitForFinished(20000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

class Printing : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FDir.isValid());
        CreateFrmPrint();
        FrmPrint->OnStatus = [this](const QString& status) {
            FStatuses << status;
            if (OnStatus) {
                OnStatus(status);
            }
        };
        SetPrinterSource([this]() -> std::unique_ptr<QPrinter> {
            ++FJobs;
            if (NoPrinter) {
                return nullptr;
            }
            auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
            printer->setOutputFormat(QPrinter::PdfFormat);
            printer->setResolution(Resolution);
            printer->setPageSize(QPageSize(QPageSize::A4));
            // An unprintable border, as real printers have.
            printer->setPageMargins(QMarginsF(5, 5, 5, 5), QPageLayout::Millimeter);
            printer->setOutputFileName(Output());
            return printer;
        });
    }

    void TearDown() override
    {
        SetPrinterSource({});
        FrmPrint->OnStatus = {};
    }

    QString Output() const { return FDir.filePath(QString("job%1.pdf").arg(FJobs)); }

    static QString Lines(int count)
    {
        QStringList lines;
        for (int i = 1; i <= count; ++i) {
            lines << QString("log line %1 of the search results").arg(i, 4, 10, QChar('0'));
        }
        return lines.join('\n');
    }

    static QTextDocument* MonoDocument(QTextDocument& doc, const QString& text)
    {
        QFont font("DejaVu Sans Mono");
        font.setPointSize(10);
        doc.setDefaultFont(font);
        doc.setPlainText(text);
        return &doc;
    }

    QTemporaryDir FDir;
    int FJobs{0};
    int Resolution{300};
    bool NoPrinter{false};
    QStringList FStatuses;
    std::function<void(const QString&)> OnStatus;
};

const QString Formatting = "Formatting Rich Text. Please wait...";

QString PageStatus(int page, int percent)
{
    return QString("Printing Page %1\r\n%2% complete. Please wait...").arg(page).arg(percent);
}

TEST_F(Printing, AnEmptyControlPrintsOneEmptyPageAtZeroPercent)
{
    TQvEdit edit;
    edit.Print("Sifton Output", 1, 1, 1, 1);
    EXPECT_EQ(PdfPages(Output()), 1);
    ASSERT_FALSE(FStatuses.isEmpty());
    EXPECT_EQ(FStatuses.first(), Formatting);
    EXPECT_EQ(FStatuses.last(), PageStatus(1, 0));
    EXPECT_FALSE(FrmPrint->isVisible());
}

TEST_F(Printing, TextThatFitsPrintsOnePageAndEndsAtFullPercent)
{
    TQvEdit edit;
    edit.setPlainText(Lines(10));
    edit.Print("Sifton Output", 1, 1, 1, 1);
    EXPECT_EQ(PdfPages(Output()), 1);
    EXPECT_EQ(FStatuses, (QStringList{Formatting, PageStatus(1, 0), PageStatus(1, 100)}));
    EXPECT_TRUE(PdfText(Output()).contains("log line 0010 of the search results"));
    EXPECT_FALSE(FrmPrint->isVisible());
}

TEST_F(Printing, ALongLogPrintsEveryLineOnceOverTheExpectedPages)
{
    QTextDocument doc;
    MonoDocument(doc, Lines(300));
    // A4 is 11.69 in; 1-inch margins leave 9.69 in; 10-point lines of ascent + descent.
    QPrinter probe(QPrinter::HighResolution);
    probe.setResolution(Resolution);
    const double lineHeight = QFontMetricsF(doc.defaultFont(), &probe).height();
    const QTextDocument& source = doc;
    PrintDocument(source, "Sifton Output", 1, 1, 1, 1);
    const double printable = (11.69 - 2) * Resolution;
    const int perPage = static_cast<int>(printable / lineHeight);
    const int expectedPages = (300 + perPage - 1) / perPage;
    ASSERT_GT(expectedPages, 3);
    EXPECT_EQ(PdfPages(Output()), expectedPages);

    const QString text = PdfText(Output());
    for (int i = 1; i <= 300; ++i) {
        const QString line = QString("log line %1 of").arg(i, 4, 10, QChar('0'));
        EXPECT_EQ(text.count(line), 1) << line.toStdString();
    }
    EXPECT_EQ(FStatuses.last(), PageStatus(expectedPages, 100));
    // The share done grows page by page.
    int previous = -1;
    for (const QString& status : FStatuses.mid(1)) {
        const int percent = QRegularExpression(R"(\r\n(\d+)%)").match(status).captured(1).toInt();
        EXPECT_GE(percent, previous);
        previous = percent;
    }
}

class PrintCancel : public Printing, public testing::WithParamInterface<CancelBy> { };

TEST_P(PrintCancel, TakesEffectAfterThePageAndTheNextPrintIsWhole)
{
    QTextDocument doc;
    MonoDocument(doc, Lines(300));
    OnStatus = [&](const QString& status) {
        if (status.startsWith("Printing Page 2")) {
            Cancel(GetParam());
        }
    };
    PrintDocument(doc, "Sifton Output", 1, 1, 1, 1);
    const QString cancelled = Output();
    EXPECT_FALSE(FStatuses.join('|').contains("Printing Page 3"));
    EXPECT_FALSE(QFile::exists(cancelled)) << "an aborted job leaves nothing printed";
    EXPECT_FALSE(FrmPrint->isVisible());

    OnStatus = {};
    FStatuses.clear();
    PrintDocument(doc, "Sifton Output", 1, 1, 1, 1);
    EXPECT_NE(Output(), cancelled);
    EXPECT_GT(PdfPages(Output()), 3);
    EXPECT_TRUE(FStatuses.last().endsWith("\r\n100% complete. Please wait..."));
}

INSTANTIATE_TEST_SUITE_P(Ways, PrintCancel,
                         testing::Values(CancelBy::Button, CancelBy::Enter, CancelBy::Escape,
                                         CancelBy::Close),
                         [](const testing::TestParamInfo<CancelBy>& info) {
                             switch (info.param) {
                             case CancelBy::Button:
                                 return std::string("button");
                             case CancelBy::Enter:
                                 return std::string("enter");
                             case CancelBy::Escape:
                                 return std::string("escape");
                             case CancelBy::Close:
                                 return std::string("close");
                             }
                             return std::string();
                         });

TEST_F(Printing, ZeroMarginsPrintFromThePaperEdgeClippedToThePage)
{
    QTextDocument doc;
    MonoDocument(doc, Lines(20));
    PrintDocument(doc, "Sifton Output", 0, 0, 0, 0);
    EXPECT_EQ(PdfPages(Output()), 1);
    EXPECT_TRUE(PdfText(Output()).contains("log line 0020"));
}

TEST_F(Printing, NoPrinterShowsAndHidesTheWindowAndPrintsNothing)
{
    NoPrinter = true;
    TQvEdit edit;
    edit.setPlainText("text");
    EXPECT_NO_THROW(edit.Print("Sifton Output", 1, 1, 1, 1));
    EXPECT_EQ(FJobs, 1);
    EXPECT_EQ(FStatuses, QStringList{Formatting});
    EXPECT_FALSE(FrmPrint->isVisible());
    EXPECT_FALSE(QFile::exists(Output()));
}

TEST_F(Printing, AJobThatCannotStartPrintsNothing)
{
    SetPrinterSource([] {
        auto printer = std::make_unique<QPrinter>();
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setOutputFileName("/no/such/folder/out.pdf");
        return printer;
    });
    QTextDocument doc("text");
    EXPECT_NO_THROW(PrintDocument(doc, "Sifton Output", 1, 1, 1, 1));
    EXPECT_EQ(FStatuses, QStringList{Formatting});
    EXPECT_FALSE(FrmPrint->isVisible());
}

TEST_F(Printing, APrintWhileAJobRunsIsRefusedQuietly)
{
    QTextDocument doc;
    MonoDocument(doc, Lines(100));
    int nested = 0;
    OnStatus = [&](const QString& status) {
        if (status.startsWith("Printing Page 2") && nested++ == 0) {
            PrintDocument(doc, "Again", 1, 1, 1, 1);
        }
    };
    PrintDocument(doc, "Sifton Output", 1, 1, 1, 1);
    EXPECT_EQ(FJobs, 1);
    EXPECT_GT(PdfPages(Output()), 1);
}

TEST_F(Printing, APageTooSmallForAnyCharacterEndsTheJob)
{
    QTextDocument doc;
    MonoDocument(doc, Lines(5));
    // Top and bottom margins larger than the paper: nothing fits anywhere.
    PrintDocument(doc, "Sifton Output", 7, 1, 7, 1);
    EXPECT_EQ(PdfPages(Output()), 1);
    EXPECT_EQ(FStatuses.last(), PageStatus(1, 0));
}

TEST_F(Printing, AnErrorHidesTheWindowBeforeReachingTheCaller)
{
    QTextDocument doc;
    MonoDocument(doc, Lines(100));
    OnStatus = [&](const QString& status) {
        if (status.startsWith("Printing Page 2")) {
            throw std::runtime_error("printer on fire");
        }
    };
    EXPECT_THROW(PrintDocument(doc, "Sifton Output", 1, 1, 1, 1), std::runtime_error);
    EXPECT_FALSE(FrmPrint->isVisible());
    EXPECT_FALSE(QFile::exists(Output())) << "half a job never reaches the printer";
    OnStatus = {};
    PrintDocument(doc, "Sifton Output", 1, 1, 1, 1);
    EXPECT_GT(PdfPages(Output()), 1) << "the next job runs";
}

TEST(TFrmPrint, TheHiddenPrintWindowSpendsNoTimerOnItsSymbol)
{
    CreateFrmPrint();
    FrmPrint->hide();
    EXPECT_TRUE(FrmPrint->AnimatedSymbol1->IsPlaying());
    EXPECT_FALSE(FrmPrint->AnimatedSymbol1->IsTicking());
}

TEST_F(Printing, ThePrintWindowPlaysTheClipWhilePrinting)
{
    QTextDocument doc;
    MonoDocument(doc, Lines(10));
    bool playing = false;
    bool visible = false;
    OnStatus = [&](const QString&) {
        playing = playing || FrmPrint->AnimatedSymbol1->IsTicking();
        visible = visible || FrmPrint->isVisible();
    };
    PrintDocument(doc, "Sifton Output", 1, 1, 1, 1);
    EXPECT_TRUE(playing);
    EXPECT_TRUE(visible);
}

} // namespace
