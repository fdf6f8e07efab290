#include "controls/objects/RtfObjects.h"
#include "controls/richtext/RtfReader.h"
#include "tests/support/RichObjectsFixture.h"

#include <QTextDocument>

#include <gtest/gtest.h>
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

TEST_F(RtfObjectData, ObjectDataOfAnotherKindOfObjectIsNotOurs)
{
    TOle1Object ole1;
    ole1.ClassName = "Paint.Picture";
    ole1.NativeData = {0x42, 0x4D, 0, 0};
    EXPECT_EQ(ReadObjectData(WriteOle1Object(ole1)), nullptr);
}

} // namespace
