#include "controls/W97Slide.h"

#include "controls/FlatFrame.h"

#include <QFontMetrics>
#include <QPainter>

TSwitchBox::TSwitchBox(QWidget* parent)
    : QWidget(parent)
{
    // Every pixel comes from paintEvent, so the background is never erased first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
}

QColor TSwitchBox::Color() const
{
    return FColor.value_or(palette().color(QPalette::Button));
}

void TSwitchBox::SetColor(const QColor& value)
{
    FColor = value;
    update();
}

void TSwitchBox::ResetColor()
{
    FColor.reset();
    update();
}

void TSwitchBox::SetAlignment(TAlignment value)
{
    FAlignment = value;
    update();
}

void TSwitchBox::SetCaption(const QString& value)
{
    FCaption = value;
    update();
}

void TSwitchBox::SetBevelOuter(TPanelBevel value)
{
    FBevelOuter = value;
    update();
}

void TSwitchBox::SetBevelInner(TPanelBevel value)
{
    FBevelInner = value;
    update();
}

void TSwitchBox::SetBevelWidth(int value)
{
    FBevelWidth = qMax(1, value);
    update();
}

void TSwitchBox::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    PaintBorder(p);
    QRect r = PanelRect();
    const QColor light = palette().color(QPalette::Light);
    const QColor dark = palette().color(QPalette::Dark);
    for (TPanelBevel bevel : {FBevelOuter, FBevelInner}) {
        if (bevel == bvRaised) {
            FlatFrame::Frame3D(p, r, light, dark, FBevelWidth);
        } else if (bevel == bvLowered) {
            FlatFrame::Frame3D(p, r, dark, light, FBevelWidth);
        }
    }
    p.fillRect(r, Color());
    if (FCaption.isEmpty()) {
        return;
    }
    p.setFont(font());
    p.setPen(palette().color(QPalette::WindowText));
    int flags = Qt::TextExpandTabs;
    flags |= FAlignment == taLeftJustify    ? Qt::AlignLeft
             : FAlignment == taRightJustify ? Qt::AlignRight
                                            : Qt::AlignHCenter;
    const QFontMetrics metrics(font());
    if (metrics.horizontalAdvance(FCaption) <= r.width()) {
        p.drawText(r, flags | Qt::AlignVCenter | Qt::TextSingleLine, FCaption);
    } else {
        // Too wide for one line: break only where the caption itself does, from the top.
        p.setClipRect(r);
        p.drawText(r, flags | Qt::AlignTop, FCaption);
    }
}

TQvSizeBox::TQvSizeBox(QWidget* parent)
    : TSwitchBox(parent)
{
}

void TQvSizeBox::SetBorderStyle(TBorderStyle value)
{
    FBorderStyle = value;
    update();
}

void TQvSizeBox::SetCtl3D(bool value)
{
    FCtl3D = value;
    update();
}

int TQvSizeBox::EdgeWidth() const
{
    // A single border shows only as the sunken client edge, and only with the 3D look.
    return FBorderStyle == bsSingle && FCtl3D ? 2 : 0;
}

QRect TQvSizeBox::PanelRect() const
{
    const int edge = EdgeWidth();
    return rect().adjusted(edge, edge, -edge, -edge);
}

void TQvSizeBox::PaintBorder(QPainter& p)
{
    if (EdgeWidth() == 0) {
        return;
    }
    // The two-pixel sunken client edge: shadow outside, dark shadow inside.
    QRect r = rect();
    FlatFrame::Frame3D(p, r, palette().color(QPalette::Dark), palette().color(QPalette::Light));
    FlatFrame::Frame3D(p, r, palette().color(QPalette::Shadow), palette().color(QPalette::Button));
}

void TQvSizeBox::resizeEvent(QResizeEvent* event)
{
    TSwitchBox::resizeEvent(event);
    if (OnResize) {
        OnResize(this);
    }
}
