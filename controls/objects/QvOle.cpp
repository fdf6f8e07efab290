#include "controls/objects/QvOle.h"

#include "controls/objects/DataObject.h"
#include "platform/com/ComAdvise.h"
#include "platform/com/KeyStore.h"
#include "platform/com/Storage.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <cstdint>
#include <stdexcept>

namespace {

QPointF ReadScreenPixelsPerInch()
{
    const QScreen* screen = qobject_cast<QGuiApplication*>(QCoreApplication::instance())
                                ? QGuiApplication::primaryScreen()
                                : nullptr;
    if (screen == nullptr) {
        return {96.0, 96.0};
    }
    return {screen->logicalDotsPerInchX(), screen->logicalDotsPerInchY()};
}

} // namespace

QPointF ScreenPixelsPerInch()
{
    static const QPointF perInch = ReadScreenPixelsPerInch();
    return perInch;
}

namespace {

// In 64 bits: pixels times 2540 leaves 32 bits from 845,000 pixels on.
std::int32_t Himetric(int pixels, double perInch)
{
    const double himetric = static_cast<double>(std::int64_t{pixels} * 2540) / perInch;
    return static_cast<std::int32_t>(std::clamp(himetric, 0.0, static_cast<double>(MaxExtentHimetric)));
}

int Pixels(std::int32_t himetric, double perInch)
{
    return qRound(std::clamp(himetric, 0, MaxExtentHimetric) * perInch / 2540.0);
}

} // namespace

SIZEL PixelsToHimetric(const QSize& pixels)
{
    const QPointF perInch = ScreenPixelsPerInch();
    return {Himetric(pixels.width(), perInch.x()), Himetric(pixels.height(), perInch.y())};
}

QSize HimetricToPixels(const SIZEL& extent)
{
    const QPointF perInch = ScreenPixelsPerInch();
    return {Pixels(extent.cx, perInch.x()), Pixels(extent.cy, perInch.y())};
}

// ---- THostedOle ----------------------------------------------------------------------------------

void THostedOle::SetOwner(TQvOle* owner)
{
    if (FOwner != nullptr) {
        throw std::runtime_error("Can not change owner");
    }
    FOwner = owner;
}

QString THostedOle::ContainerFile() const
{
    IOleClientSite* site = nullptr;
    if (FOwner == nullptr || FAILED(FOwner->GetClientSite(&site)) || site == nullptr) {
        return {};
    }
    IUnknown* name = nullptr;
    IMoniker* moniker = nullptr;
    std::string file;
    if (SUCCEEDED(site->GetMoniker(OLEGETMONIKER_ONLYIFTHERE, OLEWHICHMK_CONTAINER, &name)) &&
        name != nullptr &&
        SUCCEEDED(name->QueryInterface(IID_IMoniker, reinterpret_cast<void**>(&moniker)))) {
        moniker->GetDisplayName(&file);
        moniker->Release();
    }
    SafeRelease(name);
    site->Release();
    return QString::fromLocal8Bit(file.data(), qsizetype(file.size()));
}

void THostedOle::Changed()
{
    if (FOwner == nullptr) {
        return;
    }
    if (IAdviseSink* sink = FOwner->ViewObject().AdviseSink()) {
        sink->OnViewChange(DVASPECT_CONTENT, -1);
    }
}

HRESULT THostedOle::GetExtent(DWORD /*aspect*/, SIZEL* size)
{
    if (size == nullptr) {
        return E_INVALIDARG;
    }
    *size = PixelsToHimetric(NaturalSize());
    return S_OK;
}

// ---- TQvOle --------------------------------------------------------------------------------------

TQvOle::TQvOle(THostedOleClass kind)
    : FHosted(kind())
{
    if (FHosted == nullptr) {
        throw std::runtime_error("The object kind made no object");
    }
    FViewObject = new TViewObject(*this);
    FPersistStorage = new TQvPersistStorage(*this);
    FDataObject = new TMyDataObject(*this);
    FHosted->SetOwner(this);
}

TQvOle::~TQvOle()
{
    delete FDataObject;
    delete FPersistStorage;
    delete FViewObject;
    SafeRelease(FClientSite);
    SafeRelease(FAdviseHolder);
}

