#include "controls/objects/DataObject.h"

#include "controls/objects/QvOle.h"
#include "platform/com/ComAdvise.h"
#include "platform/com/Storage.h"

#include <cstring>
#include <new>

namespace {

struct TFormats {
    CLIPFORMAT Private;
    CLIPFORMAT EmbeddedObject;
    CLIPFORMAT ObjectDescriptor;
    CLIPFORMAT EmbedSource;
};

const TFormats& Formats()
{
    static const TFormats formats{
        RegisterClipboardFormat("Sifton Link Object"),
        RegisterClipboardFormat("Embedded Object"),
        RegisterClipboardFormat("Object Descriptor"),
        RegisterClipboardFormat("Embed Source"),
    };
    return formats;
}

void PutInt32(std::uint8_t* at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

FORMATETC Format(CLIPFORMAT format, DWORD tymed)
{
    FORMATETC f;
    f.cfFormat = format;
    f.ptd = nullptr;
    f.dwAspect = DVASPECT_CONTENT;
    f.lindex = -1;
    f.tymed = tymed;
    return f;
}

} // namespace

CLIPFORMAT PrivateClipboardFormat()
{
    return Formats().Private;
}

CLIPFORMAT EmbeddedObjectFormat()
{
    return Formats().EmbeddedObject;
}

CLIPFORMAT ObjectDescriptorFormat()
{
    return Formats().ObjectDescriptor;
}

CLIPFORMAT EmbedSourceFormat()
{
    return Formats().EmbedSource;
}

void RegisterObjectClipboardFormats()
{
    Formats();
}

// ---- TMyDataObject -------------------------------------------------------------------------------

TMyDataObject::TMyDataObject(TQvOle& owner)
    : FOwner(owner)
    , FFormats{Format(PrivateClipboardFormat(), TYMED_HGLOBAL),
               Format(EmbeddedObjectFormat(), TYMED_ISTORAGE),
               Format(ObjectDescriptorFormat(), TYMED_HGLOBAL)}
{
}

TMyDataObject::~TMyDataObject()
{
    SafeRelease(FAdviseHolder);
}

HRESULT TMyDataObject::QueryInterface(const IID& riid, void** ppvObject)
{
    return FOwner.QueryInterface(riid, ppvObject);
}

ULONG TMyDataObject::AddRef()
{
    FOwner.AddRef();
    return FRefCount.Add();
}

ULONG TMyDataObject::Release()
{
    const ULONG count = FRefCount.Drop();
    FOwner.Release();
    return count;
}

HRESULT TMyDataObject::CheckFormat(const FORMATETC* format) const
{
    if (format == nullptr) {
        return E_INVALIDARG;
    }
    if (format->cfFormat == EmbeddedObjectFormat()) {
        if ((format->tymed & TYMED_ISTORAGE) == 0) {
            return DV_E_TYMED;
        }
        return format->dwAspect == DVASPECT_CONTENT ? S_OK : DV_E_DVASPECT;
    }
    if (format->cfFormat == ObjectDescriptorFormat()) {
        if ((format->tymed & TYMED_HGLOBAL) == 0) {
            return DV_E_TYMED;
        }
        return format->dwAspect == DVASPECT_CONTENT ? S_OK : DV_E_DVASPECT;
    }
    return E_FAIL;
}

HRESULT TMyDataObject::GetData(FORMATETC* pformatetcIn, STGMEDIUM* pmedium)
{
    if (pmedium == nullptr) {
        return E_INVALIDARG;
    }
    const HRESULT hr = CheckFormat(pformatetcIn);
    if (FAILED(hr)) {
        return hr;
    }
    if (pformatetcIn->cfFormat != ObjectDescriptorFormat()) {
        return E_UNEXPECTED;
    }
    CLSID clsid;
    SIZEL extent;
    DWORD status = 0;
    FOwner.GetUserClassID(&clsid);
    FOwner.GetExtent(DVASPECT_CONTENT, &extent);
    FOwner.GetMiscStatus(DVASPECT_CONTENT, &status);
    HGLOBAL memory = nullptr;
    try {
        memory = GlobalAlloc(ObjectDescriptorSize);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    // cbSize, clsid, dwDrawAspect, sizel, pointl, dwStatus, and no user type or source names.
    std::uint8_t* at = memory->Bytes.data();
    PutInt32(at, ObjectDescriptorSize);
    const auto classBytes = GuidToBytes(clsid);
    std::memcpy(at + 4, classBytes.data(), classBytes.size());
    PutInt32(at + 20, DVASPECT_CONTENT);
    PutInt32(at + 24, static_cast<std::uint32_t>(extent.cx));
    PutInt32(at + 28, static_cast<std::uint32_t>(extent.cy));
    PutInt32(at + 32, 0);
    PutInt32(at + 36, 0);
    PutInt32(at + 40, status);
    PutInt32(at + 44, 0);
    PutInt32(at + 48, 0);
    *pmedium = STGMEDIUM{};
    pmedium->tymed = TYMED_HGLOBAL;
    pmedium->hGlobal = memory;
    return S_OK;
}

HRESULT TMyDataObject::GetDataHere(FORMATETC* pformatetc, STGMEDIUM* pmedium)
{
    const HRESULT hr = CheckFormat(pformatetc);
    if (FAILED(hr)) {
        return hr;
    }
    if (pformatetc->cfFormat != EmbeddedObjectFormat()) {
        return DV_E_FORMATETC;
    }
    if (pmedium == nullptr || pmedium->pstg == nullptr) {
        return STG_E_INVALIDPOINTER;
    }
    TQvPersistStorage& persist = FOwner.PersistStorage();
    const HRESULT saved = OleSave(&persist, pmedium->pstg, false);
    persist.SaveCompleted(nullptr);
    return saved;
}

HRESULT TMyDataObject::QueryGetData(FORMATETC* pformatetc)
{
    return CheckFormat(pformatetc);
}

HRESULT TMyDataObject::GetCanonicalFormatEtc(FORMATETC* pformatectIn, FORMATETC* pformatetcOut)
{
    if (pformatectIn == nullptr || pformatetcOut == nullptr) {
        return E_INVALIDARG;
    }
    *pformatetcOut = *pformatectIn;
    pformatetcOut->ptd = nullptr;
    return DATA_S_SAMEFORMATETC;
}

HRESULT TMyDataObject::SetData(FORMATETC*, STGMEDIUM*, bool)
{
    return E_NOTIMPL;
}

HRESULT TMyDataObject::EnumFormatEtc(DWORD dwDirection, IEnumFORMATETC** ppenumFormatEtc)
{
    if (ppenumFormatEtc == nullptr) {
        return E_INVALIDARG;
    }
    *ppenumFormatEtc = nullptr;
    if (dwDirection != DATADIR_GET) {
        return E_NOTIMPL;
    }
    try {
        *ppenumFormatEtc = new TMyEnumFormatEtc(this, FFormats);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT TMyDataObject::DAdvise(FORMATETC* pformatetc, DWORD advf, IAdviseSink* pAdvSink, DWORD* pdwConnection)
{
    if (FAdviseHolder == nullptr) {
        const HRESULT hr = CreateDataAdviseHolder(&FAdviseHolder);
        if (FAILED(hr)) {
            return hr;
        }
    }
    return FAdviseHolder->Advise(this, pformatetc, advf, pAdvSink, pdwConnection);
}

HRESULT TMyDataObject::DUnadvise(DWORD dwConnection)
{
    return FAdviseHolder != nullptr ? FAdviseHolder->Unadvise(dwConnection) : E_FAIL;
}

HRESULT TMyDataObject::EnumDAdvise(IEnumSTATDATA** ppenumAdvise)
{
    return FAdviseHolder != nullptr ? FAdviseHolder->EnumAdvise(ppenumAdvise) : E_FAIL;
}

// ---- TMyEnumFormatEtc ----------------------------------------------------------------------------

TMyEnumFormatEtc::TMyEnumFormatEtc(IDataObject* dataObject, std::vector<FORMATETC> formats,
                                   std::size_t position)
    : FDataObject(dataObject)
    , FFormats(std::move(formats))
    , FPosition(position)
{
    FDataObject->AddRef();
}

HRESULT TMyEnumFormatEtc::QueryInterface(const IID& riid, void** ppvObject)
{
    if (ppvObject == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IEnumFORMATETC) {
        AddRef();
        *ppvObject = static_cast<IEnumFORMATETC*>(this);
        return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
}

ULONG TMyEnumFormatEtc::AddRef()
{
    FDataObject->AddRef();
    return FRefCount.Add();
}

ULONG TMyEnumFormatEtc::Release()
{
    IDataObject* dataObject = FDataObject;
    const ULONG count = FRefCount.Drop();
    if (count == 0) {
        delete this;
    }
    dataObject->Release();
    return count;
}

HRESULT TMyEnumFormatEtc::Next(ULONG celt, FORMATETC* rgelt, ULONG* pceltFetched)
{
    if (rgelt == nullptr && celt > 0) {
        return E_INVALIDARG;
    }
    ULONG fetched = 0;
    while (fetched < celt && FPosition < FFormats.size()) {
        rgelt[fetched++] = FFormats[FPosition++];
    }
    if (pceltFetched != nullptr) {
        *pceltFetched = fetched;
    }
    return fetched == celt ? S_OK : S_FALSE;
}

HRESULT TMyEnumFormatEtc::Skip(ULONG celt)
{
    if (celt > FFormats.size() - FPosition) {
        FPosition = FFormats.size();
        return S_FALSE;
    }
    FPosition += celt;
    return S_OK;
}

HRESULT TMyEnumFormatEtc::Reset()
{
    FPosition = 0;
    return S_OK;
}

HRESULT TMyEnumFormatEtc::Clone(IEnumFORMATETC** ppenum)
{
    if (ppenum == nullptr) {
        return E_INVALIDARG;
    }
    try {
        *ppenum = new TMyEnumFormatEtc(FDataObject, FFormats, FPosition);
    } catch (const std::bad_alloc&) {
        *ppenum = nullptr;
        return E_OUTOFMEMORY;
    }
    return S_OK;
}
