#pragma once

#include "controls/objects/QvOle.h"
#include "platform/com/Com.h"

/// The class object of one embeddable kind: makes TQvOle objects of that kind.
class TClassFactory final : public TUnknownOf<TClassFactory, IClassFactory, IID_IClassFactory> {
public:
    explicit TClassFactory(THostedOleClass kind)
        : FKind(kind)
    {
    }
    TClassFactory(const TClassFactory&) = delete;
    TClassFactory& operator=(const TClassFactory&) = delete;

    HRESULT CreateInstance(IUnknown* pUnkOuter, const IID& riid, void** ppvObject) override;
    HRESULT LockServer(bool fLock) override;

private:
    friend TUnknownOf; // the last Release deletes
    ~TClassFactory() = default;

    THostedOleClass FKind;
};
