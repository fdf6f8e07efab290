#include "app/readme.h"
#include "app/urls.h"
#include "controls/objects/OleContainer.h"
#include "tests/support/RichObjectsFixture.h"
#include "tests/support/ScriptedShell.h"

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
    EXPECT_EQ(shell.Opened[1], ReadmeFileName());
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
