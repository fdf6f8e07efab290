#include "controls/objects/DataObject.h"
#include "controls/objects/RichObjects.h"
#include "platform/com/ComClassTable.h"
#include "platform/com/KeyStore.h"
#include "platform/com/Storage.h"
#include "tests/support/ScriptedDialogs.h"
#include "tests/support/ScriptedShell.h"
#include "tests/support/TestFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray Int32(std::int32_t value)
{
    QByteArray bytes(4, '\0');
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<char>(static_cast<std::uint32_t>(value) >> (8 * i));
    }
    return bytes;
}

TIcon RedIcon(int size = 16)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::red);
    TIcon icon;
    EXPECT_TRUE(icon.Assign(image));
    return icon;
}

// A TQvOle of a kind, its hosted object cast to the kind.
template <class T>
struct TObject {
    TQvOle* Ole = new TQvOle(&T::New);
    T& Kind = static_cast<T&>(Ole->Hosted());
    ~TObject() { Ole->Release(); }
};

QByteArray Saved(THostedOle& object)
{
    IStream* stream = nullptr;
    EXPECT_EQ(CreateStreamOnBytes({}, &stream), S_OK);
    EXPECT_TRUE(object.SaveToStream(stream));
    std::vector<std::uint8_t> bytes;
    ReadAllOfStream(stream, bytes);
    stream->Release();
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

bool Load(THostedOle& object, const QByteArray& data)
{
    IStream* stream = nullptr;
    EXPECT_EQ(CreateStreamOnBytes(std::vector<std::uint8_t>(data.begin(), data.end()), &stream), S_OK);
    const bool loaded = object.LoadFromStream(stream);
    stream->Release();
    return loaded;
}

TEST(RichObjects, ContentsLayoutsAreLengthBytesThenIconOrZero)
{
    TObject<TFileLink> file;
    file.Kind.Path = "/tmp/notes.txt";
    EXPECT_EQ(Saved(file.Kind), Int32(14) + "/tmp/notes.txt" + Int32(0));
    file.Kind.Icon = RedIcon();
    EXPECT_EQ(Saved(file.Kind), Int32(14) + "/tmp/notes.txt" + Int32(1) + file.Kind.Icon.Ico());
    EXPECT_TRUE(file.Kind.Icon.Ico().startsWith(QByteArray("\0\0\1\0", 4))); // an ICO file

    TObject<TIconOle> icon;
    icon.Kind.Caption = "Hi";
    EXPECT_EQ(Saved(icon.Kind), Int32(2) + "Hi" + Int32(0));

    TObject<TWebLink> web;
    web.Kind.URL = "https://quorvale.example/";
    EXPECT_EQ(Saved(web.Kind), Int32(25) + "https://quorvale.example/" + Int32(0));
}

TEST(RichObjects, EachKindLoadsWhatItSaved)
{
    TObject<TFileLink> file;
    file.Kind.Path = "docs/a file.txt";
    file.Kind.Icon = RedIcon(32);
    TObject<TFileLink> fileCopy;
    ASSERT_TRUE(Load(fileCopy.Kind, Saved(file.Kind)));
    EXPECT_EQ(fileCopy.Kind.Path, file.Kind.Path);
    EXPECT_EQ(fileCopy.Kind.Icon.Ico(), file.Kind.Icon.Ico());
    EXPECT_EQ(fileCopy.Kind.Icon.Size(), QSize(32, 32));

    TObject<TWebLink> web;
    web.Kind.URL = "www.quorvale.example";
    TObject<TWebLink> webCopy;
    ASSERT_TRUE(Load(webCopy.Kind, Saved(web.Kind)));
    EXPECT_EQ(webCopy.Kind.URL, web.Kind.URL);
}

TEST(RichObjects, IconObjectSavedWithEmptyCaptionShowsItsIconAfterLoading)
{
    TObject<TIconOle> icon;
    icon.Kind.Icon = RedIcon();
    icon.Kind.SetShowIcon(false);
    TObject<TIconOle> copy;
    ASSERT_TRUE(Load(copy.Kind, Saved(icon.Kind)));
    EXPECT_TRUE(copy.Kind.ShowIcon());
    EXPECT_EQ(copy.Kind.NaturalSize(), QSize(16, 16));

    icon.Kind.Caption = "caption";
    ASSERT_TRUE(Load(copy.Kind, Saved(icon.Kind)));
    EXPECT_FALSE(copy.Kind.ShowIcon());
}

struct DamagedCase {
    const char* Name;
    QByteArray Data;
};

class RichObjectsDamaged : public ::testing::TestWithParam<DamagedCase> { };

TEST_P(RichObjectsDamaged, AreRefusedAndLeaveTheObjectAsItWas)
{
    TObject<TFileLink> file;
    file.Kind.Path = "kept";
    EXPECT_FALSE(Load(file.Kind, GetParam().Data));
    EXPECT_EQ(file.Kind.Path, "kept");
}

INSTANTIATE_TEST_SUITE_P(
    Data, RichObjectsDamaged,
    ::testing::Values(DamagedCase{"Empty", QByteArray()}, DamagedCase{"ShortLength", QByteArray("\1\0", 2)},
                      DamagedCase{"LengthPastTheEnd", Int32(50) + "abc" + Int32(0)},
                      DamagedCase{"NegativeLength", Int32(-1) + Int32(0)},
                      DamagedCase{"NoIconFlag", Int32(3) + "abc"},
                      DamagedCase{"UnknownIconFlag", Int32(3) + "abc" + Int32(2)},
                      DamagedCase{"IconFlagWithoutIcon", Int32(3) + "abc" + Int32(1)},
                      DamagedCase{"IconThatIsNoIcon", Int32(3) + "abc" + Int32(1) + "not an icon at all"}),
    [](const ::testing::TestParamInfo<DamagedCase>& info) { return info.param.Name; });

TEST(RichObjects, ExtentsFollowTheTextAndIcon)
{
    const QFontMetrics metrics(QGuiApplication::font());
    TObject<TWebLink> web;
    web.Kind.URL = "https://quorvale.example/";
    EXPECT_EQ(web.Kind.NaturalSize(),
              QSize(metrics.horizontalAdvance("https://quorvale.example/") + 2, metrics.height()));

    TObject<TFileLink> file;
    file.Kind.Path = "/some/folder/x";
    file.Kind.Icon = RedIcon(32);
    EXPECT_EQ(file.Kind.NaturalSize(), QSize(34, metrics.height() + 32 + 3));
    file.Kind.Path = "/some/folder/a rather long file name.txt";
    EXPECT_EQ(file.Kind.NaturalSize().width(), metrics.horizontalAdvance("a rather long file name.txt") + 2);

    SIZEL extent;
    ASSERT_EQ(web.Ole->GetExtent(DVASPECT_CONTENT, &extent), S_OK);
    EXPECT_EQ(extent.cx, static_cast<int>(web.Kind.NaturalSize().width() * 2540 / ScreenPixelsPerInch().x()));
}

TEST(RichObjects, WebLinkDrawsItsAddressInBlue)
{
    TObject<TWebLink> web;
    web.Kind.URL = "https://quorvale.example/";
    QImage image(web.Kind.NaturalSize(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        web.Kind.Draw(DVASPECT_CONTENT, image.rect(), painter);
    }
    int blue = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            blue += c.blue() > 200 && c.red() < 100 ? 1 : 0;
        }
    }
    EXPECT_GT(blue, 20);
}

