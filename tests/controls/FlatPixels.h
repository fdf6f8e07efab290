#pragma once

// Pixel probes for widget tests: a widget painted into an image, read back by position.

#include <QApplication>
#include <QImage>
#include <QWidget>

inline QImage Paint(QWidget& widget)
{
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

inline QColor At(const QImage& image, int x, int y)
{
    return image.pixelColor(x, y);
}

inline QColor Role(QPalette::ColorRole role)
{
    return QApplication::palette().color(QPalette::Active, role);
}

// Counts the pixels of one colour inside a rectangle of the image.
inline int CountColour(const QImage& image, const QRect& area, const QColor& colour)
{
    int n = 0;
    const QRect r = area & image.rect();
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            n += image.pixelColor(x, y) == colour ? 1 : 0;
        }
    }
    return n;
}
