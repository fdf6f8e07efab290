#pragma once

// Probes for the flat controls' tests: the mouse sent in and out, a widget painted into an image and
// read back by position.

#include <QApplication>
#include <QEnterEvent>
#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

inline void Enter(QWidget& w)
{
    QEnterEvent event(QPointF(2, 2), QPointF(2, 2), w.mapToGlobal(QPointF(2, 2)));
    QApplication::sendEvent(&w, &event);
}

inline void Leave(QWidget& w)
{
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(&w, &event);
}

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
            n += qAbs(c.red() - colour.red()) <= tolerance && qAbs(c.green() - colour.green()) <= tolerance &&
                         qAbs(c.blue() - colour.blue()) <= tolerance
                     ? 1
                     : 0;
        }
    }
    return n;
}

// The flat look's rings, probed at column x and the middle row: ring 1 sunken (shadow top-left,
// highlight bottom-right) when hot and face otherwise; ring 2 face; ring 3 window.
inline void ExpectFlatRings(QWidget& w, bool hot, int x)
{
    const QImage image = Paint(w);
    const int midY = w.height() / 2;
    const int r = w.width() - 1;
    const int b = w.height() - 1;
    const QColor face = Role(QPalette::Button);
    EXPECT_EQ(At(image, x, 0), hot ? Role(QPalette::Dark) : face);
    EXPECT_EQ(At(image, 0, midY), hot ? Role(QPalette::Dark) : face);
    EXPECT_EQ(At(image, x, b), hot ? Role(QPalette::Light) : face);
    EXPECT_EQ(At(image, r, midY), hot ? Role(QPalette::Light) : face);
    EXPECT_EQ(At(image, x, 1), face);
    EXPECT_EQ(At(image, 1, midY), face);
    EXPECT_EQ(At(image, x, b - 1), face);
    EXPECT_EQ(At(image, x, 2), Role(QPalette::Base));
    EXPECT_EQ(At(image, 2, midY), Role(QPalette::Base));
    EXPECT_EQ(At(image, x, b - 2), Role(QPalette::Base));
}
