#include "controls/objects/OleContainer.h"

#include "controls/objects/DataObject.h"
#include "controls/objects/QvOle.h"
#include "platform/com/Storage.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cmath>

// ---- the table -----------------------------------------------------------------------------------

TOleObjectTable::~TOleObjectTable()
{
    for (auto& [id, entry] : FEntries) {
        entry.Object->Close(0);
        SafeRelease(entry.Object);
        SafeRelease(entry.Storage);
    }
}

int TOleObjectTable::Add(IOleObject* object, IStorage* storage)
{
    object->AddRef();
    if (storage != nullptr) {
        storage->AddRef();
    }
    FEntries[++FLastId] = {object, storage};
    return FLastId;
}

IOleObject* TOleObjectTable::Object(int id) const
{
    const auto found = FEntries.find(id);
    return found != FEntries.end() ? found->second.Object : nullptr;
}

IStorage* TOleObjectTable::Storage(int id) const
{
    const auto found = FEntries.find(id);
    return found != FEntries.end() ? found->second.Storage : nullptr;
}

void TOleObjectTable::Retain(const std::set<int>& live)
{
    for (auto it = FEntries.begin(); it != FEntries.end();) {
        if (live.count(it->first) != 0) {
            ++it;
            continue;
        }
        // Taken out first: closing or releasing an object may reach the table again.
        TEntry entry = it->second;
        it = FEntries.erase(it);
        entry.Object->Close(0);
        SafeRelease(entry.Object);
        SafeRelease(entry.Storage);
    }
}

// ---- the container -------------------------------------------------------------------------------

// Told by an object that its picture changed: the document lays it out again at its new size.
class TOleContainer::TViewSink final : public TUnknownOf<TViewSink, IAdviseSink, IID_IAdviseSink> {
public:
    explicit TViewSink(QTextDocument* document)
        : FDocument(document)
    {
    }
    void OnDataChange(FORMATETC*, STGMEDIUM*) override { }
    void OnViewChange(DWORD, std::int32_t) override
    {
        if (FDocument != nullptr) {
            FDocument->markContentsDirty(0, FDocument->characterCount());
        }
    }
    void OnRename(IUnknown*) override { }
    void OnSave() override { }
    void OnClose() override { }

private:
    friend TUnknownOf; // the last Release deletes
    ~TViewSink() = default;
    QPointer<QTextDocument> FDocument;
};

// Where the objects of a document sit: it names the document's file (its container moniker).
class TOleContainer::TObjectSite final : public TUnknownOf<TObjectSite, IOleClientSite, IID_IOleClientSite> {
public:
    explicit TObjectSite(QTextDocument* document)
        : FDocument(document)
    {
    }
    HRESULT SaveObject() override { return S_OK; }
    HRESULT GetMoniker(DWORD, DWORD dwWhichMoniker, IUnknown** ppmk) override
    {
        if (ppmk == nullptr) {
            return E_POINTER;
        }
        *ppmk = nullptr;
        const QString file =
            FDocument != nullptr ? FDocument->metaInformation(QTextDocument::DocumentUrl) : QString();
        IMoniker* moniker = nullptr;
        if (dwWhichMoniker != OLEWHICHMK_CONTAINER || file.isEmpty() ||
            FAILED(CreateFileMoniker(QFile::encodeName(QUrl(file).toLocalFile()).toStdString(), &moniker))) {
            return E_FAIL;
        }
        *ppmk = moniker;
        return S_OK;
    }
    HRESULT GetContainer(IUnknown** ppContainer) override
    {
        if (ppContainer != nullptr) {
            *ppContainer = nullptr;
        }
        return E_NOINTERFACE;
    }
    HRESULT ShowObject() override { return S_OK; }
    HRESULT OnShowWindow(bool) override { return S_OK; }
    HRESULT RequestNewObjectLayout() override { return E_NOTIMPL; }

private:
    friend TUnknownOf; // the last Release deletes
    ~TObjectSite() = default;
    QPointer<QTextDocument> FDocument;
};

