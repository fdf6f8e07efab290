#include "controls/objects/ClassFactory.h"

HRESULT TClassFactory::CreateInstance(IUnknown* pUnkOuter, const IID& riid, void** ppvObject)
{
    if (ppvObject == nullptr) {
        return E_POINTER;
    }
    *ppvObject = nullptr;
    if (pUnkOuter != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    TQvOle* object = nullptr;
    try {
        object = new TQvOle(FKind);
    } catch (...) {
        return E_UNEXPECTED;
    }
    const HRESULT hr = object->QueryInterface(riid, ppvObject);
    object->Release();
    return hr;
}

HRESULT TClassFactory::LockServer(bool)
{
    return E_FAIL;
}
