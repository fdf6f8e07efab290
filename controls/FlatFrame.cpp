#include "controls/FlatFrame.h"

#include <QPainter>
#include <QPalette>

namespace FlatFrame {

void Frame3D(QPainter& p, QRect& r, const QColor& topLeft, const QColor& bottomRight, int width)
{
    for (int i = 0; i < width && r.width() > 0 && r.height() > 0; ++i) {
        p.setPen(topLeft);
        p.drawLine(r.left(), r.bottom(), r.left(), r.top());
        p.drawLine(r.left(), r.top(), r.right(), r.top());
        p.setPen(bottomRight);
        p.drawLine(r.right(), r.top(), r.right(), r.bottom());
        p.drawLine(r.right(), r.bottom(), r.left(), r.bottom());
        r.adjust(1, 1, -1, -1);
    }
}

static void FrameRect(QPainter& p, const QRect& r, const QColor& colour)
{
    p.setPen(colour);
    p.setBrush(Qt::NoBrush);
    p.drawRect(r.adjusted(0, 0, -1, -1));
}

void PaintRings(QPainter& p, const QRect& bounds, bool hot, const QColor& face, const QColor& window,
                const QPalette& palette)
{
    QRect r = bounds;
    p.save();
    if (hot) {
        Frame3D(p, r, palette.color(QPalette::Dark), palette.color(QPalette::Light));
    } else {
        FrameRect(p, r, face);
        r.adjust(1, 1, -1, -1);
    }
    FrameRect(p, r, face);
    r.adjust(1, 1, -1, -1);
    FrameRect(p, r, window);
    p.restore();
}

} // namespace FlatFrame
