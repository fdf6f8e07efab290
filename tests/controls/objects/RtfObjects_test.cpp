#include "controls/objects/RtfObjects.h"
#include "controls/richtext/RtfReader.h"
#include "tests/support/RichObjectsFixture.h"
#include "tests/support/SharedChains.h"

#include <QTextDocument>

#include <gtest/gtest.h>
#include <optional>
#include <random>

namespace {

using RtfObjectData = RichObjectsTest;

// The object data of a file link with an icon: header, compound file, "CONTENTS" with an ICO.
QByteArray FileLinkData()
{
    auto* object = new TQvOle(&TFileLink::New);
    auto& link = static_cast<TFileLink&>(object->Hosted());
    link.Path = "a.txt";
    QImage image(8, 8, QImage::Format_ARGB32);
    image.fill(Qt::blue);
    link.Icon.Assign(image);
    const QByteArray group = WriteRtfObject(object, "r");
    object->Release();
    const qsizetype start = group.indexOf("{\\*\\objdata") + 11;
    return QByteArray::fromHex(group.mid(start, group.indexOf('}', start) - start));
}

TEST_F(RtfObjectData, ChangedBytesAnywhereGiveTheObjectOrTheResultNeverACrash)
{
    const QByteArray data = FileLinkData();
    IStorage* storage = ReadObjectData(data);
    ASSERT_NE(storage, nullptr);
    storage->Release();
    std::mt19937 random(19);
    std::uniform_int_distribution<qsizetype> at(0, data.size() - 1);
    std::uniform_int_distribution<int> value(0, 255);
    int objects = 0;
    int results = 0;
    for (int round = 0; round < 400; ++round) {
        QByteArray damaged = data;
        for (int n = 0; n <= round % 4; ++n) {
            damaged[at(random)] = static_cast<char>(value(random));
        }
        QTextDocument document;
        ReadRtf("{\\rtf1 {\\object\\objemb{\\*\\objdata " + damaged.toHex() + "}{\\result r}}}", document);
        const QString text = document.toPlainText();
        if (text == QString(QChar::ObjectReplacementCharacter)) {
            ++objects;
        } else {
            EXPECT_EQ(text, "r");
            ++results;
        }
    }
    EXPECT_GT(results, 0);
}

// Inside object data only the hex digits count: paragraph, page, section and row ends written among
// them (a writer that breaks long lines so) add no paragraph to the text, and the object still loads.
TEST_F(RtfObjectData, ParagraphWordsAmongTheHexDigitsAddNoParagraph)
{
    const QByteArray hex = FileLinkData().toHex();
    const qsizetype quarter = hex.size() / 4 / 2 * 2;
    const QByteArray broken = hex.left(quarter) + "\\par " + hex.mid(quarter, quarter) + "\\page\\sect " +
                              hex.mid(2 * quarter, quarter) + "{\\row " + hex.mid(3 * quarter, 2) + "}" +
                              hex.mid(3 * quarter + 2) + "{\\*\\unknown 00}\\par";
    QTextDocument document;
    ReadRtf("{\\rtf1 a{\\object\\objemb{\\*\\objdata " + broken + "}{\\result r}}b}", document);
    EXPECT_EQ(document.toPlainText(), QString("a") + QChar::ObjectReplacementCharacter + "b");
    EXPECT_EQ(document.blockCount(), 1);
}

// A compound file whose streams all claim one chain of sectors, as object data in a document a user
// opens: the object would cost hundreds of megabytes; it is refused and its result is shown.
TEST_F(RtfObjectData, AnObjectWhoseStreamsShareOneChainShowsItsResult)
{
    const QByteArray data = FileLinkData();
    std::optional<TOle1Object> ole1 = ParseOle1Object(data);
    IStorage* storage = ReadObjectData(data);
    ASSERT_TRUE(ole1 && storage != nullptr);
    ole1->NativeData = SharedChainsFile(storage, 200 * 1024, 1000);
    storage->Release();
    ASSERT_FALSE(ole1->NativeData.empty());
    QTextDocument document;
    ReadRtf("{\\rtf1 {\\object\\objemb{\\*\\objdata " + WriteOle1Object(*ole1).toHex() +
                "}{\\result shown instead}}}",
            document);
    EXPECT_EQ(document.toPlainText(), "shown instead");
}

TEST_F(RtfObjectData, ObjectDataOfAnotherKindOfObjectIsNotOurs)
{
    TOle1Object ole1;
    ole1.ClassName = "Paint.Picture";
    ole1.NativeData = {0x42, 0x4D, 0, 0};
    EXPECT_EQ(ReadObjectData(WriteOle1Object(ole1)), nullptr);
}

} // namespace