TOleContainer::TOleContainer(QTextDocument* document, std::shared_ptr<TOleObjectTable> table)
    : QObject(document)
    , FDocument(document)
    , FSite(new TObjectSite(document))
    , FTable(std::move(table))
{
    document->documentLayout()->registerHandler(ObjectFormatType, this);
    // An object lives as long as a character of the text, or of its undo history, holds it.
    connect(document, &QTextDocument::contentsChange, this, [this](int, int removed, int) {
        if (removed > 0) {
            ReleaseSoon();
        }
    });
    connect(document, &QTextDocument::undoAvailable, this, [this](bool available) {
        if (!available) {
            ReleaseSoon();
        }
    });
}

void TOleContainer::ReleaseSoon()
{
    // A load removes and adds many characters: one look at the text once it is done.
    if (!FReleasePending) {
        FReleasePending = true;
        QTimer::singleShot(0, this, [this] { ReleaseObjectsGone(); });
    }
}

void TOleContainer::ReleaseObjectsGone()
{
    FReleasePending = false;
    // A copy made for printing shares the objects and may still draw them; and what the history can
    // bring back must stay. Both end, and the next change looks again.
    if (FTable.use_count() > 1 || FDocument->isUndoAvailable() || FDocument->isRedoAvailable()) {
        return;
    }
    std::set<int> live;
    for (QTextBlock block = FDocument->begin(); block.isValid(); block = block.next()) {
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.objectType() == ObjectFormatType) {
                live.insert(format.intProperty(ObjectIdProperty));
            }
        }
    }
    FTable->Retain(live);
}

TOleContainer::~TOleContainer()
{
    FSite->Release(); // the objects keep it as long as they need it
}

void TOleContainer::SetDocumentFile(QTextDocument& document, const QString& fileName)
{
    document.setMetaInformation(
        QTextDocument::DocumentUrl,
        fileName.isEmpty()
            ? QString()
            : QUrl::fromLocalFile(QFileInfo(fileName).absoluteFilePath()).toString(QUrl::FullyEncoded));
}

TOleContainer* TOleContainer::Of(QTextDocument* document)
{
    if (auto* found = document->findChild<TOleContainer*>(QString(), Qt::FindDirectChildrenOnly)) {
        return found;
    }
    return new TOleContainer(document, std::make_shared<TOleObjectTable>());
}

void TOleContainer::ShareObjects(const QTextDocument& source, QTextDocument& copy)
{
    auto* container = source.findChild<TOleContainer*>(QString(), Qt::FindDirectChildrenOnly);
    if (container != nullptr &&
        copy.findChild<TOleContainer*>(QString(), Qt::FindDirectChildrenOnly) == nullptr) {
        new TOleContainer(&copy, container->FTable);
    }
}

void TOleContainer::SetEditor(QTextEdit* editor, IRichEditOleCallback* callback)
{
    FEditor = editor;
    FCallback = callback;
}

void TOleContainer::WatchView(IOleObject* object)
{
    IViewObject* view = nullptr;
    if (FAILED(object->QueryInterface(IID_IViewObject, reinterpret_cast<void**>(&view)))) {
        return;
    }
    auto* sink = new TViewSink(FDocument);
    view->SetAdvise(DVASPECT_CONTENT, 0, sink);
    sink->Release(); // the view object keeps it
    view->Release();
}

void TOleContainer::Insert(QTextCursor& cursor, IOleObject* object, IStorage* storage)
{
    const int id = FTable->Add(object, storage);
    object->SetClientSite(FSite);
    WatchView(object);
    QTextCharFormat format = cursor.charFormat();
    format.setObjectType(ObjectFormatType);
    format.setProperty(ObjectIdProperty, id);
    // The object's bottom sits on the line's bottom, so a link's text lines up with the text beside it.
    format.setVerticalAlignment(QTextCharFormat::AlignBottom);
    cursor.insertText(QString(QChar::ObjectReplacementCharacter), format);
}

