#include "platform/com/Storage.h"

#include "platform/com/ComClassTable.h"
#include "platform/com/KeyStore.h"
#include "platform/com/StorageTree.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <variant>

namespace {

struct TStreamNode {
    std::vector<std::uint8_t> Bytes;
    int OpenCount = 0;
};

struct TStorageNode;
using TElement = std::variant<std::shared_ptr<TStreamNode>, std::shared_ptr<TStorageNode>>;

struct TStorageNode {
    CLSID Class;
    DWORD StateBits = 0;
    std::map<std::string, TElement> Elements;
    int OpenCount = 0;
};

constexpr std::size_t MaxNameLength = 31; // what a compound-file directory entry holds

bool ValidName(const char* name)
{
    if (name == nullptr) {
        return false;
    }
    const std::size_t length = std::strlen(name);
    return length > 0 && length <= MaxNameLength && std::strpbrk(name, "/\\:!") == nullptr;
}

bool CanWrite(DWORD mode)
{
    return (mode & 3) == STGM_WRITE || (mode & 3) == STGM_READWRITE;
}

bool CanRead(DWORD mode)
{
    return (mode & 3) == STGM_READ || (mode & 3) == STGM_READWRITE;
}

class TMemoryStream final : public TUnknownOf<TMemoryStream, IStream, IID_IStream> {
public:
    TMemoryStream(std::shared_ptr<TStreamNode> node, DWORD mode, std::string name)
        : FNode(std::move(node))
        , FMode(mode)
        , FName(std::move(name))
    {
        ++FNode->OpenCount;
    }

    HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override
    {
        if (pv == nullptr && cb > 0) {
            return STG_E_INVALIDPOINTER;
        }
        if (!CanRead(FMode)) {
            return STG_E_ACCESSDENIED;
        }
        const std::vector<std::uint8_t>& bytes = FNode->Bytes;
        const std::uint64_t available = FPosition < bytes.size() ? bytes.size() - FPosition : 0;
        const ULONG count = static_cast<ULONG>(std::min<std::uint64_t>(cb, available));
        if (count > 0) {
            std::memcpy(pv, bytes.data() + FPosition, count);
        }
        FPosition += count;
        if (pcbRead != nullptr) {
            *pcbRead = count;
        }
        return S_OK;
    }

    HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) override
    {
        if (pcbWritten != nullptr) {
            *pcbWritten = 0;
        }
        if (pv == nullptr && cb > 0) {
            return STG_E_INVALIDPOINTER;
        }
        if (!CanWrite(FMode)) {
            return STG_E_ACCESSDENIED;
        }
        try {
            std::vector<std::uint8_t>& bytes = FNode->Bytes;
            if (FPosition + cb > bytes.size()) {
                bytes.resize(static_cast<std::size_t>(FPosition + cb));
            }
            if (cb > 0) {
                std::memcpy(bytes.data() + FPosition, pv, cb);
            }
        } catch (const std::exception&) {
            return STG_E_INSUFFICIENTMEMORY;
        }
        FPosition += cb;
        if (pcbWritten != nullptr) {
            *pcbWritten = cb;
        }
        return S_OK;
    }

    HRESULT Seek(std::int64_t dlibMove, DWORD dwOrigin, std::uint64_t* plibNewPosition) override
    {
        std::int64_t base = 0;
        switch (dwOrigin) {
        case STREAM_SEEK_SET:
            break;
        case STREAM_SEEK_CUR:
            base = static_cast<std::int64_t>(FPosition);
            break;
        case STREAM_SEEK_END:
            base = static_cast<std::int64_t>(FNode->Bytes.size());
            break;
        default:
            return STG_E_INVALIDFUNCTION;
        }
        if (dlibMove < 0 && -dlibMove > base) {
            return STG_E_INVALIDFUNCTION;
        }
        FPosition = static_cast<std::uint64_t>(base + dlibMove);
        if (plibNewPosition != nullptr) {
            *plibNewPosition = FPosition;
        }
        return S_OK;
    }

    HRESULT SetSize(std::uint64_t libNewSize) override
    {
        if (!CanWrite(FMode)) {
            return STG_E_ACCESSDENIED;
        }
        try {
            FNode->Bytes.resize(static_cast<std::size_t>(libNewSize));
        } catch (const std::exception&) {
            return STG_E_INSUFFICIENTMEMORY;
        }
        return S_OK;
    }

