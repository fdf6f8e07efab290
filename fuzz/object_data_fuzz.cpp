// The embedded-object data of an RTF \objdata group (an OLE1 object holding a compound file): read
// into a storage, the object made from it inserted into a document, which is laid out and painted.
//
// The seed inputs are what our own writer makes of a web link and of a file link with its icon, and
// the web link in a compound file whose streams all claim one chain of sectors (half a megabyte that
// would cost hundreds: scripts/check gives this fuzzer a memory limit such a cost exceeds);
// SIFTON_FUZZ_WRITE_SEEDS=<folder> writes them there afresh and exits.
//
// Rate: every input that gets as far as a storage builds a live object and paints it; a few thousand
// executions a second at best, below a million a minute on this shared machine.
#include "controls/objects/OleContainer.h"
#include "controls/objects/RichObjects.h"
#include "controls/objects/RtfObjects.h"
#include "controls/richtext/qvtext.h"
#include "platform/com/KeyStore.h"
#include "platform/com/Storage.h"
#include "tests/support/SharedChains.h"

#include <QAbstractTextDocumentLayout>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QTextCursor>
#include <QTextDocument>

#include <cstdlib>
#include <optional>

#include "FuzzApplication.h"

namespace {

// The \objdata bytes of the object group our writer makes for object.
QByteArray ObjectData(IOleObject* object)
{
    const QByteArray group = WriteRtfObject(object, "result");
    const QRegularExpression data(QStringLiteral("\\\\objdata\\s*([0-9a-fA-F\\s]*)"));
    const QRegularExpressionMatch match = data.match(QString::fromLatin1(group));
    QByteArray hex = match.captured(1).toLatin1();
    hex.replace(" ", "").replace("\r", "").replace("\n", "");
    return QByteArray::fromHex(hex);
}

void WriteSeeds(const char* folder)
{
    auto* web = new TQvOle(&TWebLink::New);
    static_cast<TWebLink&>(web->Hosted()).URL = "https://quorvale.example/";
    auto* file = new TQvOle(&TFileLink::New);
    auto& link = static_cast<TFileLink&>(file->Hosted());
    link.Path = "Readme.txt";
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(Qt::darkGreen);
    link.Icon.Assign(image);
    const auto write = [folder](const char* name, const QByteArray& bytes) {
        fuzz::WriteFile(name, reinterpret_cast<const std::uint8_t*>(bytes.constData()), bytes.size());
        std::filesystem::copy_file(fuzz::Folder() / name, std::filesystem::path(folder) / name,
                                   std::filesystem::copy_options::overwrite_existing);
    };
    for (const auto& [name, object] : {std::pair{"web-link", web}, std::pair{"file-link", file}}) {
        write(name, ObjectData(object));
    }
    const QByteArray webData = ObjectData(web);
    std::optional<TOle1Object> shared = ParseOle1Object(webData);
    if (IStorage* storage = ReadObjectData(webData); shared && storage != nullptr) {
        shared->NativeData = SharedChainsFile(storage, 200 * 1024, 1000);
        storage->Release();
        write("shared-chains", WriteOle1Object(*shared));
    }
    web->Release();
    file->Release();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::StartApplication();
    SetClassesRootFile((fuzz::Folder() / "sifton.reg").string());
    RegisterRichObjects();
    // Revoked at exit as the program does, or the leak check at exit finds the factories.
    std::atexit(RevokeRichObjects);
    if (const char* folder = std::getenv("SIFTON_FUZZ_WRITE_SEEDS")) {
        WriteSeeds(folder);
        std::exit(0);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    IStorage* storage = ReadObjectData(QByteArrayView(data, static_cast<qsizetype>(size)));
    if (storage == nullptr) {
        return 0;
    }
    QTextDocument document;
    QTextCursor cursor(&document);
    cursor.insertText("before ");
    TOleContainer::Of(&document)->InsertFromStorage(cursor, storage);
    storage->Release();
    document.setTextWidth(400);
    document.documentLayout()->documentSize();
    QImage image(64, 64, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    document.drawContents(&painter, QRectF(0, 0, 64, 64));
    return 0;
}