bool TOleContainer::InsertFromStorage(QTextCursor& cursor, IStorage* source)
{
    if (source == nullptr) {
        return false;
    }
    CLSID clsid;
    if (FAILED(ReadClassStg(source, &clsid))) {
        return false;
    }
    if (FCallback != nullptr && FAILED(FCallback->QueryInsertObject(&clsid, source, cursor.position()))) {
        return false;
    }
    IStorage* own = nullptr;
    if (FAILED(FCallback != nullptr ? FCallback->GetNewStorage(&own) : StgCreateMemoryStorage(&own))) {
        return false;
    }
    IOleObject* object = nullptr;
    if (FAILED(source->CopyTo(0, nullptr, nullptr, own)) ||
        FAILED(OleLoad(own, IID_IOleObject, nullptr, reinterpret_cast<void**>(&object)))) {
        own->Release();
        return false;
    }
    Insert(cursor, object, own);
    object->Release();
    own->Release();
    return true;
}

IOleObject* TOleContainer::ObjectOf(const QTextFormat& format) const
{
    if (format.objectType() != ObjectFormatType) {
        return nullptr;
    }
    return FTable->Object(format.intProperty(ObjectIdProperty));
}

IOleObject* TOleContainer::ObjectAt(int position) const
{
    if (position < 0 || position >= FDocument->characterCount()) {
        return nullptr;
    }
    if (FDocument->characterAt(position) != QChar::ObjectReplacementCharacter) {
        return nullptr;
    }
    QTextCursor cursor(FDocument);
    cursor.setPosition(position);
    cursor.setPosition(position + 1, QTextCursor::KeepAnchor);
    return ObjectOf(cursor.charFormat());
}

bool TOleContainer::Open(int position) const
{
    IOleObject* object = ObjectAt(position);
    if (object == nullptr) {
        return false;
    }
    object->AddRef(); // the action may change the document
    object->DoVerb(OLEIVERB_PRIMARY, nullptr, nullptr, 0, nullptr, nullptr);
    object->Release();
    return true;
}

namespace {

QPointF DeviceDpi(const QPaintDevice* device)
{
    return device != nullptr ? QPointF(device->logicalDpiX(), device->logicalDpiY()) : ScreenPixelsPerInch();
}

} // namespace

QSizeF TOleContainer::intrinsicSize(QTextDocument* doc, int, const QTextFormat& format)
{
    IOleObject* object = ObjectOf(format);
    SIZEL extent;
    if (object == nullptr || FAILED(object->GetExtent(DVASPECT_CONTENT, &extent))) {
        return {};
    }
    const QPointF dpi = DeviceDpi(doc->documentLayout()->paintDevice());
    const auto pixels = [](std::int32_t himetric, double perInch) {
        return std::round(std::clamp(himetric, 0, MaxExtentHimetric) * perInch / 2540.0);
    };
    return {pixels(extent.cx, dpi.x()), pixels(extent.cy, dpi.y())};
}

void TOleContainer::drawObject(QPainter* painter, const QRectF& rect, QTextDocument*, int posInDocument,
                               const QTextFormat& format)
{
    IOleObject* object = ObjectOf(format);
    IViewObject* view = nullptr;
    if (object == nullptr ||
        FAILED(object->QueryInterface(IID_IViewObject, reinterpret_cast<void**>(&view)))) {
        return;
    }
    const QRect target = rect.toRect();
    const QPointF screen = ScreenPixelsPerInch();
    const QPointF device = DeviceDpi(painter->device());
    if (std::abs(device.x() - screen.x()) < 1 && std::abs(device.y() - screen.y()) < 1) {
        const RECTL bounds{target.left(), target.top(), target.left() + target.width(),
                           target.top() + target.height()};
        view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, painter, &bounds, nullptr, nullptr, 0);
    } else {
        // On a printer the object draws as on the screen, and the picture is scaled into place.
        SIZEL extent;
        object->GetExtent(DVASPECT_CONTENT, &extent);
        const QSize pixels = HimetricToPixels(extent);
        if (!pixels.isEmpty()) {
            QImage picture(pixels * 2, QImage::Format_ARGB32_Premultiplied);
            picture.setDevicePixelRatio(2);
            picture.fill(Qt::transparent);
            {
                QPainter canvas(&picture);
                const RECTL bounds{0, 0, pixels.width(), pixels.height()};
                view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, &canvas, &bounds, nullptr,
                           nullptr, 0);
            }
            painter->drawImage(rect, picture);
        }
    }
    view->Release();
    if (FEditor != nullptr) {
        const QTextCursor selection = FEditor->textCursor();
        if (selection.selectionStart() <= posInDocument && posInDocument < selection.selectionEnd()) {
            QColor highlight = FEditor->palette().color(QPalette::Highlight);
            highlight.setAlpha(128);
            painter->fillRect(rect, highlight);
        }
    }
}