    HRESULT CopyTo(IStream* pstm, std::uint64_t cb, std::uint64_t* pcbRead,
                   std::uint64_t* pcbWritten) override
    {
        if (pstm == nullptr) {
            return STG_E_INVALIDPOINTER;
        }
        const std::vector<std::uint8_t>& bytes = FNode->Bytes;
        const std::uint64_t available = FPosition < bytes.size() ? bytes.size() - FPosition : 0;
        const std::uint64_t count = std::min(cb, available);
        ULONG written = 0;
        const HRESULT hr = pstm->Write(bytes.data() + FPosition, static_cast<ULONG>(count), &written);
        FPosition += count;
        if (pcbRead != nullptr) {
            *pcbRead = count;
        }
        if (pcbWritten != nullptr) {
            *pcbWritten = written;
        }
        return hr;
    }

    HRESULT Commit(DWORD) override { return S_OK; }
    HRESULT Revert() override { return S_OK; }
    HRESULT LockRegion(std::uint64_t, std::uint64_t, DWORD) override { return STG_E_INVALIDFUNCTION; }
    HRESULT UnlockRegion(std::uint64_t, std::uint64_t, DWORD) override { return STG_E_INVALIDFUNCTION; }

    HRESULT Stat(STATSTG* pstatstg, DWORD grfStatFlag) override
    {
        if (pstatstg == nullptr) {
            return STG_E_INVALIDPOINTER;
        }
        *pstatstg = STATSTG{};
        if (grfStatFlag != STATFLAG_NONAME) {
            pstatstg->pwcsName = FName;
        }
        pstatstg->type = STGTY_STREAM;
        pstatstg->cbSize = FNode->Bytes.size();
        pstatstg->grfMode = FMode;
        return S_OK;
    }

    HRESULT Clone(IStream** ppstm) override
    {
        if (ppstm == nullptr) {
            return STG_E_INVALIDPOINTER;
        }
        auto* clone = new (std::nothrow) TMemoryStream(FNode, FMode, FName);
        if (clone == nullptr) {
            return STG_E_INSUFFICIENTMEMORY;
        }
        clone->FPosition = FPosition;
        *ppstm = clone;
        return S_OK;
    }

private:
    friend TUnknownOf; // the last Release deletes
    ~TMemoryStream() { --FNode->OpenCount; }

    std::shared_ptr<TStreamNode> FNode;
    DWORD FMode;
    std::string FName;
    std::uint64_t FPosition = 0;
};

class TEnumStatStg final : public TUnknownOf<TEnumStatStg, IEnumSTATSTG, IID_IEnumSTATSTG> {
public:
    TEnumStatStg(std::vector<STATSTG> items, std::size_t position)
        : FItems(std::move(items))
        , FPosition(position)
    {
    }

    HRESULT Next(ULONG celt, STATSTG* rgelt, ULONG* pceltFetched) override
    {
        ULONG fetched = 0;
        while (fetched < celt && FPosition < FItems.size()) {
            rgelt[fetched++] = FItems[FPosition++];
        }
        if (pceltFetched != nullptr) {
            *pceltFetched = fetched;
        }
        return fetched == celt ? S_OK : S_FALSE;
    }
    HRESULT Skip(ULONG celt) override
    {
        if (celt > FItems.size() - FPosition) {
            FPosition = FItems.size();
            return S_FALSE;
        }
        FPosition += celt;
        return S_OK;
    }
    HRESULT Reset() override
    {
        FPosition = 0;
        return S_OK;
    }
    HRESULT Clone(IEnumSTATSTG** ppenum) override
    {
        if (ppenum == nullptr) {
            return STG_E_INVALIDPOINTER;
        }
        *ppenum = new (std::nothrow) TEnumStatStg(FItems, FPosition);
        return *ppenum != nullptr ? S_OK : E_OUTOFMEMORY;
    }

private:
    friend TUnknownOf; // the last Release deletes
    ~TEnumStatStg() = default;

    std::vector<STATSTG> FItems;
    std::size_t FPosition;
};

class TMemoryStorage final : public TUnknownOf<TMemoryStorage, IStorage, IID_IStorage> {
public:
    TMemoryStorage(std::shared_ptr<TStorageNode> node, DWORD mode, std::string name)
        : FNode(std::move(node))
        , FMode(mode)
        , FName(std::move(name))
    {
        ++FNode->OpenCount;
    }

    const std::shared_ptr<TStorageNode>& Node() const { return FNode; }

    HRESULT CreateStream(const char* pwcsName, DWORD grfMode, DWORD, DWORD, IStream** ppstm) override
    {
        return CreateElement<TStreamNode, TMemoryStream>(pwcsName, grfMode, ppstm);
    }

