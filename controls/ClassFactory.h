#pragma once

#include "controls/QvOle.h"
#include "platform/Com.h"

/// The class object of one embeddable kind: makes TQvOle objects of that kind.
class TClassFactory final : public IClassFactory
{
public:
    explicit TClassFactory(THostedOleClass kind)
        : FKind(kind)
    {
    }
    TClassFactory(const TClassFactory&) = delete;
    TClassFactory& operator=(const TClassFactory&) = delete;

    HRESULT QueryInterface(const IID& riid, void** ppvObject) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT CreateInstance(IUnknown* pUnkOuter, const IID& riid, void** ppvObject) override;
    HRESULT LockServer(bool fLock) override;

private:
    ~TClassFactory() = default;

    TRefCount FRefCount;
    THostedOleClass FKind;
};