TEST(RichObjects, FileLinkDrawsItsIconCentredAtTheTop)
{
    TObject<TFileLink> file;
    file.Kind.Path = "/tmp/a-wide-file-name.txt";
    file.Kind.Icon = RedIcon(16);
    const QSize size = file.Kind.NaturalSize();
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        file.Kind.Draw(DVASPECT_CONTENT, image.rect(), painter);
    }
    const int left = (size.width() - 16) / 2;
    EXPECT_EQ(image.pixelColor(left, 0), QColor(Qt::red));
    EXPECT_EQ(image.pixelColor(left + 15, 15), QColor(Qt::red));
    EXPECT_EQ(image.pixelColor(left - 1, 0), QColor(Qt::white));
}

TEST(RichObjects, OpeningALinkGoesToTheDesktopOpenerAndTellsTheContainer)
{
    TScriptedShell shell;
    TObject<TWebLink> web;
    web.Kind.URL = "https://quorvale.example/";
    EXPECT_EQ(web.Ole->DoVerb(OLEIVERB_PRIMARY, nullptr, nullptr, 0, nullptr, nullptr), S_OK);
    TObject<TFileLink> file;
    file.Kind.Path = "/etc/hostname";
    file.Ole->DoVerb(-1, nullptr, nullptr, 0, nullptr, nullptr);
    file.Kind.Path = "Readme.txt";
    file.Ole->DoVerb(OLEIVERB_PRIMARY, nullptr, nullptr, 0, nullptr, nullptr);
    ASSERT_EQ(shell.Opened.size(), 3u);
    EXPECT_EQ(shell.Opened[0], "https://quorvale.example/");
    EXPECT_EQ(shell.Opened[1], "/etc/hostname");
    EXPECT_EQ(shell.Opened[2],
              QFileInfo(QFileInfo("/proc/self/exe").symLinkTarget()).absolutePath() + "/Readme.txt");
}

