#pragma once

// The object server side of embedded objects: TQvOle is the object a container holds, built from a
// hosted kind (THostedOle) that knows how to draw, store and run itself, and three companions that
// answer the view, storage and data questions on its behalf.

#include "platform/com/Com.h"

#include <QRect>
#include <QString>

#include <memory>
#include <string>

class QPainter;
class TQvOle;
class TMyDataObject;

/// The screen's pixels per inch (horizontal, vertical), read once; 96 without a screen.
QPointF ScreenPixelsPerInch();
/// The largest extent either way, in hundredths of a millimetre: 22 inches, the widest page the
/// layout takes, as the rich text's own measurements are held to.
inline constexpr std::int32_t MaxExtentHimetric = 22 * 2540;
/// A natural size in pixels as an extent in hundredths of a millimetre, each side within
/// 0..MaxExtentHimetric (a link of 200,000 characters is millions of pixels wide).
SIZEL PixelsToHimetric(const QSize& pixels);
/// An extent in hundredths of a millimetre as pixels on this screen, each side taken within
/// 0..MaxExtentHimetric.
QSize HimetricToPixels(const SIZEL& extent);

/// The base of the embeddable kinds: what a kind is, how it draws, stores and runs itself.
class THostedOle {
public:
    THostedOle() = default;
    THostedOle(const THostedOle&) = delete;
    THostedOle& operator=(const THostedOle&) = delete;
    virtual ~THostedOle() = default;

    /// The TQvOle hosting this object; set once ("Can not change owner" when set again).
    TQvOle* Owner() const { return FOwner; }
    void SetOwner(TQvOle* owner);

    virtual CLSID GetClassID() const = 0;
    virtual std::string GetUserType() const = 0;
    virtual std::string GetProgID() const = 0;
    /// A new object of the same kind.
    virtual std::unique_ptr<THostedOle> Create() const = 0;
    /// Tells the container the picture changed (the owner's view sink gets OnViewChange).
    virtual void Changed();
    virtual void Draw(DWORD aspect, const QRect& rect, QPainter& canvas) = 0;
    /// Writes the object's data; false when the stream refuses it.
    virtual bool SaveToStream(IStream* stream) = 0;
    /// Reads the object's data; false when it is damaged (the object is then unchanged).
    virtual bool LoadFromStream(IStream* stream) = 0;
    /// The natural size in hundredths of a millimetre.
    virtual HRESULT GetExtent(DWORD aspect, SIZEL* size);
    /// The object's action, whatever the verb.
    virtual HRESULT DoVerb(std::int32_t verb) = 0;

    /// The kind's class name ("TFileLink"): part of the ProgID and the icon object's input box title.
    virtual QString ClassName() const = 0;
    /// The natural size in pixels, as drawn.
    virtual QSize NaturalSize() const = 0;

    /// The file of the document that holds the object, as the owner's client site names it (its
    /// container moniker); empty when the object has no site or the document was read from no file.
    QString ContainerFile() const;

private:
    TQvOle* FOwner = nullptr;
};

/// Makes a hosted object of one kind (the class factories hold one of these).
using THostedOleClass = std::unique_ptr<THostedOle> (*)();

class TViewObject;
class TQvPersistStorage;

/// The embedded object: IOleObject over a hosted kind, with its view, storage and data companions.
class TQvOle final : public IOleObject {
public:
    /// Count 1; the hosted object is made with the kind's constructor. Raises what that raises.
    explicit TQvOle(THostedOleClass kind);
    TQvOle(const TQvOle&) = delete;
    TQvOle& operator=(const TQvOle&) = delete;

    THostedOle& Hosted() const { return *FHosted; }
    TViewObject& ViewObject() const { return *FViewObject; }
    TQvPersistStorage& PersistStorage() const { return *FPersistStorage; }
    TMyDataObject& DataObject() const { return *FDataObject; }
    ULONG RefCount() const { return FRefCount.Count(); }

