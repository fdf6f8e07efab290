#include "controls/objects/DataObject.h"
#include "controls/objects/OleContainer.h"
#include "controls/objects/RtfObjects.h"
#include "controls/richtext/EditOleCallback.h"
#include "controls/richtext/RtfReader.h"
#include "controls/richtext/qvtext.h"
#include "controls/richtext/qvtext_print.h"
#include "platform/com/Storage.h"
#include "tests/support/RichObjectsFixture.h"
#include "tests/support/ScriptedShell.h"
#include "tests/support/TestFiles.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>

#include <gtest/gtest.h>

namespace {

using ObjectsTest = RichObjectsTest;

TQvOle* WebLink(const QByteArray& url)
{
    auto* object = new TQvOle(&TWebLink::New);
    static_cast<TWebLink&>(object->Hosted()).URL = url;
    return object;
}

std::vector<std::uint8_t> Contents(IOleObject* object)
{
    IPersistStorage* persist = nullptr;
    object->QueryInterface(IID_IPersistStorage, reinterpret_cast<void**>(&persist));
    IStorage* storage = nullptr;
    StgCreateMemoryStorage(&storage);
    OleSave(persist, storage, false);
    persist->SaveCompleted(nullptr);
    persist->Release();
    std::vector<std::uint8_t> bytes = ContentsOf(storage);
    storage->Release();
    return bytes;
}

QByteArray Document(const QByteArray& body)
{
    return "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\\f0 " + body + "}";
}

IOleObject* ObjectIn(QTextDocument& document, int position)
{
    return TOleContainer::Of(&document)->ObjectAt(position);
}

TEST_F(ObjectsTest, RtfObjectOfOurKindBecomesALiveObjectInsteadOfItsResult)
{
    TQvOle* web = WebLink("https://quorvale.example/");
    const QByteArray rtf = Document("before " + WriteRtfObject(web, "result text") + " after\\par");
    QTextDocument document;
    ReadRtf(rtf, document);
    EXPECT_EQ(document.toPlainText(), QString("before ") + QChar::ObjectReplacementCharacter + " after");
    IOleObject* object = ObjectIn(document, 7);
    ASSERT_NE(object, nullptr);
    CLSID clsid;
    object->GetUserClassID(&clsid);
    EXPECT_EQ(clsid, TWebLink::ClassID);
    EXPECT_EQ(Contents(object), Contents(web));
    web->Release();
}

TEST_F(ObjectsTest, RtfObjectRoundTripIsByteForByte)
{
    auto* file = new TQvOle(&TFileLink::New);
    auto& link = static_cast<TFileLink&>(file->Hosted());
    link.Path = "Readme.txt";
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(Qt::darkGreen);
    ASSERT_TRUE(link.Icon.Assign(image));
    const QByteArray group = WriteRtfObject(file, "Readme.txt");
    ASSERT_FALSE(group.isEmpty());
    QTextDocument document;
    ReadRtf(Document(group), document);
    IOleObject* object = ObjectIn(document, 0);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(WriteRtfObject(object, "Readme.txt"), group);
    file->Release();
}

struct DamageCase {
    const char* Name;
    std::function<QByteArray(QByteArray)> Damage; // of the object data bytes
};

class RtfObjectDamage : public ObjectsTest, public ::testing::WithParamInterface<DamageCase> { };

TEST_P(RtfObjectDamage, ShowsTheResultText)
{
    TQvOle* web = WebLink("https://quorvale.example/");
    const QByteArray group = WriteRtfObject(web, "shown instead");
    web->Release();
    const qsizetype start = group.indexOf("{\\*\\objdata") + 11;
    const qsizetype end = group.indexOf('}', start);
    const QByteArray data = QByteArray::fromHex(group.mid(start, end - start));
    const QByteArray damaged = group.left(start) + GetParam().Damage(data).toHex() + group.mid(end);
    QTextDocument document;
    ReadRtf(Document("a " + damaged + " b"), document);
    EXPECT_EQ(document.toPlainText(), "a shown instead b");
}

QByteArray SetInt32(QByteArray data, int at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        data[at + i] = static_cast<char>(value >> (8 * i));
    }
    return data;
}

