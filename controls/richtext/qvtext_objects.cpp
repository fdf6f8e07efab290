#include "controls/richtext/qvtext_objects.h"

#include "controls/objects/OleContainer.h"
#include "controls/objects/QvOle.h"
#include "controls/richtext/EditOleCallback.h"
#include "controls/richtext/qvtext.h"
#include "platform/com/Storage.h"

#include <QDataStream>
#include <QMimeData>
#include <QStringList>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>

#include <vector>

TQvEditObjects::TQvEditObjects(TQvEdit& edit)
    : FEdit(edit)
    , FCallback(new TEditOLECallBack(edit))
{
    TOleContainer::Of(edit.document())->SetEditor(&edit, FCallback);
}

TQvEditObjects::~TQvEditObjects()
{
    Container()->SetEditor(nullptr, nullptr);
    FCallback->Release();
}

TOleContainer* TQvEditObjects::Container() const
{
    return TOleContainer::Of(FEdit.document());
}

bool TQvEditObjects::CanInsert(const QMimeData& data) const
{
    if (!HasObjectData(data)) {
        return false;
    }
    CLIPFORMAT format = 0;
    FCallback->QueryAcceptData(nullptr, &format, 0, false, nullptr);
    return format != CF_TEXT && SUCCEEDED(FCallback->QueryInsertObject(nullptr, nullptr, FEdit.SelStart()));
}

bool TQvEditObjects::Insert(const QMimeData& data)
{
    if (!CanInsert(data)) {
        return false;
    }
    IStorage* storage = ObjectStorageOf(data);
    if (storage == nullptr) {
        return false;
    }
    QTextCursor cursor = FEdit.textCursor();
    const bool inserted = Container()->InsertFromStorage(cursor, storage);
    storage->Release();
    if (inserted) {
        FEdit.setTextCursor(cursor);
        FEdit.ensureCursorVisible();
    }
    return inserted;
}

namespace {

// The selection as pieces of HTML with the objects between them: piece, object, piece, ..., piece.
const QString FragmentMimeType = QStringLiteral("application/x-sifton-rich-fragment");
constexpr quint32 FragmentVersion = 1;
// Far more than a pane holds (each object takes a character); a larger count is damaged data.
constexpr qint32 MaxFragmentObjects = 1 << 16;

} // namespace

void TQvEditObjects::AddSelectedFragment(QMimeData& data) const
{
    const QTextCursor selection = FEdit.textCursor();
    QTextDocument* document = FEdit.document();
    QStringList pieces;
    QList<QByteArray> objects;
    int from = selection.selectionStart();
    const auto piece = [document](int start, int end) {
        QTextCursor cursor(document);
        cursor.setPosition(start);
        cursor.setPosition(end, QTextCursor::KeepAnchor);
        return start < end ? cursor.selection().toHtml() : QString();
    };
    for (int at = from; at < selection.selectionEnd(); ++at) {
        IOleObject* object = Container()->ObjectAt(at);
        if (object == nullptr) {
            continue;
        }
        const QByteArray bytes = ObjectStorageBytes(object);
        if (bytes.isEmpty()) {
            continue; // left out, as the HTML leaves it out
        }
        pieces << piece(from, at);
        objects << bytes;
        from = at + 1;
    }
    if (objects.isEmpty()) {
        return;
    }
    pieces << piece(from, selection.selectionEnd());
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << FragmentVersion << qint32(objects.size());
    for (qsizetype i = 0; i < objects.size(); ++i) {
        out << pieces[i] << objects[i];
    }
    out << pieces.back();
    data.setData(FragmentMimeType, bytes);
}

bool TQvEditObjects::InsertFragment(const QMimeData& data, int room)
{
    if (!data.hasFormat(FragmentMimeType)) {
        return false;
    }
    CLIPFORMAT format = 0;
    FCallback->QueryAcceptData(nullptr, &format, 0, false, nullptr);
    if (format == CF_TEXT || FAILED(FCallback->QueryInsertObject(nullptr, nullptr, FEdit.SelStart()))) {
        return false;
    }
    // The data may come from another program: every count and length is checked while it is read.
    QDataStream in(data.data(FragmentMimeType));
    in.setVersion(QDataStream::Qt_6_0);
    quint32 version = 0;
    qint32 count = 0;
    in >> version >> count;
    if (in.status() != QDataStream::Ok || version != FragmentVersion || count < 1 ||
        count > MaxFragmentObjects) {
        return false;
    }
    std::vector<QTextDocumentFragment> pieces;
    QList<QByteArray> objects;
    int characters = count;
    for (qint32 i = 0; i <= count; ++i) {
        QString html;
        in >> html;
        pieces.push_back(html.isEmpty() ? QTextDocumentFragment() : QTextDocumentFragment::fromHtml(html));
        characters += int(pieces.back().toPlainText().size());
        if (i < count) {
            QByteArray object;
            in >> object;
            objects << object;
        }
        if (in.status() != QDataStream::Ok || characters > room) {
            return false;
        }
    }
    QTextCursor cursor = FEdit.textCursor();
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    for (qint32 i = 0; i <= count; ++i) {
        if (!pieces[std::size_t(i)].isEmpty()) {
            cursor.insertFragment(pieces[std::size_t(i)]);
        }
        if (i == count) {
            break;
        }
        IStorage* storage = nullptr;
        const QByteArray& bytes = objects[i];
        if (SUCCEEDED(LoadFromCompoundFile(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                           static_cast<std::size_t>(bytes.size()), &storage))) {
            Container()->InsertFromStorage(cursor, storage); // a damaged object is left out
            storage->Release();
        }
    }
    cursor.endEditBlock();
    FEdit.setTextCursor(cursor);
    FEdit.ensureCursorVisible();
    return true;
}

int TQvEditObjects::SelectedObject() const
{
    const QTextCursor cursor = FEdit.textCursor();
    if (cursor.selectionEnd() - cursor.selectionStart() != 1) {
        return -1;
    }
    return Container()->ObjectAt(cursor.selectionStart()) != nullptr ? cursor.selectionStart() : -1;
}

void TQvEditObjects::AddSelectedObject(QMimeData& data) const
{
    const int position = SelectedObject();
    if (position >= 0) {
        PutObjectData(Container()->ObjectAt(position), data);
    }
}

bool TQvEditObjects::OpenAt(const QPoint& point)
{
    const int near = FEdit.cursorForPosition(point).position();
    for (const int position : {near, near - 1}) {
        IOleObject* object = Container()->ObjectAt(position);
        SIZEL extent;
        if (object == nullptr || FAILED(object->GetExtent(DVASPECT_CONTENT, &extent))) {
            continue;
        }
        QTextCursor cursor(FEdit.document());
        cursor.setPosition(position);
        const QRect caret = FEdit.cursorRect(cursor);
        const QSize size = HimetricToPixels(extent);
        if (point.x() < caret.left() || point.x() > caret.left() + size.width()) {
            continue;
        }
        cursor.setPosition(position + 1, QTextCursor::KeepAnchor);
        FEdit.setTextCursor(cursor);
        return Container()->Open(position);
    }
    return false;
}

bool TQvEditObjects::OpenSelected()
{
    const int position = SelectedObject();
    return position >= 0 && Container()->Open(position);
}
