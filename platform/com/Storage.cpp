#include "platform/com/Storage.h"

#include "platform/com/StorageNodes.h"
#include "platform/com/StorageTree.h"

#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <variant>

using StorageNodes::CanWrite;
using StorageNodes::TElement;
using StorageNodes::TMemoryStream;
using StorageNodes::TStorageNode;
using StorageNodes::TStreamNode;

namespace {

constexpr std::size_t MaxNameLength = 31; // what a compound-file directory entry holds

bool ValidName(const char* name)
{
    if (name == nullptr) {
        return false;
    }
    const std::size_t length = std::strlen(name);
    return length > 0 && length <= MaxNameLength && std::strpbrk(name, "/\\:!") == nullptr;
}

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