INSTANTIATE_TEST_SUITE_P(
    Data, RtfObjectDamage,
    ::testing::Values(DamageCase{"Empty", [](QByteArray) { return QByteArray(); }},
                      DamageCase{"CutInTheHeader", [](QByteArray d) { return d.left(10); }},
                      DamageCase{"CutInTheCompoundFile", [](QByteArray d) { return d.left(d.size() / 2); }},
                      DamageCase{"LinkedNotEmbedded", [](QByteArray d) { return SetInt32(d, 4, 1); }},
                      DamageCase{"ClassNameLongerThanTheData",
                                 [](QByteArray d) { return SetInt32(d, 8, 0x7FFFFFF0); }},
                      DamageCase{"NativeSizeLongerThanTheData",
                                 [](QByteArray d) {
                                     const int classLength = d[8] | d[9] << 8;
                                     return SetInt32(d, 12 + classLength + 8, 0xFFFFFFF0);
                                 }},
                      DamageCase{"NotACompoundFile",
                                 [](QByteArray d) {
                                     d[d.indexOf(QByteArray("\xD0\xCF\x11\xE0", 4))] = 'X';
                                     return d;
                                 }}),
    [](const ::testing::TestParamInfo<DamageCase>& info) { return info.param.Name; });

TEST_F(ObjectsTest, AnObjectOfAClassWeDoNotKnowShowsItsResult)
{
    IStorage* storage = nullptr;
    ASSERT_EQ(StgCreateMemoryStorage(&storage), S_OK);
    WriteClassStg(storage, CLSID{0x00020906, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}});
    std::vector<std::uint8_t> file;
    ASSERT_EQ(SaveToCompoundFile(storage, file), S_OK);
    storage->Release();
    TOle1Object ole1;
    ole1.ClassName = "Word.Document.8";
    ole1.NativeData = file;
    const QByteArray rtf = Document("{\\object\\objemb{\\*\\objclass Word.Document.8}{\\*\\objdata " +
                                    WriteOle1Object(ole1).toHex() + "}{\\result foreign}}");
    QTextDocument document;
    ReadRtf(rtf, document);
    EXPECT_EQ(document.toPlainText(), "foreign");
}

TEST_F(ObjectsTest, UnregisteredKindsShowTheirResult)
{
    TQvOle* web = WebLink("https://quorvale.example/");
    const QByteArray rtf = Document(WriteRtfObject(web, "text"));
    web->Release();
    RevokeRichObjects();
    QTextDocument document;
    ReadRtf(rtf, document);
    EXPECT_EQ(document.toPlainText(), "text");
    RegisterRichObjects();
}

TEST(Ole1Object, WritesAndReadsTheHeaderFields)
{
    TOle1Object object;
    object.ClassName = "Application/Web Link: Classname=TWebLink";
    object.TopicName = "t";
    object.NativeData = {1, 2, 3};
    const QByteArray bytes = WriteOle1Object(object);
    EXPECT_TRUE(bytes.startsWith(QByteArray("\x01\x05\0\0\x02\0\0\0", 8)));
    const auto read = ParseOle1Object(bytes);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->ClassName, object.ClassName);
    EXPECT_EQ(read->TopicName, "t");
    EXPECT_EQ(read->ItemName, "");
    EXPECT_EQ(read->NativeData, object.NativeData);
    for (qsizetype size = 0; size < bytes.size(); ++size) {
        EXPECT_FALSE(ParseOle1Object(bytes.left(size)).has_value()) << size;
    }
}

// ---- the control ----

