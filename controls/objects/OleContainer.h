#pragma once

// Embedded objects inside a QTextDocument: each is one object character whose format names an
// entry of the document's object table; the table's handler sizes it by the object's extent and
// draws it through the object's view object.

#include "platform/com/Com.h"

#include <QObject>
#include <QPointer>
#include <QTextObjectInterface>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <vector>

class QMimeData;
class QTextCursor;
class QTextDocument;
class QTextEdit;

/// The objects of one document (shared with the copies made for printing).
class TOleObjectTable {
public:
    TOleObjectTable() = default;
    TOleObjectTable(const TOleObjectTable&) = delete;
    TOleObjectTable& operator=(const TOleObjectTable&) = delete;
    ~TOleObjectTable();

    /// Takes a reference to both; returns the entry's number.
    int Add(IOleObject* object, IStorage* storage);
    IOleObject* Object(int id) const;
    IStorage* Storage(int id) const;
    /// Closes and releases every entry whose number is not in live.
    void Retain(const std::set<int>& live);
    /// The entries held.
    std::size_t Count() const { return FEntries.size(); }

private:
    struct TEntry {
        IOleObject* Object = nullptr;
        IStorage* Storage = nullptr;
    };
    std::map<int, TEntry> FEntries;
    int FLastId = 0;
};

class TOleContainer final : public QObject, public QTextObjectInterface {
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)

public:
    static constexpr int ObjectFormatType = QTextFormat::UserObject + 0x51;
    static constexpr int ObjectIdProperty = QTextFormat::UserProperty + 0x51;

    /// The container of a document, made and registered on first use.
    static TOleContainer* Of(QTextDocument* document);
    /// Lets a copy of a document (for printing) draw the same objects.
    static void ShareObjects(const QTextDocument& source, QTextDocument& copy);
    /// Names the file the document was read from (empty: none), against which the objects in it take
    /// their relative links.
    static void SetDocumentFile(QTextDocument& document, const QString& fileName);

    /// The control showing the document: its callback decides what may come in, its selection is drawn.
    void SetEditor(QTextEdit* editor, IRichEditOleCallback* callback);
    IRichEditOleCallback* Callback() const { return FCallback; }

    /// Inserts an object character for the object at the cursor (replacing its selection).
    void Insert(QTextCursor& cursor, IOleObject* object, IStorage* storage);
    /// Makes the object a storage holds (through its registered class) and inserts it, when the
    /// control's callback allows an object. False when nothing was inserted.
    bool InsertFromStorage(QTextCursor& cursor, IStorage* source);

    /// The object whose character is at the position; nullptr for any other character.
    IOleObject* ObjectAt(int position) const;
    /// The object of a character format; nullptr when it is no object's.
    IOleObject* ObjectOf(const QTextFormat& format) const;
    /// Runs the object's primary verb; false when there is no object at the position.
    bool Open(int position) const;
    /// The objects held for the document: those its text holds, and while it can undo or redo, those
    /// its history may bring back.
    std::size_t ObjectCount() const { return FTable->Count(); }

    QSizeF intrinsicSize(QTextDocument* doc, int posInDocument, const QTextFormat& format) override;
    void drawObject(QPainter* painter, const QRectF& rect, QTextDocument* doc, int posInDocument,
                    const QTextFormat& format) override;

private:
    explicit TOleContainer(QTextDocument* document, std::shared_ptr<TOleObjectTable> table);
    ~TOleContainer() override;

    class TViewSink;
    class TObjectSite;
    void WatchView(IOleObject* object);
    void ReleaseSoon();
    void ReleaseObjectsGone();

    QTextDocument* FDocument;
    IOleClientSite* FSite; // every object's in this document; names the document's file
    std::shared_ptr<TOleObjectTable> FTable;
    QPointer<QTextEdit> FEditor;
    IRichEditOleCallback* FCallback = nullptr; // the editor's; lives as long as the editor
    std::vector<IAdviseSink*> FSinks;
    bool FReleasePending = false;
};

/// The MIME type carrying a registered clipboard format between our controls.
QString MimeTypeOf(CLIPFORMAT format);
/// Puts the object's clipboard data (each format its data object gives) into the MIME data.
void PutObjectData(IOleObject* object, QMimeData& data);
/// The object's storage as a compound file, as the "Embedded Object" format carries it; empty when the
/// object cannot give it.
QByteArray ObjectStorageBytes(IOleObject* object);
/// True when the MIME data carries an embedded object.
bool HasObjectData(const QMimeData& data);
/// The storage of the embedded object in the MIME data; nullptr when there is none or it is damaged.
IStorage* ObjectStorageOf(const QMimeData& data);
