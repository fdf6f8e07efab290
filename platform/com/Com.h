#pragma once

// A small COM-style object layer: class identifiers, result codes, the reference-counted base
// interface and the interfaces that embedded objects and their containers talk through. Plain C++:
// no Qt type appears here, so objects can be written, stored and tested without a window system.
// Every interface keeps the platform's method order, so its virtual slots are the same as there.

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// ---- identifiers and result codes -------------------------------------------------------------

/// A 16-byte class or interface identifier.
struct GUID {
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::array<std::uint8_t, 8> Data4{};
    friend bool operator==(const GUID&, const GUID&) = default;
};
using CLSID = GUID;
using IID = GUID;

/// "{7CA25402-0ACB-11CA-55C0-137683194000}": upper-case hex in braces.
std::string GuidToString(const GUID& guid);
/// Parses the braced form (either case); nothing when the text is not exactly that form.
std::optional<GUID> GuidFromString(std::string_view text);
/// The 16 bytes as stored in files: the first three fields little-endian, then Data4.
std::array<std::uint8_t, 16> GuidToBytes(const GUID& guid);
GUID GuidFromBytes(const std::uint8_t* bytes);

using HRESULT = std::int32_t;
using ULONG = std::uint32_t;
using DWORD = std::uint32_t;
using CLIPFORMAT = std::uint16_t;

constexpr bool SUCCEEDED(HRESULT hr)
{
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr)
{
    return hr < 0;
}

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFF);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154);
inline constexpr HRESULT REGDB_E_READREGDB = static_cast<HRESULT>(0x80040150);
inline constexpr HRESULT CO_E_OBJNOTREG = static_cast<HRESULT>(0x800401FB);
inline constexpr HRESULT OLE_E_ADVISENOTSUPPORTED = static_cast<HRESULT>(0x80040003);
inline constexpr HRESULT OLE_E_NOCONNECTION = static_cast<HRESULT>(0x80040004);
inline constexpr HRESULT OLEOBJ_E_NOVERBS = static_cast<HRESULT>(0x80040180);
inline constexpr HRESULT DV_E_FORMATETC = static_cast<HRESULT>(0x80040064);
inline constexpr HRESULT DV_E_TYMED = static_cast<HRESULT>(0x80040069);
inline constexpr HRESULT DV_E_DVASPECT = static_cast<HRESULT>(0x8004006B);
inline constexpr HRESULT DATA_S_SAMEFORMATETC = 0x00040130;
inline constexpr HRESULT STG_E_INVALIDFUNCTION = static_cast<HRESULT>(0x80030001);
inline constexpr HRESULT STG_E_FILENOTFOUND = static_cast<HRESULT>(0x80030002);
inline constexpr HRESULT STG_E_ACCESSDENIED = static_cast<HRESULT>(0x80030005);
inline constexpr HRESULT STG_E_INSUFFICIENTMEMORY = static_cast<HRESULT>(0x80030008);
inline constexpr HRESULT STG_E_INVALIDPOINTER = static_cast<HRESULT>(0x80030009);
inline constexpr HRESULT STG_E_WRITEFAULT = static_cast<HRESULT>(0x8003001D);
inline constexpr HRESULT STG_E_READFAULT = static_cast<HRESULT>(0x8003001E);
inline constexpr HRESULT STG_E_FILEALREADYEXISTS = static_cast<HRESULT>(0x80030050);
inline constexpr HRESULT STG_E_INVALIDPARAMETER = static_cast<HRESULT>(0x80030057);
inline constexpr HRESULT STG_E_INVALIDHEADER = static_cast<HRESULT>(0x800300FB);
inline constexpr HRESULT STG_E_INVALIDNAME = static_cast<HRESULT>(0x800300FC);
inline constexpr HRESULT STG_E_INVALIDFLAG = static_cast<HRESULT>(0x800300FF);

// ---- interface identifiers ---------------------------------------------------------------------