// ---- clipboard -----------------------------------------------------------------------------------

QString MimeTypeOf(CLIPFORMAT format)
{
    return QStringLiteral("application/x-qt-windows-mime;value=\"%1\"")
        .arg(QString::fromStdString(ClipboardFormatName(format)));
}

void PutObjectData(IOleObject* object, QMimeData& data)
{
    IDataObject* source = nullptr;
    if (object == nullptr ||
        FAILED(object->QueryInterface(IID_IDataObject, reinterpret_cast<void**>(&source)))) {
        return;
    }
    IEnumFORMATETC* formats = nullptr;
    if (SUCCEEDED(source->EnumFormatEtc(DATADIR_GET, &formats))) {
        FORMATETC format;
        while (formats->Next(1, &format, nullptr) == S_OK) {
            if (FAILED(source->QueryGetData(&format))) {
                continue;
            }
            std::vector<std::uint8_t> bytes;
            if ((format.tymed & TYMED_ISTORAGE) != 0) {
                IStorage* storage = nullptr;
                if (FAILED(StgCreateMemoryStorage(&storage))) {
                    continue;
                }
                STGMEDIUM medium;
                medium.tymed = TYMED_ISTORAGE;
                medium.pstg = storage;
                format.tymed = TYMED_ISTORAGE;
                if (FAILED(source->GetDataHere(&format, &medium)) ||
                    FAILED(SaveToCompoundFile(storage, bytes))) {
                    bytes.clear();
                }
                storage->Release();
            } else if ((format.tymed & TYMED_HGLOBAL) != 0) {
                STGMEDIUM medium;
                format.tymed = TYMED_HGLOBAL;
                if (SUCCEEDED(source->GetData(&format, &medium)) && medium.hGlobal != nullptr) {
                    bytes = medium.hGlobal->Bytes;
                }
                ReleaseStgMedium(medium);
            }
            if (!bytes.empty()) {
                data.setData(MimeTypeOf(format.cfFormat),
                             QByteArray(reinterpret_cast<const char*>(bytes.data()),
                                        static_cast<qsizetype>(bytes.size())));
            }
        }
        formats->Release();
    }
    source->Release();
}

QByteArray ObjectStorageBytes(IOleObject* object)
{
    IDataObject* source = nullptr;
    if (object == nullptr ||
        FAILED(object->QueryInterface(IID_IDataObject, reinterpret_cast<void**>(&source)))) {
        return {};
    }
    std::vector<std::uint8_t> bytes;
    IStorage* storage = nullptr;
    if (SUCCEEDED(StgCreateMemoryStorage(&storage))) {
        FORMATETC format;
        format.cfFormat = EmbeddedObjectFormat();
        format.tymed = TYMED_ISTORAGE;
        STGMEDIUM medium;
        medium.tymed = TYMED_ISTORAGE;
        medium.pstg = storage;
        if (FAILED(source->GetDataHere(&format, &medium)) || FAILED(SaveToCompoundFile(storage, bytes))) {
            bytes.clear();
        }
        storage->Release();
    }
    source->Release();
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

bool HasObjectData(const QMimeData& data)
{
    return data.hasFormat(MimeTypeOf(EmbeddedObjectFormat()));
}

IStorage* ObjectStorageOf(const QMimeData& data)
{
    const QByteArray bytes = data.data(MimeTypeOf(EmbeddedObjectFormat()));
    IStorage* storage = nullptr;
    if (bytes.isEmpty() ||
        FAILED(LoadFromCompoundFile(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                    static_cast<std::size_t>(bytes.size()), &storage))) {
        return nullptr;
    }
    return storage;
}
