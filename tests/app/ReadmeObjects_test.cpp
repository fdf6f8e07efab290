#include "app/readme.h"
#include "app/urls.h"
#include "controls/objects/OleContainer.h"
#include "tests/support/RichObjectsFixture.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/ScriptedShell.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextDocument>

#include <gtest/gtest.h>

namespace {

QString SourceReadme()
{
    return qEnvironmentVariable("SIFTON_SOURCE") + "/resources/Readme.RTF";
}

// The links of a document, in order, as their hosted objects.
std::vector<THostedOle*> Links(QTextDocument& document)
{
    std::vector<THostedOle*> links;
    TOleContainer* container = TOleContainer::Of(&document);
    const QString text = document.toPlainText();
    for (int i = 0; i < text.size(); ++i) {
        if (auto* object = static_cast<TQvOle*>(container->ObjectAt(i))) {
            links.push_back(&object->Hosted());
        }
    }
    return links;
}

using ReadmeObjects = RichObjectsTest;

TEST_F(ReadmeObjects, TheReadmeHoldsAWebLinkToTheMakerAndAFileLinkThatOpen)
{
    TScriptedShell shell;
    TReadmeFile viewer;
    ASSERT_TRUE(viewer.ReadMeBox->LoadFromFile(SourceReadme()));
    const std::vector<THostedOle*> links = Links(*viewer.ReadMeBox->document());
    ASSERT_EQ(links.size(), 2u);
    auto* file = dynamic_cast<TFileLink*>(links[0]);
    auto* web = dynamic_cast<TWebLink*>(links[1]);
    ASSERT_NE(file, nullptr);
    ASSERT_NE(web, nullptr);
    EXPECT_EQ(web->URL, "http://www.quorvale.example/");
    EXPECT_EQ(file->Path, "Readme.RTF");
    EXPECT_FALSE(file->Icon.Empty());
    web->DoVerb(OLEIVERB_PRIMARY);
    file->DoVerb(OLEIVERB_PRIMARY);
    ASSERT_EQ(shell.Opened.size(), 2u);
    EXPECT_EQ(shell.Opened[0], "http://www.quorvale.example/");
    EXPECT_EQ(shell.Opened[1], SourceReadme())
        << "the link's relative path is taken from the readme's folder";
}

// An installed copy keeps its readme in share/sifton, far from the program: the readme's link to a file
// beside it opens that file. A link that leads nowhere says so, with its reason, and fails.
TEST_F(ReadmeObjects, ARelativeFileLinkInAnInstalledLayoutOpensTheFileBesideTheReadme)
{
    QTemporaryDir prefix;
    const QString data = prefix.filePath("share/sifton");
    ASSERT_TRUE(QDir().mkpath(data));
    ASSERT_TRUE(QFile::copy(SourceReadme(), data + "/Readme.RTF"));
    TScriptedShell shell;
    TScriptedDialogs dialogs;
    TReadmeFile viewer;
    ASSERT_TRUE(viewer.ReadMeBox->LoadFromFile(data + "/Readme.RTF"));
    auto* file = dynamic_cast<TFileLink*>(Links(*viewer.ReadMeBox->document()).at(0));
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(file->Path, "Readme.RTF");
    EXPECT_EQ(file->DoVerb(OLEIVERB_PRIMARY), S_OK);
    EXPECT_EQ(shell.Opened, std::vector<QString>{data + "/Readme.RTF"});
    EXPECT_TRUE(dialogs.Messages.empty());

    file->Path = "gone.txt";
    EXPECT_EQ(file->DoVerb(OLEIVERB_PRIMARY), STG_E_FILENOTFOUND);
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_EQ(dialogs.Messages[0].Text.toStdString(),
              "Cannot open file " + data.toStdString() + "/gone.txt: No such file or directory");
    EXPECT_EQ(shell.Opened.size(), 1u);

    file->Path = "Readme.RTF";
    shell.Result = false; // no program of the desktop opens it
    EXPECT_EQ(file->DoVerb(OLEIVERB_PRIMARY), E_FAIL);
    ASSERT_EQ(dialogs.Messages.size(), 2u);
    EXPECT_TRUE(dialogs.Messages[1].Text.startsWith("Cannot open file " + data + "/Readme.RTF: "))
        << dialogs.Messages[1].Text.toStdString();
}

TEST_F(ReadmeObjects, WithoutTheRegisteredKindsTheReadmeShowsTheLinkTexts)
{
    RevokeRichObjects();
    TReadmeFile viewer;
    ASSERT_TRUE(viewer.ReadMeBox->LoadFromFile(SourceReadme()));
    EXPECT_TRUE(Links(*viewer.ReadMeBox->document()).empty());
    EXPECT_TRUE(viewer.ReadMeBox->toPlainText().contains("Web: http://www.quorvale.example/"));
    RegisterRichObjects();
}

} // namespace
