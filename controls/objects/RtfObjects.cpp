#include "controls/objects/RtfObjects.h"

#include "controls/objects/OleContainer.h"
#include "controls/objects/QvOle.h"
#include "controls/objects/RichObjects.h"
#include "platform/com/KeyStore.h"
#include "platform/com/Storage.h"

#include <QTextCursor>

namespace {

constexpr std::uint32_t EmbeddedFormatId = 2;
constexpr std::uint32_t MaxNameLength = 4096; // class, topic and item names are short

class TReader {
public:
    explicit TReader(QByteArrayView data)
        : FData(data)
    {
    }
    std::optional<std::uint32_t> Int32()
    {
        if (FData.size() - FAt < 4) {
            return std::nullopt;
        }
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            value |= static_cast<std::uint32_t>(static_cast<unsigned char>(FData[FAt++])) << (8 * i);
        }
        return value;
    }
    std::optional<QByteArrayView> Bytes(std::uint32_t count)
    {
        if (static_cast<qint64>(count) > static_cast<qint64>(FData.size() - FAt)) {
            return std::nullopt;
        }
        const QByteArrayView bytes = FData.sliced(FAt, static_cast<qsizetype>(count));
        FAt += static_cast<qsizetype>(count);
        return bytes;
    }
    /// A length-prefixed text; its length counts the terminating zero.
    std::optional<std::string> Text()
    {
        const auto length = Int32();
        if (!length || *length > MaxNameLength) {
            return std::nullopt;
        }
        const auto bytes = Bytes(*length);
        if (!bytes) {
            return std::nullopt;
        }
        std::string text(bytes->data(), static_cast<std::size_t>(bytes->size()));
        if (const auto zero = text.find('\0'); zero != std::string::npos) {
            text.resize(zero);
        }
        return text;
    }

private:
    QByteArrayView FData;
    qsizetype FAt = 0;
};

void PutInt32(QByteArray& out, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        out.append(static_cast<char>(value >> (8 * i)));
    }
}

void PutText(QByteArray& out, const std::string& text)
{
    PutInt32(out, static_cast<std::uint32_t>(text.size() + 1));
    out.append(text.data(), static_cast<qsizetype>(text.size()));
    out.append('\0');
}

int HexDigit(unsigned char c)
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

int HimetricToTwips(std::int32_t himetric)
{
    return static_cast<int>(static_cast<std::int64_t>(himetric) * 1440 / 2540);
}

} // namespace

std::optional<TOle1Object> ParseOle1Object(QByteArrayView data)
{
    TReader reader(data);
    TOle1Object object;
    const auto version = reader.Int32();
    const auto format = reader.Int32();
    if (!version || !format || *format != EmbeddedFormatId) {
        return std::nullopt;
    }
    object.Version = *version;
    object.FormatId = *format;
    auto className = reader.Text();
    auto topic = className ? reader.Text() : std::nullopt;
    auto item = topic ? reader.Text() : std::nullopt;
    const auto size = item ? reader.Int32() : std::nullopt;
    const auto native = size ? reader.Bytes(*size) : std::nullopt;
    if (!native) {
        return std::nullopt;
    }
    object.ClassName = std::move(*className);
    object.TopicName = std::move(*topic);
    object.ItemName = std::move(*item);
    object.NativeData.assign(native->begin(), native->end());
    return object;
}

QByteArray WriteOle1Object(const TOle1Object& object)
{
    QByteArray out;
    PutInt32(out, object.Version);
    PutInt32(out, object.FormatId);
    PutText(out, object.ClassName);
    PutText(out, object.TopicName);
    PutText(out, object.ItemName);
    PutInt32(out, static_cast<std::uint32_t>(object.NativeData.size()));
    out.append(reinterpret_cast<const char*>(object.NativeData.data()),
               static_cast<qsizetype>(object.NativeData.size()));
    return out;
}

IStorage* ReadObjectData(QByteArrayView data)
{
    const auto object = ParseOle1Object(data);
    if (!object) {
        return nullptr;
    }
    IStorage* storage = nullptr;
    if (FAILED(LoadFromCompoundFile(object->NativeData.data(), object->NativeData.size(), &storage))) {
        return nullptr;
    }
    CLSID clsid;
    if (FAILED(ReadClassStg(storage, &clsid)) || RichObjectKind(clsid) == nullptr) {
        storage->Release();
        return nullptr;
    }
    return storage;
}

// ---- the reader's side -----------------------------------------------------------------------------

void TRtfObjectGroup::Start()
{
    *this = TRtfObjectGroup();
}

void TRtfObjectGroup::DataByte(unsigned char b)
{
    const int digit = HexDigit(b);
    if (digit < 0) {
        return;
    }
    if (FHigh < 0) {
        FHigh = digit;
        return;
    }
    FData.append(static_cast<char>(FHigh << 4 | digit));
    FHigh = -1;
}

bool TRtfObjectGroup::Insert(QTextCursor& cursor)
{
    if (FTried) {
        return false;
    }
    FTried = true;
    if (!FEmbedded) {
        return false;
    }
    IStorage* storage = ReadObjectData(FData);
    if (storage == nullptr) {
        return false;
    }
    const bool inserted = TOleContainer::Of(cursor.document())->InsertFromStorage(cursor, storage);
    storage->Release();
    return inserted;
}

// ---- the writer ------------------------------------------------------------------------------------

QByteArray WriteRtfObject(IOleObject* object, const QByteArray& resultRtf)
{
    IPersistStorage* persist = nullptr;
    if (object == nullptr ||
        FAILED(object->QueryInterface(IID_IPersistStorage, reinterpret_cast<void**>(&persist)))) {
        return {};
    }
    IStorage* storage = nullptr;
    std::vector<std::uint8_t> file;
    HRESULT hr = StgCreateMemoryStorage(&storage);
    if (SUCCEEDED(hr)) {
        hr = OleSave(persist, storage, false);
        persist->SaveCompleted(nullptr);
    }
    if (SUCCEEDED(hr)) {
        hr = SaveToCompoundFile(storage, file);
    }
    SafeRelease(storage);
    CLSID clsid;
    persist->GetClassID(&clsid);
    persist->Release();
    if (FAILED(hr)) {
        return {};
    }
    const std::string progId = ProgIDFromCLSID(clsid).value_or(std::string());
    TOle1Object ole1;
    ole1.ClassName = progId;
    ole1.NativeData = std::move(file);
    const QByteArray hex = WriteOle1Object(ole1).toHex();
    SIZEL extent;
    object->GetExtent(DVASPECT_CONTENT, &extent);

    QByteArray rtf = "{\\object\\objemb\\objw" + QByteArray::number(HimetricToTwips(extent.cx)) + "\\objh" +
                     QByteArray::number(HimetricToTwips(extent.cy));
    if (!progId.empty()) {
        rtf += "{\\*\\objclass " + QByteArray::fromStdString(progId) + "}";
    }
    rtf += "{\\*\\objdata\r\n";
    for (qsizetype at = 0; at < hex.size(); at += 128) {
        rtf += hex.mid(at, 128) + "\r\n";
    }
    rtf += "}{\\result " + resultRtf + "}}";
    return rtf;
}
