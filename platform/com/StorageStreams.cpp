// Streams: the in-memory stream object, and reading and writing through any stream.

#include "platform/com/Storage.h"
#include "platform/com/StorageNodes.h"

#include <algorithm>
#include <cstring>
#include <new>

using StorageNodes::TMemoryStream;
using StorageNodes::TStreamNode;

namespace StorageNodes {

TMemoryStream::TMemoryStream(std::shared_ptr<TStreamNode> node, DWORD mode, std::string name)
    : FNode(std::move(node))
    , FMode(mode)
    , FName(std::move(name))
{
    ++FNode->OpenCount;
}

HRESULT TMemoryStream::Read(void* pv, ULONG cb, ULONG* pcbRead)
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

HRESULT TMemoryStream::Write(const void* pv, ULONG cb, ULONG* pcbWritten)
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

HRESULT TMemoryStream::Seek(std::int64_t dlibMove, DWORD dwOrigin, std::uint64_t* plibNewPosition)
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

HRESULT TMemoryStream::SetSize(std::uint64_t libNewSize)
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

HRESULT TMemoryStream::CopyTo(IStream* pstm, std::uint64_t cb, std::uint64_t* pcbRead,
                              std::uint64_t* pcbWritten)
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

HRESULT TMemoryStream::Stat(STATSTG* pstatstg, DWORD grfStatFlag)
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

HRESULT TMemoryStream::Clone(IStream** ppstm)
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

} // namespace StorageNodes

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
