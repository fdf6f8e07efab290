#pragma once

#include "controls/richtext/qvtext.h"

#include <QColor>
#include <QFont>
#include <QString>

#include <functional>
#include <stdexcept>

class QTextBlockFormat;
class QTextCharFormat;
class QTextCursor;

/// The text colour that follows the system window-text colour (the invalid colour).
inline const QColor clWindowText{};

/// Font styles, combined as a set.
enum TFontStyle : unsigned { fsBold = 0x1, fsItalic = 0x2, fsUnderline = 0x4, fsStrikeOut = 0x8 };
using TFontStyles = unsigned;

enum TFontPitch { fpDefault, fpVariable, fpFixed };

/// The error Assign raises for a pair of kinds it cannot copy between.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// The base of objects that copy themselves from one another with Assign.
class TPersistent {
public:
    virtual ~TPersistent() = default;
    virtual QString ClassName() const = 0;
    /// Copies source into this object; raises EConvertError when neither side knows the other.
    virtual void Assign(const TPersistent& source);
    /// Copies this object into dest; raises EConvertError for a kind it does not know.
    virtual void AssignTo(TPersistent& dest) const;

protected:
    TPersistent() = default;
    TPersistent(const TPersistent&) = default;
    TPersistent& operator=(const TPersistent&) = default;
    [[noreturn]] void AssignError(const TPersistent* source) const;
};

/// A font as the control library speaks of it: colour, name, style, size in points and pitch.
class TFont final : public TPersistent {
public:
    TFont() = default;
    explicit TFont(const QFont& font, const QColor& color = clWindowText);

    QColor Color = clWindowText;
    QString Name;
    int Size = 0;
    TFontStyles Style = 0;
    TFontPitch Pitch = fpDefault;

    QString ClassName() const override { return QStringLiteral("TFont"); }
    void Assign(const TPersistent& source) override;
    /// The Qt font of these values (the colour is not part of it).
    QFont ToQFont() const;
};

/// The character format of a rich text control's selection (Selection) or of its default text
/// (DefaultText). Without a control (or while it is being created) reads give the zero record:
/// black, no name, no style, size 0, default pitch; writes do nothing.
class TTextAttributes final : public TPersistent {
public:
    enum TAttributeType { Selection, DefaultText };

    TTextAttributes(TQvEdit* owner, TAttributeType attributeType);

    TAttributeType AttributeType() const { return FType; }

    QColor Color() const;
    void SetColor(const QColor& value);
    /// The face name, at most 31 characters.
    QString Name() const;
    void SetName(const QString& value);
    TFontStyles Style() const;
    void SetStyle(TFontStyles value);
    /// Whole points (truncated).
    int Size() const;
    void SetSize(int value);
    TFontPitch Pitch() const;
    void SetPitch(TFontPitch value);

    QString ClassName() const override { return QStringLiteral("TTextAttributes"); }
    void Assign(const TPersistent& source) override;
    void AssignTo(TPersistent& dest) const override;

    static constexpr int MaxNameLength = 31;

private:
    bool HasWindow() const;
    QTextCharFormat Read() const;
    void Write(const QTextCharFormat& format);
    void MirrorIntoFont(const QFont& changes, bool family, bool size, bool pitch);

    TQvEdit* FOwner;
    TAttributeType FType;
};

/// The paragraph format of the selected paragraphs (all of them in plain-text mode). Indents and tab
/// stops are in points. Without a control reads give the zero record and writes do nothing.
class TParaAttributes final : public TPersistent {
public:
    enum TNumbering { NumberingNone = 0, NumberingBullet = 1 };
    static constexpr int MaxTabs = 32;

    explicit TParaAttributes(TQvEdit* owner);

    TQvEdit::TAlignment Alignment() const;
    void SetAlignment(TQvEdit::TAlignment value);
    /// Where the first line starts.
    int FirstIndent() const;
    void SetFirstIndent(int value);
    /// Where the following lines start, relative to the first line.
    int LeftIndent() const;
    void SetLeftIndent(int value);
    int RightIndent() const;
    void SetRightIndent(int value);
    TNumbering Numbering() const;
    void SetNumbering(TNumbering value);
    /// Tab stop index (0..31), measured from the left edge; 0 past the last one set.
    int Tab(int index) const;
    void SetTab(int index, int value);
    int TabCount() const;

    QString ClassName() const override { return QStringLiteral("TParaAttributes"); }
    void Assign(const TPersistent& source) override;

private:
    bool HasWindow() const;
    QTextCursor Cursor() const;
    QTextBlockFormat Read() const;
    /// Changes the format of every paragraph the write applies to.
    void Write(const std::function<void(QTextBlockFormat& format)>& change);

    TQvEdit* FOwner;
};