TEST_F(ObjectsTest, CallbackAnswers)
{
    TQvEdit edit;
    auto* callback = new TEditOLECallBack(edit);
    void* answer = nullptr;
    EXPECT_EQ(callback->QueryInterface(IID_IRichEditOleCallback, &answer), E_NOINTERFACE);
    ASSERT_EQ(callback->QueryInterface(IID_IUnknown, &answer), S_OK);
    static_cast<IUnknown*>(answer)->Release();
    IStorage* storage = nullptr;
    ASSERT_EQ(callback->GetNewStorage(&storage), S_OK);
    ASSERT_NE(storage, nullptr);
    storage->Release();
    EXPECT_EQ(callback->GetInPlaceContext(nullptr, nullptr, nullptr), E_NOTIMPL);
    EXPECT_EQ(callback->ShowContainerUI(true), E_NOTIMPL);
    EXPECT_EQ(callback->ContextSensitiveHelp(true), E_NOTIMPL);
    EXPECT_EQ(callback->GetClipboardData(nullptr, 0, nullptr), E_NOTIMPL);
    EXPECT_EQ(callback->DeleteObject(nullptr), S_OK);
    DWORD effect = 3;
    EXPECT_EQ(callback->GetDragDropEffect(true, 0, &effect), S_OK);
    EXPECT_EQ(effect, 3u);

    ASSERT_TRUE(edit.PlainText());
    EXPECT_EQ(callback->QueryInsertObject(nullptr, nullptr, 0), E_NOTIMPL);
    CLIPFORMAT format = EmbeddedObjectFormat();
    EXPECT_EQ(callback->QueryAcceptData(nullptr, &format, 0, true, nullptr), S_OK);
    EXPECT_EQ(format, CF_TEXT);
    edit.SetPlainText(false);
    EXPECT_EQ(callback->QueryInsertObject(nullptr, nullptr, 0), S_OK);
    format = EmbeddedObjectFormat();
    callback->QueryAcceptData(nullptr, &format, 0, true, nullptr);
    EXPECT_EQ(format, EmbeddedObjectFormat());
    callback->Release();
}

// Object data and a text of its own, as another program might put both on the clipboard.
QMimeData* ObjectAndText(IOleObject* object, const QString& text)
{
    auto* data = new QMimeData;
    PutObjectData(object, *data);
    data->setText(text);
    return data;
}

TEST_F(ObjectsTest, APlainTextControlRefusesAnObjectAndTakesTheText)
{
    TQvOle* web = WebLink("https://quorvale.example/");
    TQvEdit plain;
    QApplication::clipboard()->setMimeData(ObjectAndText(web, "the text"));
    plain.PasteFromClipboard();
    EXPECT_EQ(plain.Text(), "the text");
    EXPECT_EQ(ObjectIn(*plain.document(), 0), nullptr);

    TQvEdit rich;
    rich.SetPlainText(false);
    QApplication::clipboard()->setMimeData(ObjectAndText(web, "the text"));
    rich.PasteFromClipboard();
    EXPECT_EQ(rich.Text(), QString(QChar::ObjectReplacementCharacter));
    ASSERT_NE(ObjectIn(*rich.document(), 0), nullptr);
    EXPECT_EQ(Contents(ObjectIn(*rich.document(), 0)), Contents(web));
    web->Release();
}

TEST_F(ObjectsTest, CopyAndPasteCarryAnObjectBetweenTwoControlsByteForByte)
{
    TQvOle* web = WebLink("https://quorvale.example/news");
    TQvEdit source;
    source.SetPlainText(false);
    {
        QTextCursor cursor = source.textCursor();
        cursor.insertText("x");
        TOleContainer::Of(source.document())->Insert(cursor, web, nullptr);
    }
    source.SetSelStart(1);
    source.SetSelLength(1);
    source.CopyToClipboard();
    const QMimeData* clip = QApplication::clipboard()->mimeData();
    ASSERT_TRUE(HasObjectData(*clip));
    EXPECT_EQ(clip->data(MimeTypeOf(ObjectDescriptorFormat())).size(), 52);
    EXPECT_EQ(clip->text(), "");

    TQvEdit target;
    target.SetPlainText(false);
    target.PasteFromClipboard();
    IOleObject* pasted = ObjectIn(*target.document(), 0);
    ASSERT_NE(pasted, nullptr);
    EXPECT_EQ(Contents(pasted), Contents(web));
    web->Release();
}

