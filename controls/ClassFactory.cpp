#include "controls/ClassFactory.h"

HRESULT TClassFactory::QueryInterface(const IID& riid, void** ppvObject)
{
    if (ppvObject == nullptr) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
        AddRef();
        *ppvObject = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
}

ULONG TClassFactory::AddRef()
{
    return FRefCount.Add();
}

ULONG TClassFactory::Release()
{
    const ULONG count = FRefCount.Drop();
    if (count == 0) {
        delete this;
    }
    return count;
}

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