TEST(RichObjects, OpeningTheIconObjectAsksForItsCaption)
{
    TScriptedDialogs dialogs;
    dialogs.InputAnswers = {QString("New caption"), QString()};
    TObject<TIconOle> icon;
    icon.Kind.Caption = "Old";
    icon.Ole->DoVerb(OLEIVERB_PRIMARY, nullptr, nullptr, 0, nullptr, nullptr);
    ASSERT_EQ(dialogs.Inputs.size(), 1u);
    EXPECT_EQ(dialogs.Inputs[0].Caption, "TIconOle");
    EXPECT_EQ(dialogs.Inputs[0].Prompt, "Enter empty string for displaying Icon");
    EXPECT_EQ(dialogs.Inputs[0].Value, "Old");
    EXPECT_EQ(icon.Kind.Caption, "New caption");
    EXPECT_FALSE(icon.Kind.ShowIcon());
    icon.Ole->DoVerb(OLEIVERB_PRIMARY, nullptr, nullptr, 0, nullptr, nullptr);
    EXPECT_EQ(icon.Kind.Caption, "");
    EXPECT_TRUE(icon.Kind.ShowIcon());
}

TEST(RichObjects, TheKindsHaveTheirClassesTypesAndProgIDs)
{
    EXPECT_EQ(GuidToString(TFileLink::ClassID), "{7CA25402-0ACB-11CA-55C0-137683194000}");
    EXPECT_EQ(GuidToString(TIconOle::ClassID), "{42BFA701-EC57-0000-C000-000000000046}");
    EXPECT_EQ(GuidToString(TWebLink::ClassID), "{4EA25412-6ADD-0ADF-55C0-1376A3110302}");
    EXPECT_EQ(TFileLink().GetProgID(), "Application/File Link: Classname=TFileLink");
    EXPECT_EQ(TIconOle().GetProgID(), "Application/Icon: Classname=TIconOle");
    EXPECT_EQ(TWebLink().GetUserType(), "Application/Web Link");
    EXPECT_EQ(RichObjectKind(TWebLink::ClassID), &TWebLink::New);
    EXPECT_EQ(RichObjectKind(CLSID{}), nullptr);
}

TEST(RichObjectsRegistration, WritesTheClassKeysAndRegistersTheFactories)
{
    QTemporaryDir dir;
    const QString reg = dir.filePath("sifton.reg");
    SetClassesRootFile(reg.toStdString());
    RegisterRichObjects();
    const QByteArray text = ReadBytes(reg);
    EXPECT_TRUE(text.contains("[HKEY_CLASSES_ROOT\\CLSID\\{4EA25412-6ADD-0ADF-55C0-1376A3110302}]\r\n"
                              "@=\"Application/Web Link\"\r\n"));
    EXPECT_TRUE(text.contains("[HKEY_CLASSES_ROOT\\CLSID\\{42BFA701-EC57-0000-C000-000000000046}\\ProgID]\r\n"
                              "@=\"Application/Icon: Classname=TIconOle\"\r\n"));
    EXPECT_TRUE(text.contains("[HKEY_CLASSES_ROOT\\Application/File Link: Classname=TFileLink]\r\n"
                              "@=\"Application/File Link\"\r\n"));
    EXPECT_TRUE(text.contains("[HKEY_CLASSES_ROOT\\Application/File Link: Classname=TFileLink\\CLSID]\r\n"
                              "@=\"{7CA25402-0ACB-11CA-55C0-137683194000}\"\r\n"));

    IOleObject* object = nullptr;
    ASSERT_EQ(CoCreateInstance(TWebLink::ClassID, nullptr, CLSCTX_LOCAL_SERVER, IID_IOleObject,
                               reinterpret_cast<void**>(&object)),
              S_OK);
    std::string type;
    EXPECT_EQ(object->GetUserType(USERCLASSTYPE_FULL, &type), S_OK);
    EXPECT_EQ(type, "Application/Web Link");
    object->Release();
    RevokeRichObjects();
    EXPECT_EQ(CoCreateInstance(TWebLink::ClassID, nullptr, CLSCTX_LOCAL_SERVER, IID_IOleObject,
                               reinterpret_cast<void**>(&object)),
              REGDB_E_CLASSNOTREG);
}

TEST(RichObjectsRegistration, ASecondStartFindsTheKeysAndDoesNotRewriteThem)
{
    QTemporaryDir dir;
    const QString reg = dir.filePath("sifton.reg");
    SetClassesRootFile(reg.toStdString());
    RegisterRichObjects();
    RevokeRichObjects();
    // A user's change to a value must survive the next start, and the file must stay as it is.
    QByteArray text = ReadBytes(reg);
    text.replace("@=\"Application/Web Link\"", "@=\"Edited by hand\"");
    WriteBytes(reg, text);
    const QDateTime written = QFileInfo(reg).lastModified();

    SetClassesRootFile(reg.toStdString()); // the next start reads the file anew
    RegisterRichObjects();
    RevokeRichObjects();
    EXPECT_EQ(ReadBytes(reg), text);
    EXPECT_EQ(QFileInfo(reg).lastModified(), written);
}

} // namespace
