#pragma once

#include <QColor>
#include <QRect>

class QPainter;
class QPalette;

/// One-pixel 3D frames and the flat look's three rings, shared by the flat controls.
namespace FlatFrame {

// Draws a frame of `width` pixels around r (top and left in topLeft, bottom and right in
// bottomRight, the two far corners in bottomRight) and moves r inside it.
void Frame3D(QPainter& p, QRect& r, const QColor& topLeft, const QColor& bottomRight, int width = 1);

// Ring 1 is a one-pixel sunken edge when hot and `face` otherwise; ring 2 `face`; ring 3 `window`.
void PaintRings(QPainter& p, const QRect& bounds, bool hot, const QColor& face, const QColor& window,
                const QPalette& palette);

} // namespace FlatFrame
