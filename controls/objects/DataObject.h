#pragma once

// The data side of an embedded object: what it offers to the clipboard and to drag and drop.

#include "platform/com/Com.h"

#include <vector>

class TQvOle;

/// The program's own clipboard format for its objects (registered at start-up).
CLIPFORMAT PrivateClipboardFormat();
/// "Embedded Object": the object's storage.
CLIPFORMAT EmbeddedObjectFormat();
/// "Object Descriptor": class, aspect, extent and status of the object.
CLIPFORMAT ObjectDescriptorFormat();
/// "Embed Source".
CLIPFORMAT EmbedSourceFormat();
/// Registers the four formats; the first call fixes their numbers.
void RegisterObjectClipboardFormats();

/// The size of an object descriptor in bytes.
inline constexpr std::size_t ObjectDescriptorSize = 52;

/// IDataObject of a TQvOle: its private format, "Embedded Object" and "Object Descriptor".
class TMyDataObject final : public IDataObject {
public:
    explicit TMyDataObject(TQvOle& owner);
    ~TMyDataObject();
    TMyDataObject(const TMyDataObject&) = delete;
    TMyDataObject& operator=(const TMyDataObject&) = delete;

    /// The offered formats, in order.
    const std::vector<FORMATETC>& Formats() const { return FFormats; }

    HRESULT QueryInterface(const IID& riid, void** ppvObject) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT GetData(FORMATETC* pformatetcIn, STGMEDIUM* pmedium) override;
    HRESULT GetDataHere(FORMATETC* pformatetc, STGMEDIUM* pmedium) override;
    HRESULT QueryGetData(FORMATETC* pformatetc) override;
    HRESULT GetCanonicalFormatEtc(FORMATETC* pformatectIn, FORMATETC* pformatetcOut) override;
    HRESULT SetData(FORMATETC* pformatetc, STGMEDIUM* pmedium, bool fRelease) override;
    HRESULT EnumFormatEtc(DWORD dwDirection, IEnumFORMATETC** ppenumFormatEtc) override;
    HRESULT DAdvise(FORMATETC* pformatetc, DWORD advf, IAdviseSink* pAdvSink, DWORD* pdwConnection) override;
    HRESULT DUnadvise(DWORD dwConnection) override;
    HRESULT EnumDAdvise(IEnumSTATDATA** ppenumAdvise) override;

private:
    HRESULT CheckFormat(const FORMATETC* format) const;

    TQvOle& FOwner;
    TRefCount FRefCount;
    std::vector<FORMATETC> FFormats;
    IDataAdviseHolder* FAdviseHolder = nullptr;
};

/// A format enumerator over a copy of a data object's list; it keeps the data object alive.
class TMyEnumFormatEtc final : public IEnumFORMATETC {
public:
    TMyEnumFormatEtc(IDataObject* dataObject, std::vector<FORMATETC> formats, std::size_t position = 0);
    TMyEnumFormatEtc(const TMyEnumFormatEtc&) = delete;
    TMyEnumFormatEtc& operator=(const TMyEnumFormatEtc&) = delete;

    HRESULT QueryInterface(const IID& riid, void** ppvObject) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT Next(ULONG celt, FORMATETC* rgelt, ULONG* pceltFetched) override;
    HRESULT Skip(ULONG celt) override;
    HRESULT Reset() override;
    HRESULT Clone(IEnumFORMATETC** ppenum) override;

private:
    ~TMyEnumFormatEtc() = default;

    TRefCount FRefCount;
    IDataObject* FDataObject;
    std::vector<FORMATETC> FFormats;
    std::size_t FPosition;
};
