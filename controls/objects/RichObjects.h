#pragma once

// The three kinds of embeddable objects: a link to a file, an icon with a caption, a web link.

#include "controls/objects/QvOle.h"

#include <QByteArray>
#include <QImage>

/// An icon as kept in object data: its bytes in the ICO format and the picture they hold.
class TIcon {
public:
    bool Empty() const { return FIco.isEmpty(); }
    const QByteArray& Ico() const { return FIco; }
    const QImage& Image() const { return FImage; }
    QSize Size() const { return FImage.size(); }
    /// Takes ICO bytes; false (icon unchanged) when they hold no picture.
    bool LoadFromIco(const QByteArray& ico);
    /// Takes a picture, kept as ICO bytes; false when it cannot be written so.
    bool Assign(const QImage& image);
    void Clear();

private:
    QByteArray FIco;
    QImage FImage;
};

/// A link to a file: its icon above its file name; opening it opens the file.
class TFileLink final : public THostedOle {
public:
    static std::unique_ptr<THostedOle> New() { return std::make_unique<TFileLink>(); }
    static const CLSID ClassID;

    /// The path as stored (8-bit text); a relative path is taken from the folder of the document
    /// that holds the link.
    QByteArray Path;
    TIcon Icon;

    CLSID GetClassID() const override { return ClassID; }
    std::string GetUserType() const override;
    std::string GetProgID() const override;
    std::unique_ptr<THostedOle> Create() const override { return New(); }
    void Draw(DWORD aspect, const QRect& rect, QPainter& canvas) override;
    bool SaveToStream(IStream* stream) override;
    bool LoadFromStream(IStream* stream) override;
    /// Opens the file with the desktop's opener. A file that is not there, or that no program opens,
    /// is reported in a box and answered with STG_E_FILENOTFOUND (STG_E_ACCESSDENIED) or E_FAIL.
    HRESULT DoVerb(std::int32_t verb) override;
    QString ClassName() const override { return QStringLiteral("TFileLink"); }
    QSize NaturalSize() const override;

    /// The file name part of Path, as shown.
    QString FileName() const;
    /// The path handed to the desktop's opener.
    QString FullPath() const;
};

/// An icon, or in its place a caption; opening it asks for a new caption.
class TIconOle final : public THostedOle {
public:
    static std::unique_ptr<THostedOle> New() { return std::make_unique<TIconOle>(); }
    static const CLSID ClassID;

    QByteArray Caption;
    TIcon Icon;
    bool ShowIcon() const { return FShowIcon; }
    /// A change calls Changed.
    void SetShowIcon(bool value);

    CLSID GetClassID() const override { return ClassID; }
    std::string GetUserType() const override;
    std::string GetProgID() const override;
    std::unique_ptr<THostedOle> Create() const override { return New(); }
    void Draw(DWORD aspect, const QRect& rect, QPainter& canvas) override;
    bool SaveToStream(IStream* stream) override;
    bool LoadFromStream(IStream* stream) override;
    HRESULT DoVerb(std::int32_t verb) override;
    QString ClassName() const override { return QStringLiteral("TIconOle"); }
    QSize NaturalSize() const override;

private:
    bool FShowIcon = false;
};

/// A web address; opening it starts the desktop's handler for it.
class TWebLink final : public THostedOle {
public:
    static std::unique_ptr<THostedOle> New() { return std::make_unique<TWebLink>(); }
    static const CLSID ClassID;

    QByteArray URL;

    CLSID GetClassID() const override { return ClassID; }
    std::string GetUserType() const override;
    std::string GetProgID() const override;
    std::unique_ptr<THostedOle> Create() const override { return New(); }
    void Draw(DWORD aspect, const QRect& rect, QPainter& canvas) override;
    bool SaveToStream(IStream* stream) override;
    bool LoadFromStream(IStream* stream) override;
    HRESULT DoVerb(std::int32_t verb) override;
    QString ClassName() const override { return QStringLiteral("TWebLink"); }
    QSize NaturalSize() const override;
};

/// The kind for a class identifier, or nullptr when it is not one of ours.
THostedOleClass RichObjectKind(const CLSID& clsid);

/// Start-up: registers the class factories of TIconOle, TFileLink and TWebLink and, when missing,
/// their class keys (saved at once).
void RegisterRichObjects();
/// Exit: frees the factories, which revokes their registrations.
void RevokeRichObjects();
