#pragma once

// Embedded objects in RTF: {\object\objemb ... {\*\objclass ...}{\*\objdata <hex>}{\result ...}}.
// The object data is an OLE 1.0 embedded-object header followed by the compound file that holds
// the object's storage.

#include "platform/com/Com.h"

#include <QByteArray>
#include <QByteArrayView>

#include <optional>
#include <string>
#include <vector>

class QTextCursor;

/// The parts of OLE 1.0 embedded-object data.
struct TOle1Object {
    std::uint32_t Version = 0x00000501;
    std::uint32_t FormatId = 2; ///< 2 embedded, 1 linked
    std::string ClassName;
    std::string TopicName;
    std::string ItemName;
    std::vector<std::uint8_t> NativeData;
};

/// Reads object data (the bytes the hex digits stand for); every length is checked against what
/// remains. Nothing when the data is damaged or is not an embedded object.
std::optional<TOle1Object> ParseOle1Object(QByteArrayView data);
/// The bytes of object data.
QByteArray WriteOle1Object(const TOle1Object& object);

/// The storage the object data holds (a new in-memory storage), or nullptr when the data is
/// damaged, is no embedded object, or names a class that is not one of ours.
IStorage* ReadObjectData(QByteArrayView data);

/// Collects one \object group while the RTF reader walks it.
class TRtfObjectGroup {
public:
    void Start();
    void SetEmbedded() { FEmbedded = true; }
    /// A byte of the \objdata destination: hex digits count, anything else is skipped.
    void DataByte(unsigned char b);
    /// Inserts the object at the cursor once; false when it cannot be shown (the \result shows instead).
    bool Insert(QTextCursor& cursor);
    bool Tried() const { return FTried; }

private:
    bool FEmbedded = false;
    bool FTried = false;
    QByteArray FData;
    int FHigh = -1; // the first digit of a byte, while the second is awaited
};

/// An \object group for the object, its \result the given RTF text (already escaped), as our writer
/// makes it for documents that ship with the program. Empty when the object cannot be saved.
QByteArray WriteRtfObject(IOleObject* object, const QByteArray& resultRtf);
