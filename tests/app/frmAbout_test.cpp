#include "app/Settings.h"
#include "app/frmAbout.h"
#include "platform/Application.h"
#include "tests/support/FormProperties.h"
#include "tests/support/ScriptedShell.h"
#include "tests/support/TestFiles.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class AboutBoxTest : public ::testing::Test {
protected:
    QTemporaryDir Folder;
    QString Ini;

    void SetUp() override
    {
        ASSERT_TRUE(Folder.isValid());
        Ini = Folder.filePath("sifton.ini");
        Application::SetTitle("Sifton");
    }

    void WriteIni(const QByteArray& text) const { WriteBytes(Ini, text); }

    static void Click(QWidget* widget)
    {
        const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
        QMouseEvent press(QEvent::MouseButtonPress, at, widget->mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, at, widget->mapToGlobal(at), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &press);
        QApplication::sendEvent(widget, &release);
    }
};

TEST_F(AboutBoxTest, WithoutResellerTheMakersOwnDetailsShow)
{
    WriteIni("[Options]\nCount Lines=1\n");
    TAboutBox box(Ini);
    EXPECT_EQ(box.ACompany->text(), "Quorvale Software Inc.");
    EXPECT_EQ(box.AURL->text(), "http://www.quorvale.example/");
    EXPECT_EQ(box.AEmail->text(), "sales@quorvale.example");
    EXPECT_EQ(box.APhone->text(), "+1 (425) 555-0147");
}

TEST_F(AboutBoxTest, ResellerSectionIsReadAtCreationOnly)
{
    WriteIni("[Reseller]\nCompany=Northwind Resale\nURL=http://resale.example/\nEmail=shop@resale.example\n");
    TAboutBox box(Ini);
    EXPECT_EQ(box.ACompany->text(), "Northwind Resale");
    EXPECT_EQ(box.AURL->text(), "http://resale.example/");
    EXPECT_EQ(box.AEmail->text(), "shop@resale.example");
    EXPECT_EQ(box.APhone->text(), "+1 (425) 555-0147"); // absent key: the maker's own

    WriteIni("[Reseller]\nCompany=Changed While Running\n");
    QTimer::singleShot(0, &box, [&box] { box.OKButton->click(); });
    EXPECT_EQ(box.exec(), QDialog::Accepted);
    EXPECT_EQ(box.ACompany->text(), "Northwind Resale");

    TAboutBox nextStart(Ini);
    EXPECT_EQ(nextStart.ACompany->text(), "Changed While Running");
}

TEST_F(AboutBoxTest, ResellerFieldsThatLookLikeHtmlShowAsTyped)
{
    WriteIni("[Reseller]\nCompany=<b>Northwind</b> &amp; Co\nURL=<a href=\"x\">http://r.example/</a>\n"
             "Email=<i>shop</i>@r.example\nPhone=<h1>555</h1>\n");
    TAboutBox box(Ini);
    for (QLabel* label : {box.ACompany, box.AURL, box.AEmail, box.APhone}) {
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->objectName().toStdString();
        // Shown as typed, the tags take room of their own.
        EXPECT_GE(label->sizeHint().width(), QFontMetrics(label->font()).horizontalAdvance(label->text()))
            << label->objectName().toStdString();
    }
    EXPECT_EQ(box.ACompany->text(), "<b>Northwind</b> &amp; Co");
}

TEST_F(AboutBoxTest, ProductTextsAndPictures)
{
    TAboutBox box(Ini);
    EXPECT_EQ(box.windowTitle(), "About Sifton");
    EXPECT_EQ(box.ProductName->text(), "Sifton");
    EXPECT_EQ(box.Version->text(), "Build: 1998.8.20");
    EXPECT_FALSE(box.Copyright->text().isEmpty());
    EXPECT_EQ(box.Label9->text(), "Programmers:");
    EXPECT_EQ(box.Label8->text(), "URL: ");
    EXPECT_EQ(box.Label10->text(), "E-mail: ");
    EXPECT_EQ(box.Label4->text(), "Phone: ");
    EXPECT_EQ(box.size(), QSize(321, 273));
    EXPECT_EQ(box.QvSizeBox2->size(), QSize(313, 129));
    EXPECT_EQ(box.QvSizeBox3->size(), QSize(313, 81));
    EXPECT_EQ(box.QvSizeBox2->Color(), QColor(Qt::black));
    EXPECT_EQ(box.QvSizeBox2->BorderStyle(), TQvSizeBox::bsSingle);
    EXPECT_EQ(box.QvSizeBox3->BorderStyle(), TQvSizeBox::bsSingle);
    EXPECT_EQ(DynamicProperties(box), "") << "properties the form names that no class has";
    EXPECT_FALSE(box.ProgramIcon->pixmap().isNull());
    EXPECT_EQ(box.About_Picture->pixmap().size(), QSize(189, 60));
    EXPECT_TRUE(box.OKButton->isDefault());
}

TEST_F(AboutBoxTest, LinksLookLikeLinks)
{
    TAboutBox box(Ini);
    for (QLabel* link : {box.AURL, box.AEmail}) {
        EXPECT_TRUE(link->font().underline()) << link->objectName().toStdString();
        EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor) << link->objectName().toStdString();
        // Some pixel of the rendered text is pure-ish blue.
        const QImage image = link->grab().toImage();
        bool blue = false;
        for (int y = 0; y < image.height() && !blue; ++y) {
            for (int x = 0; x < image.width() && !blue; ++x) {
                const QColor c = image.pixelColor(x, y);
                blue = c.blue() > 200 && c.red() < 80 && c.green() < 80;
            }
        }
        EXPECT_TRUE(blue) << link->objectName().toStdString();
    }
}

TEST_F(AboutBoxTest, LinkClicksGoToTheShellsOwnAssociation)
{
    WriteIni("[Reseller]\nURL=http://resale.example/\nEmail=shop@resale.example\n");
    TAboutBox box(Ini);
    TScriptedShell shell;
    Click(box.AURL);
    Click(box.AEmail);
    EXPECT_EQ(shell.Opened, (std::vector<QString>{"http://resale.example/", "mailto:shop@resale.example"}));
    EXPECT_TRUE(shell.Started.empty());
}

TEST_F(AboutBoxTest, ClickOnOtherLabelsOpensNothing)
{
    TAboutBox box(Ini);
    TScriptedShell shell;
    Click(box.ACompany);
    Click(box.APhone);
    EXPECT_TRUE(shell.Opened.empty());
}

} // namespace
