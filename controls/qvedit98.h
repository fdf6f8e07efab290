#pragma once

#include <QColor>
#include <QLineEdit>

/// A single-line text field with the flat, hot-tracking frame; its height follows its font.
class TEdit98 : public QLineEdit {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TEdit98)
    Q_PROPERTY(bool AutoSelect READ AutoSelect WRITE SetAutoSelect)
    Q_PROPERTY(TEditCharCase CharCase READ CharCase WRITE SetCharCase)
    Q_PROPERTY(QColor Color READ Color WRITE SetColor)
    Q_PROPERTY(bool HideSelection READ HideSelection WRITE SetHideSelection)
    Q_PROPERTY(int MaxLength READ MaxLength WRITE SetMaxLength)
    Q_PROPERTY(bool OEMConvert READ OEMConvert WRITE SetOEMConvert)
    Q_PROPERTY(QString PasswordChar READ PasswordChar WRITE SetPasswordChar)
    Q_PROPERTY(bool ReadOnly READ ReadOnly WRITE SetReadOnly)
    Q_PROPERTY(QString Text READ text WRITE setText)
    Q_PROPERTY(bool ShowHint READ ShowHint WRITE SetShowHint)

public:
    enum TEditCharCase { ecNormal, ecUpperCase, ecLowerCase };
    Q_ENUM(TEditCharCase)

    // Pixels of the flat frame on every side.
    static constexpr int FrameWidth = 3;

    explicit TEdit98(QWidget* parent = nullptr);

    bool AutoSelect() const { return FAutoSelect; }
    void SetAutoSelect(bool value) { FAutoSelect = value; }
    TEditCharCase CharCase() const { return FCharCase; }
    void SetCharCase(TEditCharCase value);
    QColor Color() const;
    void SetColor(const QColor& value);
    bool HideSelection() const { return FHideSelection; }
    void SetHideSelection(bool value);
    int MaxLength() const { return FMaxLength; }
    void SetMaxLength(int value);
    bool OEMConvert() const { return FOEMConvert; }
    void SetOEMConvert(bool value) { FOEMConvert = value; }
    QString PasswordChar() const { return FPasswordChar; }
    void SetPasswordChar(const QString& value);
    bool ReadOnly() const { return isReadOnly(); }
    void SetReadOnly(bool value) { QLineEdit::setReadOnly(value); }
    bool ShowHint() const { return FShowHint; }
    void SetShowHint(bool value) { FShowHint = value; }

    bool Hot() const { return FMouseInside || hasFocus(); }
    // Height = the font's character height + 6.
    void AdjustHeight();

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    // Out of reach through this class: a call to the base's setter would bypass MaxLength.
    using QLineEdit::setMaxLength;

    void ApplySelectionColours();
    QString Cased(const QString& text) const;
    void ApplyCharCase();
    void PasteCased();

    bool FMouseInside{false};
    bool FAutoSelect{true};
    TEditCharCase FCharCase{ecNormal};
    bool FHideSelection{true};
    int FMaxLength{0};
    bool FOEMConvert{false};
    QString FPasswordChar;
    bool FShowHint{false};
};