TEST_F(ObjectsTest, DoubleClickAndEnterOpenTheObject)
{
    TScriptedShell shell;
    TQvOle* web = WebLink("https://quorvale.example/");
    TQvEdit edit;
    edit.SetPlainText(false);
    edit.resize(400, 200);
    {
        QTextCursor cursor = edit.textCursor();
        cursor.insertText("ab ");
        TOleContainer::Of(edit.document())->Insert(cursor, web, nullptr);
    }
    edit.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&edit));
    QTextCursor at(edit.document());
    at.setPosition(3);
    const QRect caret = edit.cursorRect(at);
    QTest::mouseDClick(edit.viewport(), Qt::LeftButton, Qt::NoModifier, caret.center() + QPoint(10, 0));
    ASSERT_EQ(shell.Opened.size(), 1u);
    EXPECT_EQ(shell.Opened[0], "https://quorvale.example/");
    EXPECT_EQ(edit.SelStart(), 3);
    EXPECT_EQ(edit.SelLength(), 1);

    QTest::keyClick(&edit, Qt::Key_Return);
    EXPECT_EQ(shell.Opened.size(), 2u);
    EXPECT_EQ(edit.Text(), QString("ab ") + QChar::ObjectReplacementCharacter); // no line break typed

    // A double-click on text opens nothing.
    at.setPosition(0);
    QTest::mouseDClick(edit.viewport(), Qt::LeftButton, Qt::NoModifier, edit.cursorRect(at).center());
    EXPECT_EQ(shell.Opened.size(), 2u);
    web->Release();
}

int BluePixels(const QImage& image)
{
    int blue = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            blue += c.blue() > 200 && c.red() < 100 && c.green() < 100 ? 1 : 0;
        }
    }
    return blue;
}

TEST_F(ObjectsTest, ObjectsAreDrawnSizedByTheirExtentOnScreenAndInPrint)
{
    TQvOle* web = WebLink("https://quorvale.example/");
    TQvEdit edit;
    edit.SetPlainText(false);
    edit.resize(400, 100);
    {
        QTextCursor cursor = edit.textCursor();
        TOleContainer::Of(edit.document())->Insert(cursor, web, nullptr);
    }
    QTextCursor at(edit.document());
    at.setPosition(1);
    EXPECT_EQ(edit.cursorRect(at).left() - edit.cursorRect(QTextCursor(edit.document())).left(),
              static_cast<TWebLink&>(web->Hosted()).NaturalSize().width());
    EXPECT_GT(BluePixels(edit.viewport()->grab().toImage()), 20);

    QTemporaryDir dir;
    QPrinter printer(QPrinter::ScreenResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath("out.pdf"));
    TPageFormatter formatter(*edit.document(), printer, 600, 400);
    QImage page(600, 400, QImage::Format_ARGB32);
    page.fill(Qt::white);
    {
        QPainter painter(&page);
        formatter.FormatRange(painter, 0, 0, 0);
    }
    EXPECT_GT(BluePixels(page), 20);
    web->Release();
}

TEST_F(ObjectsTest, LoadFromFileShowsTheObjectsOfARichTextFile)
{
    TQvOle* web = WebLink("https://quorvale.example/");
    const QString path = FDir.filePath("links.rtf");
    WriteBytes(path, Document("see " + WriteRtfObject(web, "the web") + "\\par"));
    web->Release();
    TQvEdit edit;
    edit.SetPlainText(false);
    ASSERT_TRUE(edit.LoadFromFile(path));
    EXPECT_EQ(edit.Text(), QString("see ") + QChar::ObjectReplacementCharacter);
    EXPECT_NE(ObjectIn(*edit.document(), 4), nullptr);
}

} // namespace