HRESULT TQvOle::QueryInterface(const IID& riid, void** ppvObject)
{
    if (ppvObject == nullptr) {
        return E_POINTER;
    }
    IUnknown* answer = nullptr;
    if (riid == IID_IUnknown || riid == IID_IOleObject) {
        answer = static_cast<IOleObject*>(this);
    } else if (riid == IID_IViewObject) {
        answer = FViewObject;
    } else if (riid == IID_IDataObject) {
        answer = FDataObject;
    } else if (riid == IID_IPersistStorage || riid == IID_IPersist) {
        answer = FPersistStorage;
    }
    *ppvObject = answer;
    if (answer == nullptr) {
        return E_NOINTERFACE;
    }
    answer->AddRef();
    return S_OK;
}

ULONG TQvOle::AddRef()
{
    return FRefCount.Add();
}

ULONG TQvOle::Release()
{
    const ULONG count = FRefCount.Drop();
    if (count == 0) {
        delete this;
    }
    return count;
}

HRESULT TQvOle::SetClientSite(IOleClientSite* pClientSite)
{
    if (pClientSite != nullptr) {
        pClientSite->AddRef();
    }
    SafeRelease(FClientSite);
    FClientSite = pClientSite;
    return S_OK;
}

HRESULT TQvOle::GetClientSite(IOleClientSite** ppClientSite)
{
    if (ppClientSite == nullptr) {
        return E_POINTER;
    }
    *ppClientSite = FClientSite;
    if (FClientSite != nullptr) {
        FClientSite->AddRef();
    }
    return S_OK;
}

HRESULT TQvOle::SetHostNames(const char*, const char*)
{
    return S_OK;
}

HRESULT TQvOle::Close(DWORD)
{
    if (FAdviseHolder != nullptr) {
        FAdviseHolder->SendOnClose();
    }
    return S_OK;
}

HRESULT TQvOle::SetMoniker(DWORD, IUnknown*)
{
    return E_NOTIMPL;
}