inline constexpr GUID IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID IID_IClassFactory{0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID IID_IStorage{0x0000000B, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID IID_IStream{0x0000000C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID IID_IEnumSTATSTG{0x0000000D, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID IID_IEnumFORMATETC{0x00000103, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID IID_IEnumSTATDATA{0x00000105, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID IID_IPersistStorage{0x0000010A, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID IID_IPersist{0x0000010C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID IID_IViewObject{0x0000010D, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID IID_IDataObject{0x0000010E, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID IID_IAdviseSink{0x0000010F, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID IID_IDataAdviseHolder{0x00000110, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID IID_IOleAdviseHolder{0x00000111, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID IID_IOleObject{0x00000112, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID IID_IOleClientSite{0x00000118, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID IID_IMoniker{0x0000000F, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr GUID IID_IRichEditOleCallback{0x00020D03, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// ---- constants ---------------------------------------------------------------------------------

inline constexpr DWORD DVASPECT_CONTENT = 1;
inline constexpr DWORD DVASPECT_THUMBNAIL = 2;
inline constexpr DWORD DVASPECT_ICON = 4;
inline constexpr DWORD DVASPECT_DOCPRINT = 8;

inline constexpr DWORD TYMED_NULL = 0;
inline constexpr DWORD TYMED_HGLOBAL = 1;
inline constexpr DWORD TYMED_FILE = 2;
inline constexpr DWORD TYMED_ISTREAM = 4;
inline constexpr DWORD TYMED_ISTORAGE = 8;

inline constexpr DWORD DATADIR_GET = 1;
inline constexpr DWORD DATADIR_SET = 2;

inline constexpr CLIPFORMAT CF_TEXT = 1;

inline constexpr DWORD STGM_READ = 0x0;
inline constexpr DWORD STGM_WRITE = 0x1;
inline constexpr DWORD STGM_READWRITE = 0x2;
inline constexpr DWORD STGM_SHARE_EXCLUSIVE = 0x10;
inline constexpr DWORD STGM_CREATE = 0x1000;
inline constexpr DWORD STGM_DIRECT = 0x0;

inline constexpr DWORD STGTY_STORAGE = 1;
inline constexpr DWORD STGTY_STREAM = 2;

inline constexpr DWORD STATFLAG_DEFAULT = 0;
inline constexpr DWORD STATFLAG_NONAME = 1;

inline constexpr DWORD STREAM_SEEK_SET = 0;
inline constexpr DWORD STREAM_SEEK_CUR = 1;
inline constexpr DWORD STREAM_SEEK_END = 2;

inline constexpr DWORD OLEMISC_RENDERINGISDEVICEINDEPENDENT = 0x200;
inline constexpr std::int32_t OLEIVERB_PRIMARY = 0;

inline constexpr DWORD OLEGETMONIKER_ONLYIFTHERE = 1;
inline constexpr DWORD OLEWHICHMK_CONTAINER = 1;

inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
inline constexpr DWORD REGCLS_SINGLEUSE = 0;
inline constexpr DWORD REGCLS_MULTIPLEUSE = 1;

inline constexpr DWORD USERCLASSTYPE_FULL = 1;
inline constexpr DWORD USERCLASSTYPE_SHORT = 2;
inline constexpr DWORD USERCLASSTYPE_APPNAME = 3;

// ---- plain data ---------------------------------------------------------------------------------

struct SIZEL {
    std::int32_t cx = 0;
    std::int32_t cy = 0;
};

struct RECTL {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

/// The device context handed to IViewObject::Draw: here it is always the caller's QPainter.
using HDC = void*;

/// A target device description; this layer never has one.
struct DVTARGETDEVICE;

/// Global memory: a movable byte block owned through the handle (GlobalAlloc / GlobalFree).
struct TGlobalMemory {
    std::vector<std::uint8_t> Bytes;
};
using HGLOBAL = TGlobalMemory*;
HGLOBAL GlobalAlloc(std::size_t size);
void GlobalFree(HGLOBAL memory);

struct FORMATETC {
    CLIPFORMAT cfFormat = 0;
    DVTARGETDEVICE* ptd = nullptr;
    DWORD dwAspect = DVASPECT_CONTENT;
    std::int32_t lindex = -1;
    DWORD tymed = TYMED_NULL;
};

class IUnknown;
class IStorage;
class IStream;

struct STGMEDIUM {
    DWORD tymed = TYMED_NULL;
    HGLOBAL hGlobal = nullptr;
    IStorage* pstg = nullptr;
    IStream* pstm = nullptr;
    IUnknown* pUnkForRelease = nullptr;
};
/// Frees what the medium holds (the global memory, or a reference to the storage or stream).
void ReleaseStgMedium(STGMEDIUM& medium);

struct STATSTG {
    std::string pwcsName;
    DWORD type = 0;
    std::uint64_t cbSize = 0;
    DWORD grfMode = 0;
    CLSID clsid;
    DWORD grfStateBits = 0;
};

struct STATDATA {
    FORMATETC formatetc;
    DWORD advf = 0;
    class IAdviseSink* pAdvSink = nullptr;
    DWORD dwConnection = 0;
};

struct OLEVERB;
struct MSG;
struct OLEINPLACEFRAMEINFO;
struct CHARRANGE {
    std::int32_t cpMin = 0;
    std::int32_t cpMax = 0;
};
using HWND = void*;
using HMENU = void*;
using LPCSTR = const char*;
using LPSTR = char*;

// ---- interfaces ----------------------------------------------------------------------------------
// Destructors are protected and not virtual, so they take no slot: objects free themselves in Release.

class IUnknown {
public:
    virtual HRESULT QueryInterface(const IID& riid, void** ppvObject) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

class ISequentialStream : public IUnknown {
public:
    virtual HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) = 0;
    virtual HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) = 0;

protected:
    ~ISequentialStream() = default;
};

class IStream : public ISequentialStream {
public:
    virtual HRESULT Seek(std::int64_t dlibMove, DWORD dwOrigin, std::uint64_t* plibNewPosition) = 0;
    virtual HRESULT SetSize(std::uint64_t libNewSize) = 0;
    virtual HRESULT CopyTo(IStream* pstm, std::uint64_t cb, std::uint64_t* pcbRead,
                           std::uint64_t* pcbWritten) = 0;
    virtual HRESULT Commit(DWORD grfCommitFlags) = 0;
    virtual HRESULT Revert() = 0;
    virtual HRESULT LockRegion(std::uint64_t libOffset, std::uint64_t cb, DWORD dwLockType) = 0;
    virtual HRESULT UnlockRegion(std::uint64_t libOffset, std::uint64_t cb, DWORD dwLockType) = 0;
    virtual HRESULT Stat(STATSTG* pstatstg, DWORD grfStatFlag) = 0;
    virtual HRESULT Clone(IStream** ppstm) = 0;

protected:
    ~IStream() = default;
};

class IEnumSTATSTG : public IUnknown {
public:
    virtual HRESULT Next(ULONG celt, STATSTG* rgelt, ULONG* pceltFetched) = 0;
    virtual HRESULT Skip(ULONG celt) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumSTATSTG** ppenum) = 0;

protected:
    ~IEnumSTATSTG() = default;
};

class IStorage : public IUnknown {
public:
    virtual HRESULT CreateStream(const char* pwcsName, DWORD grfMode, DWORD reserved1, DWORD reserved2,
                                 IStream** ppstm) = 0;
    virtual HRESULT OpenStream(const char* pwcsName, void* reserved1, DWORD grfMode, DWORD reserved2,
                               IStream** ppstm) = 0;
    virtual HRESULT CreateStorage(const char* pwcsName, DWORD grfMode, DWORD reserved1, DWORD reserved2,
                                  IStorage** ppstg) = 0;
    virtual HRESULT OpenStorage(const char* pwcsName, IStorage* pstgPriority, DWORD grfMode,
                                char** snbExclude, DWORD reserved, IStorage** ppstg) = 0;
    virtual HRESULT CopyTo(DWORD ciidExclude, const IID* rgiidExclude, char** snbExclude,
                           IStorage* pstgDest) = 0;
    virtual HRESULT MoveElementTo(const char* pwcsName, IStorage* pstgDest, const char* pwcsNewName,
                                  DWORD grfFlags) = 0;
    virtual HRESULT Commit(DWORD grfCommitFlags) = 0;
    virtual HRESULT Revert() = 0;
    virtual HRESULT EnumElements(DWORD reserved1, void* reserved2, DWORD reserved3,
                                 IEnumSTATSTG** ppenum) = 0;
    virtual HRESULT DestroyElement(const char* pwcsName) = 0;
    virtual HRESULT RenameElement(const char* pwcsOldName, const char* pwcsNewName) = 0;
    virtual HRESULT SetElementTimes(const char* pwcsName, const void* pctime, const void* patime,
                                    const void* pmtime) = 0;
    virtual HRESULT SetClass(const CLSID& clsid) = 0;
    virtual HRESULT SetStateBits(DWORD grfStateBits, DWORD grfMask) = 0;
    virtual HRESULT Stat(STATSTG* pstatstg, DWORD grfStatFlag) = 0;

protected:
    ~IStorage() = default;
};

class IAdviseSink : public IUnknown {
public:
    virtual void OnDataChange(FORMATETC* pFormatetc, STGMEDIUM* pStgmed) = 0;
    virtual void OnViewChange(DWORD dwAspect, std::int32_t lindex) = 0;
    virtual void OnRename(IUnknown* pmk) = 0;
    virtual void OnSave() = 0;
    virtual void OnClose() = 0;

protected:
    ~IAdviseSink() = default;
};

class IEnumFORMATETC : public IUnknown {
public:
    virtual HRESULT Next(ULONG celt, FORMATETC* rgelt, ULONG* pceltFetched) = 0;
    virtual HRESULT Skip(ULONG celt) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumFORMATETC** ppenum) = 0;

protected:
    ~IEnumFORMATETC() = default;
};

class IEnumSTATDATA : public IUnknown {
public:
    virtual HRESULT Next(ULONG celt, STATDATA* rgelt, ULONG* pceltFetched) = 0;
    virtual HRESULT Skip(ULONG celt) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumSTATDATA** ppenum) = 0;

protected:
    ~IEnumSTATDATA() = default;
};

class IDataObject : public IUnknown {
public:
    virtual HRESULT GetData(FORMATETC* pformatetcIn, STGMEDIUM* pmedium) = 0;
    virtual HRESULT GetDataHere(FORMATETC* pformatetc, STGMEDIUM* pmedium) = 0;
    virtual HRESULT QueryGetData(FORMATETC* pformatetc) = 0;
    virtual HRESULT GetCanonicalFormatEtc(FORMATETC* pformatectIn, FORMATETC* pformatetcOut) = 0;
    virtual HRESULT SetData(FORMATETC* pformatetc, STGMEDIUM* pmedium, bool fRelease) = 0;
    virtual HRESULT EnumFormatEtc(DWORD dwDirection, IEnumFORMATETC** ppenumFormatEtc) = 0;
    virtual HRESULT DAdvise(FORMATETC* pformatetc, DWORD advf, IAdviseSink* pAdvSink,
                            DWORD* pdwConnection) = 0;
    virtual HRESULT DUnadvise(DWORD dwConnection) = 0;
    virtual HRESULT EnumDAdvise(IEnumSTATDATA** ppenumAdvise) = 0;

protected:
    ~IDataObject() = default;
};

/// A name of something outside the object: here only a file's, the one way this program names things.
class IMoniker : public IUnknown {
public:
    /// The name in full: a file moniker's absolute path.
    virtual HRESULT GetDisplayName(std::string* ppszDisplayName) = 0;

protected:
    ~IMoniker() = default;
};

class IOleClientSite : public IUnknown {
public:
    virtual HRESULT SaveObject() = 0;
    virtual HRESULT GetMoniker(DWORD dwAssign, DWORD dwWhichMoniker, IUnknown** ppmk) = 0;
    virtual HRESULT GetContainer(IUnknown** ppContainer) = 0;
    virtual HRESULT ShowObject() = 0;
    virtual HRESULT OnShowWindow(bool fShow) = 0;
    virtual HRESULT RequestNewObjectLayout() = 0;

protected:
    ~IOleClientSite() = default;
};

class IEnumOLEVERB;

class IOleObject : public IUnknown {
public:
    virtual HRESULT SetClientSite(IOleClientSite* pClientSite) = 0;
    virtual HRESULT GetClientSite(IOleClientSite** ppClientSite) = 0;
    virtual HRESULT SetHostNames(const char* szContainerApp, const char* szContainerObj) = 0;
    virtual HRESULT Close(DWORD dwSaveOption) = 0;
    virtual HRESULT SetMoniker(DWORD dwWhichMoniker, IUnknown* pmk) = 0;
    virtual HRESULT GetMoniker(DWORD dwAssign, DWORD dwWhichMoniker, IUnknown** ppmk) = 0;
    virtual HRESULT InitFromData(IDataObject* pDataObject, bool fCreation, DWORD dwReserved) = 0;
    virtual HRESULT GetClipboardData(DWORD dwReserved, IDataObject** ppDataObject) = 0;
    virtual HRESULT DoVerb(std::int32_t iVerb, MSG* lpmsg, IOleClientSite* pActiveSite, std::int32_t lindex,
                           HWND hwndParent, const RECTL* lprcPosRect) = 0;
    virtual HRESULT EnumVerbs(IEnumOLEVERB** ppEnumOleVerb) = 0;
    virtual HRESULT Update() = 0;
    virtual HRESULT IsUpToDate() = 0;
    virtual HRESULT GetUserClassID(CLSID* pClsid) = 0;
    virtual HRESULT GetUserType(DWORD dwFormOfType, std::string* pszUserType) = 0;
    virtual HRESULT SetExtent(DWORD dwDrawAspect, SIZEL* psizel) = 0;
    virtual HRESULT GetExtent(DWORD dwDrawAspect, SIZEL* psizel) = 0;
    virtual HRESULT Advise(IAdviseSink* pAdvSink, DWORD* pdwConnection) = 0;
    virtual HRESULT Unadvise(DWORD dwConnection) = 0;
    virtual HRESULT EnumAdvise(IEnumSTATDATA** ppenumAdvise) = 0;
    virtual HRESULT GetMiscStatus(DWORD dwAspect, DWORD* pdwStatus) = 0;
    virtual HRESULT SetColorScheme(const void* pLogpal) = 0;

protected:
    ~IOleObject() = default;
};

class IViewObject : public IUnknown {
public:
    virtual HRESULT Draw(DWORD dwDrawAspect, std::int32_t lindex, void* pvAspect, DVTARGETDEVICE* ptd,
                         HDC hdcTargetDev, HDC hdcDraw, const RECTL* lprcBounds, const RECTL* lprcWBounds,
                         bool (*pfnContinue)(std::uintptr_t), std::uintptr_t dwContinue) = 0;
    virtual HRESULT GetColorSet(DWORD dwDrawAspect, std::int32_t lindex, void* pvAspect, DVTARGETDEVICE* ptd,
                                HDC hicTargetDev, void** ppColorSet) = 0;
    virtual HRESULT Freeze(DWORD dwDrawAspect, std::int32_t lindex, void* pvAspect, DWORD* pdwFreeze) = 0;
    virtual HRESULT Unfreeze(DWORD dwFreeze) = 0;
    virtual HRESULT SetAdvise(DWORD aspects, DWORD advf, IAdviseSink* pAdvSink) = 0;
    virtual HRESULT GetAdvise(DWORD* pAspects, DWORD* pAdvf, IAdviseSink** ppAdvSink) = 0;

protected:
    ~IViewObject() = default;
};

class IPersist : public IUnknown {
public:
    virtual HRESULT GetClassID(CLSID* pClassID) = 0;

protected:
    ~IPersist() = default;
};

class IPersistStorage : public IPersist {
public:
    virtual HRESULT IsDirty() = 0;
    virtual HRESULT InitNew(IStorage* pStg) = 0;
    virtual HRESULT Load(IStorage* pStg) = 0;
    virtual HRESULT Save(IStorage* pStgSave, bool fSameAsLoad) = 0;
    virtual HRESULT SaveCompleted(IStorage* pStgNew) = 0;
    virtual HRESULT HandsOffStorage() = 0;

protected:
    ~IPersistStorage() = default;
};

class IClassFactory : public IUnknown {
public:
    virtual HRESULT CreateInstance(IUnknown* pUnkOuter, const IID& riid, void** ppvObject) = 0;
    virtual HRESULT LockServer(bool fLock) = 0;

protected:
    ~IClassFactory() = default;
};

class IOleAdviseHolder : public IUnknown {
public:
    virtual HRESULT Advise(IAdviseSink* pAdvise, DWORD* pdwConnection) = 0;
    virtual HRESULT Unadvise(DWORD dwConnection) = 0;
    virtual HRESULT EnumAdvise(IEnumSTATDATA** ppenumAdvise) = 0;
    virtual HRESULT SendOnRename(IUnknown* pmk) = 0;
    virtual HRESULT SendOnSave() = 0;
    virtual HRESULT SendOnClose() = 0;

protected:
    ~IOleAdviseHolder() = default;
};

class IDataAdviseHolder : public IUnknown {
public:
    virtual HRESULT Advise(IDataObject* pDataObject, FORMATETC* pFetc, DWORD advf, IAdviseSink* pAdvise,
                           DWORD* pdwConnection) = 0;
    virtual HRESULT Unadvise(DWORD dwConnection) = 0;
    virtual HRESULT EnumAdvise(IEnumSTATDATA** ppenumAdvise) = 0;
    virtual HRESULT SendOnDataChange(IDataObject* pDataObject, DWORD dwReserved, DWORD advf) = 0;

protected:
    ~IDataAdviseHolder() = default;
};

class IRichEditOleCallback : public IUnknown {
public:
    virtual HRESULT GetNewStorage(IStorage** lplpstg) = 0;
    virtual HRESULT GetInPlaceContext(void** lplpFrame, void** lplpDoc, OLEINPLACEFRAMEINFO* lpFrameInfo) = 0;
    virtual HRESULT ShowContainerUI(bool fShow) = 0;
    virtual HRESULT QueryInsertObject(CLSID* lpclsid, IStorage* lpstg, std::int32_t cp) = 0;
    virtual HRESULT DeleteObject(IOleObject* lpoleobj) = 0;
    virtual HRESULT QueryAcceptData(IDataObject* lpdataobj, CLIPFORMAT* lpcfFormat, DWORD reco, bool fReally,
                                    HGLOBAL hMetaPict) = 0;
    virtual HRESULT ContextSensitiveHelp(bool fEnterMode) = 0;
    virtual HRESULT GetClipboardData(CHARRANGE* lpchrg, DWORD reco, IDataObject** lplpdataobj) = 0;
    virtual HRESULT GetDragDropEffect(bool fDrag, DWORD grfKeyState, DWORD* pdwEffect) = 0;
    virtual HRESULT GetContextMenu(std::uint16_t seltype, IOleObject* lpoleobj, CHARRANGE* lpchrg,
                                   HMENU* lphmenu) = 0;

protected:
    ~IRichEditOleCallback() = default;
};

// ---- helpers -------------------------------------------------------------------------------------

/// Drops a reference and clears the pointer (nothing when it is already empty).
template <class T>
void SafeRelease(T*& object)
{
    if (object != nullptr) {
        T* held = object;
        object = nullptr;
        held->Release();
    }
}

/// Registers a clipboard format name once per process; the same name gives the same number (from 0xC000).
CLIPFORMAT RegisterClipboardFormat(const std::string& name);
/// The name a registered format was given; empty for numbers never registered.
std::string ClipboardFormatName(CLIPFORMAT format);

/// A moniker naming the file at an absolute path.
HRESULT CreateFileMoniker(const std::string& lpszPathName, IMoniker** ppmk);

/// A reference count that starts at 1, as every object of this layer does.
class TRefCount {
public:
    ULONG Add() { return ++FCount; }
    /// The count after dropping one; the owner frees itself at 0.
    ULONG Drop() { return --FCount; }
    ULONG Count() const { return FCount; }

private:
    std::atomic<ULONG> FCount{1};
};

/// IUnknown for an object of this layer that offers one interface besides IUnknown. The interfaces
/// have no virtual destructor, so the last Release deletes the object as its own class.
template <class Derived, class Interface, const IID& InterfaceId>
class TUnknownOf : public Interface {
public:
    HRESULT QueryInterface(const IID& riid, void** ppvObject) override
    {
        if (ppvObject == nullptr) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == InterfaceId) {
            AddRef();
            *ppvObject = static_cast<Interface*>(this);
            return S_OK;
        }
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return FRefCount.Add(); }
    ULONG Release() override
    {
        const ULONG count = FRefCount.Drop();
        if (count == 0) {
            delete static_cast<Derived*>(this);
        }
        return count;
    }

protected:
    TUnknownOf() = default;
    ~TUnknownOf() = default;

private:
    TRefCount FRefCount;
};
