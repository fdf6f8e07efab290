#include "app/readme.h"
#include "platform/Application.h"
#include "tests/support/FormProperties.h"

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QPointer>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

QString SourceReadme()
{
    return qEnvironmentVariable("SIFTON_SOURCE") + "/resources/Readme.RTF";
}

TEST(ReadmeMenu, MissingReadmeShowsNothing)
{
    QTemporaryDir folder;
    bool shown = false;
    QTimer::singleShot(0, [&shown] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            shown = true;
            modal->close();
        }
    });
    ShowReadme(folder.filePath("Readme.RTF"), nullptr);
    QApplication::processEvents();
    EXPECT_FALSE(shown);
}

TEST(ReadmeMenu, ReadmeIsLookedForBesideTheProgram)
{
    EXPECT_EQ(ReadmeFileName(),
              QFileInfo(QCoreApplication::applicationFilePath()).absolutePath() + "/Readme.RTF");
}

TEST(ReadmeMenu, WithoutOneBesideTheProgramTheInstalledReadmeIsShown)
{
    const QString beside = QFileInfo(QCoreApplication::applicationFilePath()).absolutePath() + "/Readme.RTF";
    ASSERT_FALSE(QFile::exists(beside)) << "the test programs' folder holds no readme";
    QTemporaryDir data;
    EXPECT_EQ(ReadmeFileName(data.path()), beside) << "neither exists: the program's own folder is named";
    ASSERT_TRUE(QFile::copy(SourceReadme(), data.filePath("Readme.RTF")));
    EXPECT_EQ(ReadmeFileName(data.path()), data.filePath("Readme.RTF"));
}

TEST(ReadmeMenu, ShowsTheFileInAFreshModalViewer)
{
    Application::SetTitle("Sifton");
    QStringList seen;
    QPointer<TReadmeFile> first;
    const auto inspect = [&] {
        auto* viewer = qobject_cast<TReadmeFile*>(QApplication::activeModalWidget());
        ASSERT_NE(viewer, nullptr);
        seen << viewer->windowTitle() << viewer->CaptionTitle->text();
        seen << (viewer->ReadMeBox->toPlainText().contains("What Sifton does") ? "loaded" : "empty");
        if (!first) {
            first = viewer;
        }
        viewer->BitBtn1->click();
    };
    QTimer::singleShot(0, inspect);
    ShowReadme(SourceReadme(), nullptr);
    EXPECT_TRUE(first.isNull()); // the viewer is gone once closed
    QTimer::singleShot(0, inspect);
    ShowReadme(SourceReadme(), nullptr);
    EXPECT_EQ(seen, QStringList({"Product Readme File", "Sifton Readme File.", "loaded",
                                 "Product Readme File", "Sifton Readme File.", "loaded"}));
}

struct CloseKey {
    const char* name;
    int key;
};

class ReadmeCloseKeyTest : public ::testing::TestWithParam<CloseKey> { };

TEST_P(ReadmeCloseKeyTest, ClosesWithResultOK)
{
    TReadmeFile viewer;
    viewer.show();
    viewer.BitBtn1->setFocus();
    QTimer::singleShot(0, &viewer, [&viewer] {
        QKeyEvent press(QEvent::KeyPress, GetParam().key, Qt::NoModifier);
        QApplication::sendEvent(QApplication::focusWidget() ? QApplication::focusWidget() : &viewer, &press);
    });
    QTimer::singleShot(2000, &viewer, [&viewer] { viewer.done(-1); });
    EXPECT_EQ(viewer.exec(), QDialog::Accepted);
}

INSTANTIATE_TEST_SUITE_P(Keys, ReadmeCloseKeyTest,
                         ::testing::Values(CloseKey{"Enter", Qt::Key_Return},
                                           CloseKey{"Esc", Qt::Key_Escape}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReadmeViewer, FormSettings)
{
    TReadmeFile viewer;
    EXPECT_EQ(viewer.size(), QSize(492, 423));
    EXPECT_EQ(viewer.TextTitle->size(), QSize(457, 325));
    EXPECT_EQ(viewer.Panel1->height(), 33);
    EXPECT_EQ(viewer.BitBtn1->text(), "&Close");
    EXPECT_FALSE(viewer.BitBtn1->icon().isNull());
    EXPECT_TRUE(viewer.BitBtn1->isDefault());
    EXPECT_FALSE(viewer.PIcon->pixmap().isNull());
    EXPECT_TRUE(viewer.ReadMeBox->isReadOnly());
    EXPECT_EQ(viewer.ReadMeBox->MaxLength(), 32768);
    EXPECT_EQ(viewer.ReadMeBox->Color(), QColor(Qt::white));
    EXPECT_TRUE(viewer.ReadMeBox->WantTabs());
    EXPECT_FALSE(viewer.ReadMeBox->HideSelection());
    EXPECT_FALSE(viewer.ReadMeBox->PlainText());
    EXPECT_EQ(viewer.ReadMeBox->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(viewer.ReadMeBox->lineWrapMode(), QTextEdit::WidgetWidth);
    EXPECT_EQ(DynamicProperties(viewer), "") << "properties the form names that no class has";
}

// The hand-written readme must come through the RTF reader as formatted text, not as code.
TEST(ReadmeFile, ReadsAsFormattedText)
{
    TReadmeFile viewer;
    ASSERT_TRUE(viewer.ReadMeBox->LoadFromFile(SourceReadme()));
    const QString text = viewer.ReadMeBox->toPlainText();
    EXPECT_LT(text.size(), 32768);
    for (const char* heading :
         {"What Sifton does", "The options", "The command line", "Files kept beside the program"}) {
        EXPECT_TRUE(text.contains(heading)) << heading;
    }
    EXPECT_FALSE(text.contains('\\'));
    EXPECT_FALSE(text.contains('{'));
    EXPECT_FALSE(text.contains('}'));
    EXPECT_TRUE(text.contains(QChar(0x2022))); // bullets
    EXPECT_TRUE(text.contains(QChar(0x00a9)));

    bool headingBold = false;
    for (QTextBlock block = viewer.ReadMeBox->document()->begin(); block.isValid(); block = block.next()) {
        if (block.text() == "The command line") {
            QTextCursor cursor(block);
            cursor.movePosition(QTextCursor::NextCharacter);
            headingBold = cursor.charFormat().fontWeight() >= QFont::Bold;
        }
    }
    EXPECT_TRUE(headingBold);
}

TEST(ReadmeFile, BuildPutsItBesideTheProgram)
{
    QFile built(qEnvironmentVariable("SIFTON_BIN") + "/Readme.RTF");
    QFile source(SourceReadme());
    ASSERT_TRUE(built.open(QIODevice::ReadOnly));
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    EXPECT_EQ(built.readAll(), source.readAll());
}

} // namespace