HRESULT TQvOle::GetMoniker(DWORD, DWORD, IUnknown** ppmk)
{
    if (ppmk != nullptr) {
        *ppmk = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT TQvOle::InitFromData(IDataObject*, bool, DWORD)
{
    return E_NOTIMPL;
}

HRESULT TQvOle::GetClipboardData(DWORD, IDataObject** ppDataObject)
{
    if (ppDataObject == nullptr) {
        return E_POINTER;
    }
    FDataObject->AddRef();
    *ppDataObject = FDataObject;
    return S_OK;
}

HRESULT TQvOle::DoVerb(std::int32_t iVerb, MSG*, IOleClientSite*, std::int32_t, HWND, const RECTL*)
{
    return FHosted->DoVerb(iVerb);
}

HRESULT TQvOle::EnumVerbs(IEnumOLEVERB** ppEnumOleVerb)
{
    if (ppEnumOleVerb != nullptr) {
        *ppEnumOleVerb = nullptr;
    }
    return OLEOBJ_E_NOVERBS;
}

HRESULT TQvOle::Update()
{
    return S_OK;
}

HRESULT TQvOle::IsUpToDate()
{
    return S_OK;
}

HRESULT TQvOle::GetUserClassID(CLSID* pClsid)
{
    if (pClsid == nullptr) {
        return E_POINTER;
    }
    *pClsid = FHosted->GetClassID();
    return S_OK;
}

HRESULT TQvOle::GetUserType(DWORD dwFormOfType, std::string* pszUserType)
{
    return OleRegGetUserType(FHosted->GetClassID(), dwFormOfType, pszUserType);
}

HRESULT TQvOle::SetExtent(DWORD, SIZEL*)
{
    return E_FAIL;
}

HRESULT TQvOle::GetExtent(DWORD dwDrawAspect, SIZEL* psizel)
{
    return FHosted->GetExtent(dwDrawAspect, psizel);
}

HRESULT TQvOle::Advise(IAdviseSink* pAdvSink, DWORD* pdwConnection)
{
    if (FAdviseHolder == nullptr) {
        const HRESULT hr = CreateOleAdviseHolder(&FAdviseHolder);
        if (FAILED(hr)) {
            return hr;
        }
    }
    return FAdviseHolder->Advise(pAdvSink, pdwConnection);
}

HRESULT TQvOle::Unadvise(DWORD dwConnection)
{
    return FAdviseHolder != nullptr ? FAdviseHolder->Unadvise(dwConnection) : E_FAIL;
}

HRESULT TQvOle::EnumAdvise(IEnumSTATDATA** ppenumAdvise)
{
    return FAdviseHolder != nullptr ? FAdviseHolder->EnumAdvise(ppenumAdvise) : E_FAIL;
}

HRESULT TQvOle::GetMiscStatus(DWORD, DWORD* pdwStatus)
{
    if (pdwStatus == nullptr) {
        return E_POINTER;
    }
    *pdwStatus = OLEMISC_RENDERINGISDEVICEINDEPENDENT;
    return S_OK;
}

HRESULT TQvOle::SetColorScheme(const void*)
{
    return E_NOTIMPL;
}

// ---- TViewObject ---------------------------------------------------------------------------------

TViewObject::~TViewObject()
{
    SafeRelease(FAdviseSink);
}

HRESULT TViewObject::QueryInterface(const IID& riid, void** ppvObject)
{
    return FOwner.QueryInterface(riid, ppvObject);
}

ULONG TViewObject::AddRef()
{
    FOwner.AddRef();
    return FRefCount.Add();
}

ULONG TViewObject::Release()
{
    const ULONG count = FRefCount.Drop();
    FOwner.Release();
    return count;
}

HRESULT TViewObject::Draw(DWORD dwDrawAspect, std::int32_t, void*, DVTARGETDEVICE*, HDC, HDC hdcDraw,
                          const RECTL* lprcBounds, const RECTL*, bool (*)(std::uintptr_t), std::uintptr_t)
{
    if (hdcDraw == nullptr || lprcBounds == nullptr) {
        return E_INVALIDARG;
    }
    auto* canvas = static_cast<QPainter*>(hdcDraw);
    const QRect bounds(QPoint(lprcBounds->left, lprcBounds->top),
                       QPoint(lprcBounds->right - 1, lprcBounds->bottom - 1));
    canvas->save();
    FOwner.Hosted().Draw(dwDrawAspect, bounds, *canvas);
    canvas->restore();
    return S_OK;
}

HRESULT TViewObject::GetColorSet(DWORD, std::int32_t, void*, DVTARGETDEVICE*, HDC, void** ppColorSet)
{
    if (ppColorSet != nullptr) {
        *ppColorSet = nullptr;
    }
    return S_FALSE;
}

HRESULT TViewObject::Freeze(DWORD, std::int32_t, void*, DWORD* pdwFreeze)
{
    if (pdwFreeze != nullptr) {
        *pdwFreeze = 0;
    }
    return S_OK;
}

HRESULT TViewObject::Unfreeze(DWORD)
{
    return S_OK;
}

HRESULT TViewObject::SetAdvise(DWORD, DWORD, IAdviseSink* pAdvSink)
{
    if (pAdvSink != nullptr) {
        pAdvSink->AddRef();
    }
    SafeRelease(FAdviseSink);
    FAdviseSink = pAdvSink;
    return S_OK;
}

HRESULT TViewObject::GetAdvise(DWORD*, DWORD*, IAdviseSink** ppAdvSink)
{
    if (ppAdvSink != nullptr) {
        *ppAdvSink = nullptr;
    }
    return S_OK;
}

// ---- TQvPersistStorage ---------------------------------------------------------------------------

namespace {

constexpr DWORD ContentsMode = STGM_READWRITE | STGM_SHARE_EXCLUSIVE;

HRESULT CreateContents(IStorage* storage, const THostedOle& hosted, IStream** stream)
{
    HRESULT hr = storage->CreateStream(ContentsStreamName, ContentsMode | STGM_CREATE, 0, 0, stream);
    if (FAILED(hr)) {
        return hr;
    }
    WriteClassStg(storage, hosted.GetClassID());
    hr = WriteFmtUserTypeStg(storage, PrivateClipboardFormat(), hosted.GetUserType());
    if (FAILED(hr)) {
        SafeRelease(*stream);
    }
    return hr;
}

} // namespace

TQvPersistStorage::~TQvPersistStorage()
{
    SafeRelease(FStream);
    SafeRelease(FStorage);
}

HRESULT TQvPersistStorage::QueryInterface(const IID& riid, void** ppvObject)
{
    return FOwner.QueryInterface(riid, ppvObject);
}

ULONG TQvPersistStorage::AddRef()
{
    FOwner.AddRef();
    return FRefCount.Add();
}

ULONG TQvPersistStorage::Release()
{
    const ULONG count = FRefCount.Drop();
    FOwner.Release();
    return count;
}

HRESULT TQvPersistStorage::GetClassID(CLSID* pClassID)
{
    if (pClassID == nullptr) {
        return E_POINTER;
    }
    *pClassID = FOwner.Hosted().GetClassID();
    return S_OK;
}

HRESULT TQvPersistStorage::IsDirty()
{
    return S_FALSE;
}

HRESULT TQvPersistStorage::InitNew(IStorage* pStg)
{
    if (FStorage != nullptr) {
        return E_UNEXPECTED;
    }
    if (pStg == nullptr) {
        return STG_E_INVALIDPOINTER;
    }
    IStream* stream = nullptr;
    const HRESULT hr = CreateContents(pStg, FOwner.Hosted(), &stream);
    if (FAILED(hr)) {
        return hr;
    }
    pStg->AddRef();
    FStorage = pStg;
    FStream = stream;
    return S_OK;
}

HRESULT TQvPersistStorage::Load(IStorage* pStg)
{
    if (FStorage != nullptr) {
        return E_UNEXPECTED;
    }
    if (pStg == nullptr) {
        return STG_E_INVALIDPOINTER;
    }
    IStream* stream = nullptr;
    if (FAILED(pStg->OpenStream(ContentsStreamName, nullptr, ContentsMode, 0, &stream))) {
        return E_FAIL;
    }
    stream->Seek(0, STREAM_SEEK_SET, nullptr);
    // Damaged data is refused rather than shown as an empty object, so a container can show
    // what it has instead (the text an RTF writer put beside the object).
    if (!FOwner.Hosted().LoadFromStream(stream)) {
        stream->Release();
        return STG_E_READFAULT;
    }
    pStg->AddRef();
    FStorage = pStg;
    FStream = stream;
    return S_OK;
}

HRESULT TQvPersistStorage::Save(IStorage* pStgSave, bool fSameAsLoad)
{
    if (pStgSave == nullptr) {
        return STG_E_INVALIDPOINTER;
    }
    IStream* stream = nullptr;
    if (fSameAsLoad) {
        if (FStream == nullptr) {
            return E_UNEXPECTED;
        }
        FStream->Seek(0, STREAM_SEEK_SET, nullptr);
        FStream->AddRef();
        stream = FStream;
    } else {
        const HRESULT hr = CreateContents(pStgSave, FOwner.Hosted(), &stream);
        if (FAILED(hr)) {
            return hr;
        }
    }
    const bool saved = FOwner.Hosted().SaveToStream(stream);
    // Shorter data than before must not leave the old tail behind.
    std::uint64_t end = 0;
    if (saved && SUCCEEDED(stream->Seek(0, STREAM_SEEK_CUR, &end))) {
        stream->SetSize(end);
    }
    stream->Release();
    return saved ? S_OK : STG_E_WRITEFAULT;
}

HRESULT TQvPersistStorage::SaveCompleted(IStorage* pStgNew)
{
    if (pStgNew == nullptr || pStgNew == FStorage) {
        return S_OK;
    }
    IStream* stream = nullptr;
    if (FAILED(pStgNew->OpenStream(ContentsStreamName, nullptr, ContentsMode, 0, &stream))) {
        return E_FAIL;
    }
    SafeRelease(FStream);
    SafeRelease(FStorage);
    pStgNew->AddRef();
    FStorage = pStgNew;
    FStream = stream;
    return S_OK;
}

HRESULT TQvPersistStorage::HandsOffStorage()
{
    SafeRelease(FStream);
    SafeRelease(FStorage);
    return S_OK;
}
