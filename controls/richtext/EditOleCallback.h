#pragma once

#include "platform/com/Com.h"

class TQvEdit;

/// The rich text control's answers about embedded objects: where a new object's storage lives,
/// whether objects may come in, which data a paste or drop may bring.
class TEditOLECallBack final : public TUnknownOf<TEditOLECallBack, IRichEditOleCallback, IID_IUnknown> {
public:
    explicit TEditOLECallBack(TQvEdit& owner)
        : FOwner(owner)
    {
    }
    TEditOLECallBack(const TEditOLECallBack&) = delete;
    TEditOLECallBack& operator=(const TEditOLECallBack&) = delete;

    HRESULT GetNewStorage(IStorage** lplpstg) override;
    HRESULT GetInPlaceContext(void** lplpFrame, void** lplpDoc, OLEINPLACEFRAMEINFO* lpFrameInfo) override;
    HRESULT ShowContainerUI(bool fShow) override;
    HRESULT QueryInsertObject(CLSID* lpclsid, IStorage* lpstg, std::int32_t cp) override;
    HRESULT DeleteObject(IOleObject* lpoleobj) override;
    HRESULT QueryAcceptData(IDataObject* lpdataobj, CLIPFORMAT* lpcfFormat, DWORD reco, bool fReally,
                            HGLOBAL hMetaPict) override;
    HRESULT ContextSensitiveHelp(bool fEnterMode) override;
    HRESULT GetClipboardData(CHARRANGE* lpchrg, DWORD reco, IDataObject** lplpdataobj) override;
    HRESULT GetDragDropEffect(bool fDrag, DWORD grfKeyState, DWORD* pdwEffect) override;
    HRESULT GetContextMenu(std::uint16_t seltype, IOleObject* lpoleobj, CHARRANGE* lpchrg,
                           HMENU* lphmenu) override;

private:
    friend TUnknownOf; // the last Release deletes
    ~TEditOLECallBack() = default;

    TQvEdit& FOwner;
};
