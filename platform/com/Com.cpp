#include "platform/com/Com.h"

#include <cstdio>
#include <mutex>

namespace {

int HexValue(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Reads 2 * bytes hex digits at text[at]; nothing when one is not a hex digit.
std::optional<std::uint32_t> HexField(std::string_view text, std::size_t at, int bytes)
{
    std::uint32_t value = 0;
    for (int i = 0; i < 2 * bytes; ++i) {
        const int digit = HexValue(text[at + static_cast<std::size_t>(i)]);
        if (digit < 0) {
            return std::nullopt;
        }
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    return value;
}

std::mutex FormatLock;
std::vector<std::string> FormatNames; // guarded by FormatLock; index + 0xC000 is the format
constexpr CLIPFORMAT FirstRegisteredFormat = 0xC000;

} // namespace

std::string GuidToString(const GUID& guid)
{
    char text[39];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.Data1,
                  guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3],
                  guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return text;
}

std::optional<GUID> GuidFromString(std::string_view text)
{
    if (text.size() != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' || text[14] != '-' ||
        text[19] != '-' || text[24] != '-') {
        return std::nullopt;
    }
    GUID guid;
    const auto d1 = HexField(text, 1, 4);
    const auto d2 = HexField(text, 10, 2);
    const auto d3 = HexField(text, 15, 2);
    if (!d1 || !d2 || !d3) {
        return std::nullopt;
    }
    guid.Data1 = *d1;
    guid.Data2 = static_cast<std::uint16_t>(*d2);
    guid.Data3 = static_cast<std::uint16_t>(*d3);
    static constexpr std::size_t at[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        const auto b = HexField(text, at[i], 1);
        if (!b) {
            return std::nullopt;
        }
        guid.Data4[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(*b);
    }
    return guid;
}

std::array<std::uint8_t, 16> GuidToBytes(const GUID& guid)
{
    std::array<std::uint8_t, 16> bytes{};
    for (int i = 0; i < 4; ++i) {
        bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(guid.Data1 >> (8 * i));
    }
    bytes[4] = static_cast<std::uint8_t>(guid.Data2);
    bytes[5] = static_cast<std::uint8_t>(guid.Data2 >> 8);
    bytes[6] = static_cast<std::uint8_t>(guid.Data3);
    bytes[7] = static_cast<std::uint8_t>(guid.Data3 >> 8);
    for (std::size_t i = 0; i < 8; ++i) {
        bytes[8 + i] = guid.Data4[i];
    }
    return bytes;
}

GUID GuidFromBytes(const std::uint8_t* bytes)
{
    GUID guid;
    guid.Data1 = static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
                 static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
    guid.Data2 = static_cast<std::uint16_t>(bytes[4] | bytes[5] << 8);
    guid.Data3 = static_cast<std::uint16_t>(bytes[6] | bytes[7] << 8);
    for (std::size_t i = 0; i < 8; ++i) {
        guid.Data4[i] = bytes[8 + i];
    }
    return guid;
}

HGLOBAL GlobalAlloc(std::size_t size)
{
    auto* memory = new TGlobalMemory;
    memory->Bytes.resize(size);
    return memory;
}

void GlobalFree(HGLOBAL memory)
{
    delete memory;
}

void ReleaseStgMedium(STGMEDIUM& medium)
{
    switch (medium.tymed) {
    case TYMED_HGLOBAL:
        if (medium.pUnkForRelease == nullptr) {
            GlobalFree(medium.hGlobal);
        }
        break;
    case TYMED_ISTORAGE:
        SafeRelease(medium.pstg);
        break;
    case TYMED_ISTREAM:
        SafeRelease(medium.pstm);
        break;
    default:
        break;
    }
    medium.hGlobal = nullptr;
    SafeRelease(medium.pUnkForRelease);
    medium.tymed = TYMED_NULL;
}

CLIPFORMAT RegisterClipboardFormat(const std::string& name)
{
    const std::lock_guard lock(FormatLock);
    for (std::size_t i = 0; i < FormatNames.size(); ++i) {
        if (FormatNames[i] == name) {
            return static_cast<CLIPFORMAT>(FirstRegisteredFormat + i);
        }
    }
    FormatNames.push_back(name);
    return static_cast<CLIPFORMAT>(FirstRegisteredFormat + FormatNames.size() - 1);
}

std::string ClipboardFormatName(CLIPFORMAT format)
{
    const std::lock_guard lock(FormatLock);
    if (format < FirstRegisteredFormat ||
        format - FirstRegisteredFormat >= static_cast<int>(FormatNames.size())) {
        return {};
    }
    return FormatNames[format - FirstRegisteredFormat];
}

namespace {

class TFileMoniker final : public TUnknownOf<TFileMoniker, IMoniker, IID_IMoniker> {
public:
    explicit TFileMoniker(std::string path)
        : FPath(std::move(path))
    {
    }
    HRESULT GetDisplayName(std::string* ppszDisplayName) override
    {
        if (ppszDisplayName == nullptr) {
            return E_POINTER;
        }
        *ppszDisplayName = FPath;
        return S_OK;
    }

private:
    friend TUnknownOf; // the last Release deletes
    ~TFileMoniker() = default;
    std::string FPath;
};

} // namespace

HRESULT CreateFileMoniker(const std::string& lpszPathName, IMoniker** ppmk)
{
    if (ppmk == nullptr) {
        return E_POINTER;
    }
    *ppmk = nullptr;
    if (lpszPathName.empty()) {
        return E_INVALIDARG;
    }
    *ppmk = new TFileMoniker(lpszPathName);
    return S_OK;
}
