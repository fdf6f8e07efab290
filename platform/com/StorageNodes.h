#pragma once

// The in-memory storage's tree: its nodes, the access modes, and the stream object over a stream
// node. Shared by Storage.cpp (storages) and StorageStreams.cpp (streams).

#include "platform/com/Com.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace StorageNodes {

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

inline bool CanWrite(DWORD mode)
{
    return (mode & 3) == STGM_WRITE || (mode & 3) == STGM_READWRITE;
}

inline bool CanRead(DWORD mode)
{
    return (mode & 3) == STGM_READ || (mode & 3) == STGM_READWRITE;
}

class TMemoryStream final : public TUnknownOf<TMemoryStream, IStream, IID_IStream> {
public:
    TMemoryStream(std::shared_ptr<TStreamNode> node, DWORD mode, std::string name);

    HRESULT Read(void* pv, ULONG cb, ULONG* pcbRead) override;
    HRESULT Write(const void* pv, ULONG cb, ULONG* pcbWritten) override;
    HRESULT Seek(std::int64_t dlibMove, DWORD dwOrigin, std::uint64_t* plibNewPosition) override;
    HRESULT SetSize(std::uint64_t libNewSize) override;
    HRESULT CopyTo(IStream* pstm, std::uint64_t cb, std::uint64_t* pcbRead,
                   std::uint64_t* pcbWritten) override;
    HRESULT Commit(DWORD) override { return S_OK; }
    HRESULT Revert() override { return S_OK; }
    HRESULT LockRegion(std::uint64_t, std::uint64_t, DWORD) override { return STG_E_INVALIDFUNCTION; }
    HRESULT UnlockRegion(std::uint64_t, std::uint64_t, DWORD) override { return STG_E_INVALIDFUNCTION; }
    HRESULT Stat(STATSTG* pstatstg, DWORD grfStatFlag) override;
    HRESULT Clone(IStream** ppstm) override;

private:
    friend TUnknownOf; // the last Release deletes
    ~TMemoryStream() { --FNode->OpenCount; }

    std::shared_ptr<TStreamNode> FNode;
    DWORD FMode;
    std::string FName;
    std::uint64_t FPosition = 0;
};

} // namespace StorageNodes