    HRESULT OpenStream(const char* pwcsName, void*, DWORD grfMode, DWORD, IStream** ppstm) override
    {
        if (ppstm == nullptr) {
            return STG_E_INVALIDPOINTER;
        }
        *ppstm = nullptr;
        if (!ValidName(pwcsName)) {
            return STG_E_INVALIDNAME;
        }
        const auto found = FNode->Elements.find(pwcsName);
        if (found == FNode->Elements.end() ||
            !std::holds_alternative<std::shared_ptr<TStreamNode>>(found->second)) {
            return STG_E_FILENOTFOUND;
        }
        if (CanWrite(grfMode) && !CanWrite(FMode)) {
            return STG_E_ACCESSDENIED;
        }
        // Streams inside a storage are opened for one user at a time.
        if (Busy(found->second)) {
            return STG_E_ACCESSDENIED;
        }
        *ppstm = new (std::nothrow)
            TMemoryStream(std::get<std::shared_ptr<TStreamNode>>(found->second), grfMode, pwcsName);
        return *ppstm != nullptr ? S_OK : STG_E_INSUFFICIENTMEMORY;
    }

    HRESULT CreateStorage(const char* pwcsName, DWORD grfMode, DWORD, DWORD, IStorage** ppstg) override
    {
        return CreateElement<TStorageNode, TMemoryStorage>(pwcsName, grfMode, ppstg);
    }

    HRESULT OpenStorage(const char* pwcsName, IStorage*, DWORD grfMode, char**, DWORD,
                        IStorage** ppstg) override
    {
        if (ppstg == nullptr) {
            return STG_E_INVALIDPOINTER;
        }
        *ppstg = nullptr;
        if (!ValidName(pwcsName)) {
            return STG_E_INVALIDNAME;
        }
        const auto found = FNode->Elements.find(pwcsName);
        if (found == FNode->Elements.end() ||
            !std::holds_alternative<std::shared_ptr<TStorageNode>>(found->second)) {
            return STG_E_FILENOTFOUND;
        }
        if ((CanWrite(grfMode) && !CanWrite(FMode)) || Busy(found->second)) {
            return STG_E_ACCESSDENIED;
        }
        *ppstg = new (std::nothrow)
            TMemoryStorage(std::get<std::shared_ptr<TStorageNode>>(found->second), grfMode, pwcsName);
        return *ppstg != nullptr ? S_OK : STG_E_INSUFFICIENTMEMORY;
    }

    HRESULT CopyTo(DWORD, const IID*, char**, IStorage* pstgDest) override
    {
        if (pstgDest == nullptr) {
            return STG_E_INVALIDPOINTER;
        }
        auto* target = dynamic_cast<TMemoryStorage*>(pstgDest);
        if (target == nullptr) {
            return STG_E_INVALIDFUNCTION;
        }
        if (!CanWrite(target->FMode)) {
            return STG_E_ACCESSDENIED;
        }
        try {
            CopyNode(*FNode, *target->FNode);
        } catch (const std::bad_alloc&) {
            return STG_E_INSUFFICIENTMEMORY;
        }
        return S_OK;
    }

