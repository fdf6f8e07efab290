// What an object keeps in its storage: its class, its user type and clipboard format (the
// "\1CompObj" stream), and saving and loading the object itself.

#include "platform/com/ComClassTable.h"
#include "platform/com/KeyStore.h"
#include "platform/com/Storage.h"

#include <new>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr DWORD CompObjUnicodeMarker = 0x71B239F4;
const char* const CompObjStreamName = "\1CompObj";

void PutInt32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

void PutAnsi(std::vector<std::uint8_t>& out, const std::string& text)
{
    if (text.empty()) {
        PutInt32(out, 0);
        return;
    }
    PutInt32(out, static_cast<std::uint32_t>(text.size() + 1));
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
}

void PutUnicode(std::vector<std::uint8_t>& out, const std::string& text)
{
    if (text.empty()) {
        PutInt32(out, 0);
        return;
    }
    PutInt32(out, static_cast<std::uint32_t>(text.size() + 1));
    for (const char c : text) {
        out.push_back(static_cast<std::uint8_t>(c));
        out.push_back(0);
    }
    out.push_back(0);
    out.push_back(0);
}

// Reads the compound object stream's parts in order; every length is checked against what is left.
class TCompObjReader {
public:
    explicit TCompObjReader(const std::vector<std::uint8_t>& bytes)
        : FBytes(bytes)
    {
    }
    bool Skip(std::size_t count)
    {
        if (count > FBytes.size() - FAt) {
            return false;
        }
        FAt += count;
        return true;
    }
    std::optional<std::uint32_t> Int32()
    {
        if (FBytes.size() - FAt < 4) {
            return std::nullopt;
        }
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            value |= static_cast<std::uint32_t>(FBytes[FAt++]) << (8 * i);
        }
        return value;
    }
    std::optional<std::string> Ansi(std::uint32_t length)
    {
        if (length > FBytes.size() - FAt) {
            return std::nullopt;
        }
        std::string text(FBytes.begin() + static_cast<std::ptrdiff_t>(FAt),
                         FBytes.begin() + static_cast<std::ptrdiff_t>(FAt + length));
        FAt += length;
        if (!text.empty() && text.back() == '\0') {
            text.pop_back();
        }
        return text;
    }

private:
    const std::vector<std::uint8_t>& FBytes;
    std::size_t FAt = 0;
};

} // namespace

HRESULT WriteClassStg(IStorage* pStg, const CLSID& rclsid)
{
    return pStg != nullptr ? pStg->SetClass(rclsid) : STG_E_INVALIDPOINTER;
}

HRESULT ReadClassStg(IStorage* pStg, CLSID* pclsid)
{
    if (pStg == nullptr || pclsid == nullptr) {
        return STG_E_INVALIDPOINTER;
    }
    STATSTG stat;
    const HRESULT hr = pStg->Stat(&stat, STATFLAG_NONAME);
    if (SUCCEEDED(hr)) {
        *pclsid = stat.clsid;
    }
    return hr;
}

