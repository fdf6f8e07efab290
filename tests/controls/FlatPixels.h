#pragma once

// Pixel probes for widget tests: a widget painted into an image, read back by position.

#include <QApplication>
#include <QImage>
#include <QWidget>

inline QImage Paint(QWidget& widget)
{
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Colours compare as 8-bit RGB: palette colours may carry more precision than a pixel.
inline QColor At(const QImage& image, int x, int y)
{
    return QColor::fromRgb(image.pixel(x, y) & 0xFFFFFF);
}

inline QColor Role(QPalette::ColorRole role)
{
    return QColor::fromRgb(QApplication::palette().color(QPalette::Active, role).rgb() & 0xFFFFFF);
}

// Counts the pixels of one colour inside a rectangle of the image.
inline int CountColour(const QImage& image, const QRect& area, const QColor& colour)
{
    int n = 0;
    const QRect r = area & image.rect();
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            n += (image.pixel(x, y) & 0xFFFFFF) == (colour.rgb() & 0xFFFFFF) ? 1 : 0;
        }
    }
    return n;
}

// Counts the pixels within `tolerance` of a colour on each channel (antialiased text).
inline int CountNear(const QImage& image, const QRect& area, const QColor& colour, int tolerance = 60)
{
    int n = 0;
    const QRect r = area & image.rect();
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            n += qAbs(c.red() - colour.red()) <= tolerance && qAbs(c.green() - colour.green()) <= tolerance
                    && qAbs(c.blue() - colour.blue()) <= tolerance
                ? 1
                : 0;
        }
    }
    return n;
}
