#include "controls/richtext/qvtext_objects.h"

#include "controls/objects/OleContainer.h"
#include "controls/objects/QvOle.h"
#include "controls/richtext/EditOleCallback.h"
#include "controls/richtext/qvtext.h"

#include <QMimeData>
#include <QTextCursor>
#include <QTextDocument>

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
