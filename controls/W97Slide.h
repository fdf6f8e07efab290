#pragma once

#include <QColor>
#include <QWidget>

#include <functional>
#include <optional>

class QPainter;

/// A borderless grouping panel that paints every pixel of its area itself.
class TSwitchBox : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TSwitchBox)
    Q_PROPERTY(QColor Color READ Color WRITE SetColor RESET ResetColor)
    Q_PROPERTY(TAlignment Alignment READ Alignment WRITE SetAlignment)
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(TPanelBevel BevelOuter READ BevelOuter WRITE SetBevelOuter)
    Q_PROPERTY(bool ShowHint READ ShowHint WRITE SetShowHint)

public:
    enum TPanelBevel { bvNone, bvLowered, bvRaised };
    Q_ENUM(TPanelBevel)
    enum TAlignment { taLeftJustify, taRightJustify, taCenter };
    Q_ENUM(TAlignment)

    explicit TSwitchBox(QWidget* parent = nullptr);

    // Unset means the button-face colour of the current palette.
    QColor Color() const;
    void SetColor(const QColor& value);
    void ResetColor();
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment value);
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& value);
    TPanelBevel BevelOuter() const { return FBevelOuter; }
    void SetBevelOuter(TPanelBevel value);
    bool ShowHint() const { return FShowHint; }
    void SetShowHint(bool value) { FShowHint = value; }

    // Kept at the panel's initial values by the published interface; settable from code.
    TPanelBevel BevelInner() const { return FBevelInner; }
    void SetBevelInner(TPanelBevel value);
    int BevelWidth() const { return FBevelWidth; }
    void SetBevelWidth(int value);

protected:
    void paintEvent(QPaintEvent* event) override;
    // The rectangle the panel paints in; a size box leaves room for its border.
    virtual QRect PanelRect() const { return rect(); }
    virtual void PaintBorder(QPainter&) { }

private:
    std::optional<QColor> FColor;
    TAlignment FAlignment{taCenter};
    QString FCaption;
    TPanelBevel FBevelOuter{bvRaised};
    TPanelBevel FBevelInner{bvNone};
    int FBevelWidth{1};
    bool FShowHint{false};
};

/// The switch box with a selectable sunken border and a resize event.
class TQvSizeBox : public TSwitchBox {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TQvSizeBox)
    Q_PROPERTY(TBorderStyle BorderStyle READ BorderStyle WRITE SetBorderStyle)
    Q_PROPERTY(bool Ctl3D READ Ctl3D WRITE SetCtl3D)

public:
    enum TBorderStyle { bsNone, bsSingle };
    Q_ENUM(TBorderStyle)

    explicit TQvSizeBox(QWidget* parent = nullptr);

    TBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TBorderStyle value);
    bool Ctl3D() const { return FCtl3D; }
    void SetCtl3D(bool value);
    // The width of the sunken edge currently shown (0 when none).
    int EdgeWidth() const;

    std::function<void(QObject* Sender)> OnResize;

protected:
    void resizeEvent(QResizeEvent* event) override;
    QRect PanelRect() const override;
    void PaintBorder(QPainter& p) override;

private:
    TBorderStyle FBorderStyle{bsNone};
    bool FCtl3D{true};
};