HRESULT WriteFmtUserTypeStg(IStorage* pstg, CLIPFORMAT cf, const std::string& userType)
{
    if (pstg == nullptr) {
        return STG_E_INVALIDPOINTER;
    }
    CLSID clsid;
    HRESULT hr = ReadClassStg(pstg, &clsid);
    if (FAILED(hr)) {
        return hr;
    }
    const std::string progId = ProgIDFromCLSID(clsid).value_or(std::string());
    const std::string formatName = ClipboardFormatName(cf);
    std::vector<std::uint8_t> bytes;
    try {
        PutInt32(bytes, 0xFFFE0001);
        PutInt32(bytes, 0x00000A03);
        PutInt32(bytes, 0xFFFFFFFF);
        const auto classBytes = GuidToBytes(clsid);
        bytes.insert(bytes.end(), classBytes.begin(), classBytes.end());
        PutAnsi(bytes, userType);
        if (!formatName.empty()) {
            PutAnsi(bytes, formatName);
        } else if (cf != 0) {
            PutInt32(bytes, 0xFFFFFFFF);
            PutInt32(bytes, cf);
        } else {
            PutInt32(bytes, 0);
        }
        PutAnsi(bytes, progId);
        PutInt32(bytes, CompObjUnicodeMarker);
        PutUnicode(bytes, userType);
        if (!formatName.empty()) {
            PutUnicode(bytes, formatName);
        } else if (cf != 0) {
            PutInt32(bytes, 0xFFFFFFFF);
            PutInt32(bytes, cf);
        } else {
            PutInt32(bytes, 0);
        }
        PutUnicode(bytes, progId);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    IStream* stream = nullptr;
    hr = pstg->CreateStream(CompObjStreamName, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0,
                            &stream);
    if (FAILED(hr)) {
        return hr;
    }
    ULONG written = 0;
    hr = stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
    stream->Release();
    return FAILED(hr) ? hr : (written == bytes.size() ? S_OK : STG_E_WRITEFAULT);
}

HRESULT ReadFmtUserTypeStg(IStorage* pstg, CLIPFORMAT* pcf, std::string* userType)
{
    if (pstg == nullptr) {
        return STG_E_INVALIDPOINTER;
    }
    IStream* stream = nullptr;
    HRESULT hr = pstg->OpenStream(CompObjStreamName, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &stream);
    if (FAILED(hr)) {
        return hr;
    }
    std::vector<std::uint8_t> bytes;
    hr = ReadAllOfStream(stream, bytes);
    stream->Release();
    if (FAILED(hr)) {
        return hr;
    }
    TCompObjReader reader(bytes);
    const auto skipped = reader.Skip(28);
    const auto typeLength = skipped ? reader.Int32() : std::nullopt;
    const auto type = typeLength ? reader.Ansi(*typeLength) : std::nullopt;
    const auto marker = type ? reader.Int32() : std::nullopt;
    if (!marker) {
        return STG_E_READFAULT;
    }
    CLIPFORMAT format = 0;
    if (*marker == 0xFFFFFFFF || *marker == 0xFFFFFFFE) {
        const auto standard = reader.Int32();
        if (!standard) {
            return STG_E_READFAULT;
        }
        format = static_cast<CLIPFORMAT>(*standard);
    } else if (*marker != 0) {
        const auto name = reader.Ansi(*marker);
        if (!name) {
            return STG_E_READFAULT;
        }
        format = RegisterClipboardFormat(*name);
    }
    if (pcf != nullptr) {
        *pcf = format;
    }
    if (userType != nullptr) {
        *userType = *type;
    }
    return S_OK;
}

HRESULT OleSave(IPersistStorage* pPS, IStorage* pStg, bool fSameAsLoad)
{
    if (pPS == nullptr || pStg == nullptr) {
        return E_INVALIDARG;
    }
    CLSID clsid;
    HRESULT hr = pPS->GetClassID(&clsid);
    if (FAILED(hr)) {
        return hr;
    }
    hr = WriteClassStg(pStg, clsid);
    if (FAILED(hr)) {
        return hr;
    }
    return pPS->Save(pStg, fSameAsLoad);
}

HRESULT OleLoad(IStorage* pStg, const IID& riid, IOleClientSite* pClientSite, void** ppvObj)
{
    if (ppvObj == nullptr) {
        return E_INVALIDARG;
    }
    *ppvObj = nullptr;
    CLSID clsid;
    HRESULT hr = ReadClassStg(pStg, &clsid);
    if (FAILED(hr)) {
        return hr;
    }
    IOleObject* object = nullptr;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER | CLSCTX_INPROC_SERVER, IID_IOleObject,
                          reinterpret_cast<void**>(&object));
    if (FAILED(hr)) {
        return hr;
    }
    if (pClientSite != nullptr) {
        object->SetClientSite(pClientSite);
    }
    IPersistStorage* persist = nullptr;
    hr = object->QueryInterface(IID_IPersistStorage, reinterpret_cast<void**>(&persist));
    if (SUCCEEDED(hr)) {
        hr = persist->Load(pStg);
        persist->Release();
    }
    if (SUCCEEDED(hr)) {
        hr = object->QueryInterface(riid, ppvObj);
    }
    object->Release();
    return hr;
}