    HRESULT MoveElementTo(const char*, IStorage*, const char*, DWORD) override
    {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT Commit(DWORD) override { return S_OK; }
    HRESULT Revert() override { return S_OK; }

    HRESULT EnumElements(DWORD, void*, DWORD, IEnumSTATSTG** ppenum) override
    {
        if (ppenum == nullptr) {
            return STG_E_INVALIDPOINTER;
        }
        try {
            std::vector<STATSTG> items;
            for (const auto& [name, element] : FNode->Elements) {
                STATSTG item;
                item.pwcsName = name;
                if (const auto* stream = std::get_if<std::shared_ptr<TStreamNode>>(&element)) {
                    item.type = STGTY_STREAM;
                    item.cbSize = (*stream)->Bytes.size();
                } else {
                    const auto& storage = std::get<std::shared_ptr<TStorageNode>>(element);
                    item.type = STGTY_STORAGE;
                    item.clsid = storage->Class;
                    item.grfStateBits = storage->StateBits;
                }
                items.push_back(std::move(item));
            }
            *ppenum = new TEnumStatStg(std::move(items), 0);
        } catch (const std::bad_alloc&) {
            *ppenum = nullptr;
            return STG_E_INSUFFICIENTMEMORY;
        }
        return S_OK;
    }

    HRESULT DestroyElement(const char* pwcsName) override
    {
        if (!ValidName(pwcsName)) {
            return STG_E_INVALIDNAME;
        }
        if (!CanWrite(FMode)) {
            return STG_E_ACCESSDENIED;
        }
        const auto found = FNode->Elements.find(pwcsName);
        if (found == FNode->Elements.end()) {
            return STG_E_FILENOTFOUND;
        }
        if (Busy(found->second)) {
            return STG_E_ACCESSDENIED;
        }
        FNode->Elements.erase(found);
        return S_OK;
    }

    HRESULT RenameElement(const char* pwcsOldName, const char* pwcsNewName) override
    {
        if (!ValidName(pwcsOldName) || !ValidName(pwcsNewName)) {
            return STG_E_INVALIDNAME;
        }
        if (!CanWrite(FMode)) {
            return STG_E_ACCESSDENIED;
        }
        const auto found = FNode->Elements.find(pwcsOldName);
        if (found == FNode->Elements.end()) {
            return STG_E_FILENOTFOUND;
        }
        if (FNode->Elements.count(pwcsNewName) != 0) {
            return STG_E_FILEALREADYEXISTS;
        }
        if (Busy(found->second)) {
            return STG_E_ACCESSDENIED;
        }
        TElement element = found->second;
        FNode->Elements.erase(found);
        FNode->Elements[pwcsNewName] = std::move(element);
        return S_OK;
    }

    HRESULT SetElementTimes(const char*, const void*, const void*, const void*) override { return S_OK; }

    HRESULT SetClass(const CLSID& clsid) override
    {
        if (!CanWrite(FMode)) {
            return STG_E_ACCESSDENIED;
        }
        FNode->Class = clsid;
        return S_OK;
    }

    HRESULT SetStateBits(DWORD grfStateBits, DWORD grfMask) override
    {
        if (!CanWrite(FMode)) {
            return STG_E_ACCESSDENIED;
        }
        FNode->StateBits = (FNode->StateBits & ~grfMask) | (grfStateBits & grfMask);
        return S_OK;
    }

    HRESULT Stat(STATSTG* pstatstg, DWORD grfStatFlag) override
    {
        if (pstatstg == nullptr) {
            return STG_E_INVALIDPOINTER;
        }
        *pstatstg = STATSTG{};
        if (grfStatFlag != STATFLAG_NONAME) {
            pstatstg->pwcsName = FName;
        }
        pstatstg->type = STGTY_STORAGE;
        pstatstg->grfMode = FMode;
        pstatstg->clsid = FNode->Class;
        pstatstg->grfStateBits = FNode->StateBits;
        return S_OK;
    }

private:
    /// A new stream or storage in place of the element of that name: replaced only with STGM_CREATE
    /// and when nobody has it open.
    template <class Node, class Object, class Interface>
    HRESULT CreateElement(const char* name, DWORD mode, Interface** result)
    {
        if (result == nullptr) {
            return STG_E_INVALIDPOINTER;
        }
        *result = nullptr;
        if (!ValidName(name)) {
            return STG_E_INVALIDNAME;
        }
        if (!CanWrite(FMode)) {
            return STG_E_ACCESSDENIED;
        }
        try {
            auto found = FNode->Elements.find(name);
            if (found != FNode->Elements.end()) {
                if ((mode & STGM_CREATE) == 0) {
                    return STG_E_FILEALREADYEXISTS;
                }
                if (Busy(found->second)) {
                    return STG_E_ACCESSDENIED;
                }
            }
            auto node = std::make_shared<Node>();
            auto* object = new Object(node, mode, name);
            FNode->Elements[name] = node;
            *result = object;
        } catch (const std::bad_alloc&) {
            return STG_E_INSUFFICIENTMEMORY;
        }
        return S_OK;
    }
    friend TUnknownOf; // the last Release deletes
    ~TMemoryStorage() { --FNode->OpenCount; }

    static bool Busy(const TElement& element)
    {
        if (const auto* stream = std::get_if<std::shared_ptr<TStreamNode>>(&element)) {
            return (*stream)->OpenCount > 0;
        }
        return std::get<std::shared_ptr<TStorageNode>>(element)->OpenCount > 0;
    }

    static void CopyNode(const TStorageNode& from, TStorageNode& to)
    {
        to.Class = from.Class;
        to.StateBits = from.StateBits;
        for (const auto& [name, element] : from.Elements) {
            if (const auto* stream = std::get_if<std::shared_ptr<TStreamNode>>(&element)) {
                auto copy = std::make_shared<TStreamNode>();
                copy->Bytes = (*stream)->Bytes;
                to.Elements[name] = copy;
            } else {
                auto copy = std::make_shared<TStorageNode>();
                CopyNode(*std::get<std::shared_ptr<TStorageNode>>(element), *copy);
                to.Elements[name] = copy;
            }
        }
    }

    std::shared_ptr<TStorageNode> FNode;
    DWORD FMode;
    std::string FName;
};

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

HRESULT StgCreateMemoryStorage(IStorage** ppstg)
{
    if (ppstg == nullptr) {
        return STG_E_INVALIDPOINTER;
    }
    try {
        *ppstg = new TMemoryStorage(std::make_shared<TStorageNode>(), STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                    "Root Entry");
    } catch (const std::bad_alloc&) {
        *ppstg = nullptr;
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT CreateStreamOnBytes(const std::vector<std::uint8_t>& bytes, IStream** ppstm)
{
    if (ppstm == nullptr) {
        return STG_E_INVALIDPOINTER;
    }
    try {
        auto node = std::make_shared<TStreamNode>();
        node->Bytes = bytes;
        *ppstm = new TMemoryStream(node, STGM_READWRITE, std::string());
    } catch (const std::bad_alloc&) {
        *ppstm = nullptr;
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT ReadAllOfStream(IStream* stream, std::vector<std::uint8_t>& bytes)
{
    if (stream == nullptr) {
        return STG_E_INVALIDPOINTER;
    }
    bytes.clear();
    HRESULT hr = stream->Seek(0, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr)) {
        return hr;
    }
    std::uint8_t buffer[4096];
    while (true) {
        ULONG read = 0;
        hr = stream->Read(buffer, sizeof buffer, &read);
        if (FAILED(hr)) {
            return hr;
        }
        if (read == 0) {
            return S_OK;
        }
        try {
            bytes.insert(bytes.end(), buffer, buffer + read);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }
}

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

bool WriteInt32(IStream* stream, std::int32_t value)
{
    std::uint8_t bytes[4];
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(value) >> (8 * i));
    }
    ULONG written = 0;
    return SUCCEEDED(stream->Write(bytes, 4, &written)) && written == 4;
}

std::optional<std::int32_t> ReadInt32(IStream* stream)
{
    std::uint8_t bytes[4];
    ULONG read = 0;
    if (FAILED(stream->Read(bytes, 4, &read)) || read != 4) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(
        static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
        static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24);
}

// ---- snapshots for the compound-file writer -----------------------------------------------------

namespace {

void Snapshot(const TStorageNode& node, TStorageEntry& entry)
{
    entry.IsStorage = true;
    entry.Class = node.Class;
    entry.StateBits = node.StateBits;
    for (const auto& [name, element] : node.Elements) {
        TStorageEntry child;
        child.Name = name;
        if (const auto* stream = std::get_if<std::shared_ptr<TStreamNode>>(&element)) {
            child.Bytes = (*stream)->Bytes;
        } else {
            Snapshot(*std::get<std::shared_ptr<TStorageNode>>(element), child);
        }
        entry.Children.push_back(std::move(child));
    }
}

void Build(const TStorageEntry& entry, TStorageNode& node)
{
    node.Class = entry.Class;
    node.StateBits = entry.StateBits;
    for (const TStorageEntry& child : entry.Children) {
        if (child.IsStorage) {
            auto storage = std::make_shared<TStorageNode>();
            Build(child, *storage);
            node.Elements[child.Name] = storage;
        } else {
            auto stream = std::make_shared<TStreamNode>();
            stream->Bytes = child.Bytes;
            node.Elements[child.Name] = stream;
        }
    }
}

} // namespace

HRESULT SnapshotStorage(IStorage* storage, TStorageEntry& root)
{
    auto* memory = dynamic_cast<TMemoryStorage*>(storage);
    if (memory == nullptr) {
        return STG_E_INVALIDPOINTER;
    }
    try {
        root = TStorageEntry{};
        root.Name = "Root Entry";
        Snapshot(*memory->Node(), root);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT StorageFromSnapshot(const TStorageEntry& root, IStorage** ppstg)
{
    if (ppstg == nullptr) {
        return STG_E_INVALIDPOINTER;
    }
    *ppstg = nullptr;
    try {
        auto node = std::make_shared<TStorageNode>();
        Build(root, *node);
        *ppstg = new TMemoryStorage(node, STGM_READWRITE | STGM_SHARE_EXCLUSIVE, "Root Entry");
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}