    HRESULT QueryInterface(const IID& riid, void** ppvObject) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT SetClientSite(IOleClientSite* pClientSite) override;
    HRESULT GetClientSite(IOleClientSite** ppClientSite) override;
    HRESULT SetHostNames(const char* szContainerApp, const char* szContainerObj) override;
    HRESULT Close(DWORD dwSaveOption) override;
    HRESULT SetMoniker(DWORD dwWhichMoniker, IUnknown* pmk) override;
    HRESULT GetMoniker(DWORD dwAssign, DWORD dwWhichMoniker, IUnknown** ppmk) override;
    HRESULT InitFromData(IDataObject* pDataObject, bool fCreation, DWORD dwReserved) override;
    HRESULT GetClipboardData(DWORD dwReserved, IDataObject** ppDataObject) override;
    HRESULT DoVerb(std::int32_t iVerb, MSG* lpmsg, IOleClientSite* pActiveSite, std::int32_t lindex,
                   HWND hwndParent, const RECTL* lprcPosRect) override;
    HRESULT EnumVerbs(IEnumOLEVERB** ppEnumOleVerb) override;
    HRESULT Update() override;
    HRESULT IsUpToDate() override;
    HRESULT GetUserClassID(CLSID* pClsid) override;
    HRESULT GetUserType(DWORD dwFormOfType, std::string* pszUserType) override;
    HRESULT SetExtent(DWORD dwDrawAspect, SIZEL* psizel) override;
    HRESULT GetExtent(DWORD dwDrawAspect, SIZEL* psizel) override;
    HRESULT Advise(IAdviseSink* pAdvSink, DWORD* pdwConnection) override;
    HRESULT Unadvise(DWORD dwConnection) override;
    HRESULT EnumAdvise(IEnumSTATDATA** ppenumAdvise) override;
    HRESULT GetMiscStatus(DWORD dwAspect, DWORD* pdwStatus) override;
    HRESULT SetColorScheme(const void* pLogpal) override;

private:
    ~TQvOle();

    TRefCount FRefCount;
    IOleClientSite* FClientSite = nullptr;
    IOleAdviseHolder* FAdviseHolder = nullptr;
    std::unique_ptr<THostedOle> FHosted;
    TViewObject* FViewObject = nullptr;
    TQvPersistStorage* FPersistStorage = nullptr;
    TMyDataObject* FDataObject = nullptr;
};

/// IViewObject of a TQvOle: draws the hosted object; references go to the TQvOle.
class TViewObject final : public IViewObject {
public:
    explicit TViewObject(TQvOle& owner)
        : FOwner(owner)
    {
    }
    ~TViewObject();
    TViewObject(const TViewObject&) = delete;
    TViewObject& operator=(const TViewObject&) = delete;

    /// The sink SetAdvise keeps (the one Changed notifies), or none.
    IAdviseSink* AdviseSink() const { return FAdviseSink; }

    HRESULT QueryInterface(const IID& riid, void** ppvObject) override;
    ULONG AddRef() override;
    ULONG Release() override;

    /// hdcDraw is the QPainter to draw with.
    HRESULT Draw(DWORD dwDrawAspect, std::int32_t lindex, void* pvAspect, DVTARGETDEVICE* ptd,
                 HDC hdcTargetDev, HDC hdcDraw, const RECTL* lprcBounds, const RECTL* lprcWBounds,
                 bool (*pfnContinue)(std::uintptr_t), std::uintptr_t dwContinue) override;
    HRESULT GetColorSet(DWORD dwDrawAspect, std::int32_t lindex, void* pvAspect, DVTARGETDEVICE* ptd,
                        HDC hicTargetDev, void** ppColorSet) override;
    HRESULT Freeze(DWORD dwDrawAspect, std::int32_t lindex, void* pvAspect, DWORD* pdwFreeze) override;
    HRESULT Unfreeze(DWORD dwFreeze) override;
    HRESULT SetAdvise(DWORD aspects, DWORD advf, IAdviseSink* pAdvSink) override;
    HRESULT GetAdvise(DWORD* pAspects, DWORD* pAdvf, IAdviseSink** ppAdvSink) override;

private:
    TQvOle& FOwner;
    TRefCount FRefCount;
    IAdviseSink* FAdviseSink = nullptr;
};

/// IPersistStorage of a TQvOle: the object's data lives in the stream "CONTENTS".
class TQvPersistStorage final : public IPersistStorage {
public:
    explicit TQvPersistStorage(TQvOle& owner)
        : FOwner(owner)
    {
    }
    ~TQvPersistStorage();
    TQvPersistStorage(const TQvPersistStorage&) = delete;
    TQvPersistStorage& operator=(const TQvPersistStorage&) = delete;

    IStorage* Storage() const { return FStorage; }

    HRESULT QueryInterface(const IID& riid, void** ppvObject) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT GetClassID(CLSID* pClassID) override;
    HRESULT IsDirty() override;
    HRESULT InitNew(IStorage* pStg) override;
    HRESULT Load(IStorage* pStg) override;
    HRESULT Save(IStorage* pStgSave, bool fSameAsLoad) override;
    HRESULT SaveCompleted(IStorage* pStgNew) override;
    HRESULT HandsOffStorage() override;

private:
    TQvOle& FOwner;
    TRefCount FRefCount;
    IStorage* FStorage = nullptr;
    IStream* FStream = nullptr;
};

/// The name of the object data stream.
inline constexpr const char* ContentsStreamName = "CONTENTS";
