#pragma once

// What TQvEdit does with embedded objects: its OLE callback, and objects coming in by paste or
// drop, going out by copy, and opened by double-click or Enter.

#include "platform/com/Com.h"

class QMimeData;
class QPoint;
class TQvEdit;
class TOleContainer;

class TQvEditObjects {
public:
    explicit TQvEditObjects(TQvEdit& edit);
    ~TQvEditObjects();
    TQvEditObjects(const TQvEditObjects&) = delete;
    TQvEditObjects& operator=(const TQvEditObjects&) = delete;

    IRichEditOleCallback* Callback() const { return FCallback; }
    TOleContainer* Container() const;

    /// True when the data holds an object the control would take.
    bool CanInsert(const QMimeData& data) const;
    /// Inserts the object the data holds, when the control takes objects; false to take its text instead.
    bool Insert(const QMimeData& data);
    /// Adds the object's own formats when the selection is exactly one object.
    void AddSelectedObject(QMimeData& data) const;
    /// When the selection holds objects, adds a format of our own that carries the selection with
    /// them, for a paste into a rich control (HTML, which other programs get, cannot hold them).
    void AddSelectedFragment(QMimeData& data) const;
    /// Inserts the selection that format carries, objects and all, when the control takes objects and
    /// has room for at most room characters; false to take the data's HTML or text instead.
    bool InsertFragment(const QMimeData& data, int room);
    /// Opens the object drawn under the point (viewport coordinates); false when there is none.
    bool OpenAt(const QPoint& point);
    /// Opens the object when the selection is exactly one object.
    bool OpenSelected();

private:
    /// The position of the object character when the selection is exactly that; -1 otherwise.
    int SelectedObject() const;

    TQvEdit& FEdit;
    IRichEditOleCallback* FCallback;
};
