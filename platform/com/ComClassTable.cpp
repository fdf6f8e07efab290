#include "platform/com/ComClassTable.h"

#include <mutex>

namespace {

struct TRegistration {
    CLSID Class;
    IUnknown* Object;
    DWORD Context;
    DWORD Flags;
    DWORD Cookie;
};

std::mutex TableLock;
std::vector<TRegistration> Table; // guarded by TableLock
DWORD LastCookie = 0; // guarded by TableLock

} // namespace

HRESULT CoRegisterClassObject(const CLSID& rclsid, IUnknown* pUnk, DWORD dwClsContext, DWORD flags,
                              DWORD* lpdwRegister)
{
    if (pUnk == nullptr || lpdwRegister == nullptr) {
        return E_INVALIDARG;
    }
    try {
        const std::lock_guard lock(TableLock);
        Table.push_back({rclsid, pUnk, dwClsContext, flags, ++LastCookie});
        *lpdwRegister = LastCookie;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    pUnk->AddRef();
    return S_OK;
}

HRESULT CoRevokeClassObject(DWORD dwRegister)
{
    IUnknown* object = nullptr;
    {
        const std::lock_guard lock(TableLock);
        for (auto it = Table.begin(); it != Table.end(); ++it) {
            if (it->Cookie == dwRegister) {
                object = it->Object;
                Table.erase(it);
                break;
            }
        }
    }
    if (object == nullptr) {
        return CO_E_OBJNOTREG;
    }
    // Released outside the lock: the object may revoke or register others as it goes.
    object->Release();
    return S_OK;
}

HRESULT CoGetClassObject(const CLSID& rclsid, DWORD dwClsContext, const IID& riid, void** ppv)
{
    if (ppv == nullptr) {
        return E_INVALIDARG;
    }
    *ppv = nullptr;
    IUnknown* object = nullptr;
    {
        const std::lock_guard lock(TableLock);
        for (const TRegistration& r : Table) {
            if (r.Class == rclsid && (r.Context & dwClsContext) != 0) {
                object = r.Object;
                object->AddRef();
                break;
            }
        }
    }
    if (object == nullptr) {
        return REGDB_E_CLASSNOTREG;
    }
    const HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
}

HRESULT CoCreateInstance(const CLSID& rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, const IID& riid,
                         void** ppv)
{
    if (ppv == nullptr) {
        return E_INVALIDARG;
    }
    *ppv = nullptr;
    IClassFactory* factory = nullptr;
    const HRESULT hr =
        CoGetClassObject(rclsid, dwClsContext, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) {
        return hr;
    }
    const HRESULT created = factory->CreateInstance(pUnkOuter, riid, ppv);
    factory->Release();
    return created;
}
