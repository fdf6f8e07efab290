#include "controls/objects/RichObjects.h"

#include "controls/objects/ClassFactory.h"
#include "controls/objects/DataObject.h"
#include "platform/Application.h"
#include "platform/Dialogs.h"
#include "platform/FileLocations.h"
#include "platform/Shell.h"
#include "platform/com/ComClassTable.h"
#include "platform/com/KeyStore.h"
#include "platform/com/Storage.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <vector>

const CLSID TFileLink::ClassID{0x7CA25402, 0x0ACB, 0x11CA, {0x55, 0xC0, 0x13, 0x76, 0x83, 0x19, 0x40, 0x00}};
const CLSID TIconOle::ClassID{0x42BFA701, 0xEC57, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const CLSID TWebLink::ClassID{0x4EA25412, 0x6ADD, 0x0ADF, {0x55, 0xC0, 0x13, 0x76, 0xA3, 0x11, 0x03, 0x02}};

namespace {

// The key store knows no folders of its own: beside the settings file, which is the program's folder or
// the config folder of an installed copy.
[[maybe_unused]] const bool ClassesRootPlaced =
    (SetClassesRootLocation(
         [] { return Application::ConfigFile(QStringLiteral(".reg")).toLocal8Bit().toStdString(); }),
     true);

// A link the user opened and that did not open is said so: the user is waiting for a window.
void ReportOpenFailure(const QString& text)
{
    MessageBox(text, Application::Title(), MB_OK | MB_ICONHAND);
}

// The kinds draw in the default font, which is also the one their extents are measured in.
QFont ObjectFont(bool underline)
{
    QFont font = QGuiApplication::font();
    font.setUnderline(underline);
    return font;
}

QSize TextSize(const QString& text)
{
    const QFontMetrics metrics(ObjectFont(false));
    return {metrics.horizontalAdvance(text), metrics.height()};
}

std::string ProgIDOf(const char* userType, const QString& className)
{
    return std::string(userType) + ": Classname=" + className.toStdString();
}

bool WriteBytes(IStream* stream, const QByteArray& bytes)
{
    if (bytes.isEmpty()) {
        return true;
    }
    ULONG written = 0;
    return SUCCEEDED(stream->Write(bytes.constData(), static_cast<ULONG>(bytes.size()), &written)) &&
           written == static_cast<ULONG>(bytes.size());
}

// What is left of the stream after its position; 0 when it cannot be told.
std::uint64_t Remaining(IStream* stream)
{
    std::uint64_t at = 0;
    STATSTG stat;
    if (FAILED(stream->Seek(0, STREAM_SEEK_CUR, &at)) || FAILED(stream->Stat(&stat, STATFLAG_NONAME))) {
        return 0;
    }
    return stat.cbSize > at ? stat.cbSize - at : 0;
}

// A length-prefixed text; every length is checked against what the stream still holds.
std::optional<QByteArray> ReadText(IStream* stream)
{
    const auto length = ReadInt32(stream);
    if (!length || *length < 0 || static_cast<std::uint64_t>(*length) > Remaining(stream)) {
        return std::nullopt;
    }
    QByteArray text(*length, Qt::Uninitialized);
    ULONG read = 0;
    if (*length > 0 && (FAILED(stream->Read(text.data(), static_cast<ULONG>(*length), &read)) ||
                        read != static_cast<ULONG>(*length))) {
        return std::nullopt;
    }
    return text;
}

bool WriteText(IStream* stream, const QByteArray& text)
{
    return WriteInt32(stream, static_cast<std::int32_t>(text.size())) && WriteBytes(stream, text);
}

bool WriteIcon(IStream* stream, const TIcon& icon)
{
    if (icon.Empty()) {
        return WriteInt32(stream, 0);
    }
    return WriteInt32(stream, 1) && WriteBytes(stream, icon.Ico());
}

// The icon flag and the icon, which takes the rest of the stream.
std::optional<TIcon> ReadIcon(IStream* stream)
{
    const auto flag = ReadInt32(stream);
    if (!flag || (*flag != 0 && *flag != 1)) {
        return std::nullopt;
    }
    TIcon icon;
    if (*flag == 0) {
        return icon;
    }
    const std::uint64_t size = Remaining(stream);
    if (size == 0 || size > 16 * 1024 * 1024) {
        return std::nullopt;
    }
    QByteArray ico(static_cast<qsizetype>(size), Qt::Uninitialized);
    ULONG read = 0;
    if (FAILED(stream->Read(ico.data(), static_cast<ULONG>(size), &read)) || read != size ||
        !icon.LoadFromIco(ico)) {
        return std::nullopt;
    }
    return icon;
}

void DrawIcon(QPainter& canvas, const QPoint& at, const TIcon& icon)
{
    if (!icon.Empty()) {
        canvas.drawImage(at, icon.Image());
    }
}

void DrawLinkText(QPainter& canvas, const QRect& rect, const QString& text, const QColor& colour)
{
    canvas.setFont(ObjectFont(true));
    canvas.setPen(colour);
    canvas.setBrush(Qt::NoBrush);
    canvas.drawText(rect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
}

struct TRegisteredFactory {
    TClassFactory* Factory;
    DWORD Cookie;
};

std::vector<TRegisteredFactory> Factories;

} // namespace

// ---- TIcon ---------------------------------------------------------------------------------------

bool TIcon::LoadFromIco(const QByteArray& ico)
{
    QBuffer buffer;
    buffer.setData(ico);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    QImage image;
    if (!reader.read(&image) || image.isNull()) {
        return false;
    }
    FIco = ico;
    FImage = image;
    return true;
}

bool TIcon::Assign(const QImage& image)
{
    QByteArray ico;
    QBuffer buffer(&ico);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "ico");
    if (image.isNull() || !writer.write(image)) {
        return false;
    }
    buffer.close();
    return LoadFromIco(ico);
}

void TIcon::Clear()
{
    FIco.clear();
    FImage = QImage();
}

// ---- TFileLink -----------------------------------------------------------------------------------

std::string TFileLink::GetUserType() const
{
    return "Application/File Link";
}

std::string TFileLink::GetProgID() const
{
    return ProgIDOf("Application/File Link", ClassName());
}

QString TFileLink::FileName() const
{
    const QString path = QString::fromLocal8Bit(Path);
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString TFileLink::FullPath() const
{
    const QString path = QString::fromLocal8Bit(Path);
    if (path.isEmpty() || QFileInfo(path).isAbsolute() || path.contains(QLatin1String("://"))) {
        return path;
    }
    // A relative path points from the document that holds the link, wherever it was installed; a
    // document read from no file (pasted, say) has only the program's folder to go by.
    const QString document = ContainerFile();
    const QString folder = !document.isEmpty() ? QFileInfo(document).absolutePath()
                                               : QFileInfo(Application::ExeName()).absolutePath();
    return QDir::cleanPath(folder + QLatin1Char('/') + path);
}

QSize TFileLink::NaturalSize() const
{
    const QSize text = TextSize(FileName());
    const QSize icon = Icon.Size();
    return {std::max(text.width() + 2, icon.width() + 2), text.height() + icon.height() + 3};
}

void TFileLink::Draw(DWORD, const QRect& rect, QPainter& canvas)
{
    DrawIcon(canvas, QPoint(rect.left() + (rect.width() - Icon.Size().width()) / 2, rect.top()), Icon);
    const int height = TextSize(FileName()).height();
    const int bottom = rect.top() + rect.height();
    DrawLinkText(canvas, QRect(rect.left(), bottom - height, rect.width(), height), FileName(), Qt::blue);
}

bool TFileLink::SaveToStream(IStream* stream)
{
    return WriteText(stream, Path) && WriteIcon(stream, Icon);
}

bool TFileLink::LoadFromStream(IStream* stream)
{
    const auto path = ReadText(stream);
    const auto icon = path ? ReadIcon(stream) : std::nullopt;
    if (!icon) {
        return false;
    }
    Path = *path;
    Icon = *icon;
    return true;
}

HRESULT TFileLink::DoVerb(std::int32_t)
{
    const QString path = FullPath();
    if (!path.contains(QLatin1String("://"))) {
        const QByteArray name = QFile::encodeName(path);
        if (name.isEmpty() || ::access(name.constData(), F_OK) != 0) {
            const int error = name.isEmpty() ? ENOENT : errno;
            ReportOpenFailure(QStringLiteral("Cannot open file %1: %2")
                                  .arg(path, QString::fromLocal8Bit(std::strerror(error))));
            return error == EACCES ? STG_E_ACCESSDENIED : STG_E_FILENOTFOUND;
        }
    }
    if (!Shell().OpenDocument(path)) {
        ReportOpenFailure(
            QStringLiteral("Cannot open file %1: no program of the desktop opens it").arg(path));
        return E_FAIL;
    }
    Changed();
    return S_OK;
}

// ---- TIconOle ------------------------------------------------------------------------------------

std::string TIconOle::GetUserType() const
{
    return "Application/Icon";
}

std::string TIconOle::GetProgID() const
{
    return ProgIDOf("Application/Icon", ClassName());
}

void TIconOle::SetShowIcon(bool value)
{
    if (FShowIcon != value) {
        FShowIcon = value;
        Changed();
    }
}

QSize TIconOle::NaturalSize() const
{
    return FShowIcon ? Icon.Size() : TextSize(QString::fromLocal8Bit(Caption));
}

void TIconOle::Draw(DWORD, const QRect& rect, QPainter& canvas)
{
    if (FShowIcon) {
        DrawIcon(canvas, rect.topLeft(), Icon);
        return;
    }
    const QString caption = QString::fromLocal8Bit(Caption);
    DrawLinkText(canvas, QRect(rect.topLeft(), TextSize(caption)), caption, canvas.pen().color());
}

bool TIconOle::SaveToStream(IStream* stream)
{
    return WriteText(stream, Caption) && WriteIcon(stream, Icon);
}

bool TIconOle::LoadFromStream(IStream* stream)
{
    const auto caption = ReadText(stream);
    const auto icon = caption ? ReadIcon(stream) : std::nullopt;
    if (!icon) {
        return false;
    }
    Caption = *caption;
    Icon = *icon;
    FShowIcon = Caption.isEmpty();
    return true;
}

HRESULT TIconOle::DoVerb(std::int32_t)
{
    const QString answer = InputBox(ClassName(), QStringLiteral("Enter empty string for displaying Icon"),
                                    QString::fromLocal8Bit(Caption));
    Caption = answer.toLocal8Bit();
    SetShowIcon(answer.isEmpty());
    Changed();
    return S_OK;
}

// ---- TWebLink ------------------------------------------------------------------------------------

std::string TWebLink::GetUserType() const
{
    return "Application/Web Link";
}

std::string TWebLink::GetProgID() const
{
    return ProgIDOf("Application/Web Link", ClassName());
}

QSize TWebLink::NaturalSize() const
{
    const QSize text = TextSize(QString::fromLocal8Bit(URL));
    return {text.width() + 2, text.height()};
}

void TWebLink::Draw(DWORD, const QRect& rect, QPainter& canvas)
{
    const QString url = QString::fromLocal8Bit(URL);
    DrawLinkText(canvas, QRect(rect.topLeft(), TextSize(url) + QSize(2, 0)), url, Qt::blue);
}

bool TWebLink::SaveToStream(IStream* stream)
{
    return WriteText(stream, URL) && WriteInt32(stream, 0);
}

bool TWebLink::LoadFromStream(IStream* stream)
{
    const auto url = ReadText(stream);
    if (!url) {
        return false;
    }
    URL = *url;
    return true;
}

HRESULT TWebLink::DoVerb(std::int32_t)
{
    const QString address = QString::fromLocal8Bit(URL);
    if (!Shell().OpenDocument(address)) {
        ReportOpenFailure(QStringLiteral("Cannot open %1: no program of the desktop opens it").arg(address));
        return E_FAIL;
    }
    Changed();
    return S_OK;
}

// ---- registration --------------------------------------------------------------------------------

THostedOleClass RichObjectKind(const CLSID& clsid)
{
    if (clsid == TFileLink::ClassID) {
        return &TFileLink::New;
    }
    if (clsid == TIconOle::ClassID) {
        return &TIconOle::New;
    }
    if (clsid == TWebLink::ClassID) {
        return &TWebLink::New;
    }
    return nullptr;
}

void RegisterRichObjects()
{
    RegisterObjectClipboardFormats();
    TKeyStore& root = ClassesRoot();
    for (THostedOleClass kind : {&TIconOle::New, &TFileLink::New, &TWebLink::New}) {
        auto* factory = new TClassFactory(kind);
        DWORD cookie = 0;
        if (SUCCEEDED(CoRegisterClassObject(kind()->GetClassID(), factory, CLSCTX_LOCAL_SERVER,
                                            REGCLS_MULTIPLEUSE, &cookie))) {
            Factories.push_back({factory, cookie});
        } else {
            factory->Release();
        }
        const std::unique_ptr<THostedOle> object = kind();
        const std::string clsid = GuidToString(object->GetClassID());
        const std::string key = "CLSID\\" + clsid;
        if (!root.KeyExists(key)) {
            root.WriteDefault(key, object->GetUserType());
            root.WriteDefault(key + "\\ProgID", object->GetProgID());
            root.WriteDefault(object->GetProgID(), object->GetUserType());
            root.WriteDefault(object->GetProgID() + "\\CLSID", clsid);
        }
    }
    // A folder the program may not write to leaves the keys in memory for this run only; so does a
    // file by the key store's name that is not one: it is left exactly as it is, and said so once.
    if (root.Foreign()) {
        std::fprintf(stderr,
                     "%s: %s is not a REGEDIT4 file; it is left as it is, and the object classes are kept in "
                     "memory for this run\n",
                     QCoreApplication::applicationName().toLocal8Bit().constData(), root.FileName().c_str());
    } else if (root.Modified()) {
        root.Save();
    }
}

void RevokeRichObjects()
{
    for (const TRegisteredFactory& f : Factories) {
        CoRevokeClassObject(f.Cookie);
        f.Factory->Release();
    }
    Factories.clear();
}
