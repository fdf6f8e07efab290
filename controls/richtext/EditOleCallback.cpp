#include "controls/richtext/EditOleCallback.h"

#include "controls/richtext/qvtext.h"
#include "platform/com/Storage.h"

HRESULT TEditOLECallBack::GetNewStorage(IStorage** lplpstg)
{
    if (lplpstg == nullptr) {
        return E_INVALIDARG;
    }
    // Whatever fails is answered with its own result code; nothing escapes into the caller.
    try {
        return StgCreateMemoryStorage(lplpstg);
    } catch (...) {
        *lplpstg = nullptr;
        return E_OUTOFMEMORY;
    }
}

HRESULT TEditOLECallBack::GetInPlaceContext(void**, void**, OLEINPLACEFRAMEINFO*)
{
    return E_NOTIMPL;
}

HRESULT TEditOLECallBack::ShowContainerUI(bool)
{
    return E_NOTIMPL;
}

HRESULT TEditOLECallBack::QueryInsertObject(CLSID*, IStorage*, std::int32_t)
{
    return FOwner.PlainText() ? E_NOTIMPL : S_OK;
}

HRESULT TEditOLECallBack::DeleteObject(IOleObject*)
{
    return S_OK;
}

HRESULT TEditOLECallBack::QueryAcceptData(IDataObject*, CLIPFORMAT* lpcfFormat, DWORD, bool, HGLOBAL)
{
    if (FOwner.PlainText() && lpcfFormat != nullptr) {
        *lpcfFormat = CF_TEXT;
    }
    return S_OK;
}

HRESULT TEditOLECallBack::ContextSensitiveHelp(bool)
{
    return E_NOTIMPL;
}

HRESULT TEditOLECallBack::GetClipboardData(CHARRANGE*, DWORD, IDataObject** lplpdataobj)
{
    if (lplpdataobj != nullptr) {
        *lplpdataobj = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT TEditOLECallBack::GetDragDropEffect(bool, DWORD, DWORD*)
{
    return S_OK;
}

HRESULT TEditOLECallBack::GetContextMenu(std::uint16_t, IOleObject*, CHARRANGE*, HMENU* lphmenu)
{
    FOwner.setFocus();
    if (lphmenu != nullptr) {
        *lphmenu = nullptr;
    }
    return S_OK;
}
