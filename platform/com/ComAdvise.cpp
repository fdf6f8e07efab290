#include "platform/com/ComAdvise.h"

#include <new>

namespace {

class TEnumStatData final : public TUnknownOf<TEnumStatData, IEnumSTATDATA, IID_IEnumSTATDATA> {
public:
    TEnumStatData(const std::vector<STATDATA>& items, std::size_t position)
        : FItems(items)
        , FPosition(position)
    {
        for (STATDATA& item : FItems) {
            if (item.pAdvSink != nullptr) {
                item.pAdvSink->AddRef();
            }
        }
    }

    HRESULT Next(ULONG celt, STATDATA* rgelt, ULONG* pceltFetched) override
    {
        ULONG fetched = 0;
        while (fetched < celt && FPosition < FItems.size()) {
            rgelt[fetched] = FItems[FPosition++];
            if (rgelt[fetched].pAdvSink != nullptr) {
                rgelt[fetched].pAdvSink->AddRef();
            }
            ++fetched;
        }
        if (pceltFetched != nullptr) {
            *pceltFetched = fetched;
        }
        return fetched == celt ? S_OK : S_FALSE;
    }
    HRESULT Skip(ULONG celt) override
    {
        const std::size_t left = FItems.size() - FPosition;
        if (celt > left) {
            FPosition = FItems.size();
            return S_FALSE;
        }
        FPosition += celt;
        return S_OK;
    }
    HRESULT Reset() override
    {
        FPosition = 0;
        return S_OK;
    }
    HRESULT Clone(IEnumSTATDATA** ppenum) override
    {
        if (ppenum == nullptr) {
            return E_POINTER;
        }
        *ppenum = new (std::nothrow) TEnumStatData(FItems, FPosition);
        return *ppenum != nullptr ? S_OK : E_OUTOFMEMORY;
    }

private:
    friend TUnknownOf; // the last Release deletes
    ~TEnumStatData()
    {
        for (STATDATA& item : FItems) {
            SafeRelease(item.pAdvSink);
        }
    }

    std::vector<STATDATA> FItems;
    std::size_t FPosition;
};

// The connections of both holders: a sink with its number, kept with a reference.
class TConnections {
public:
    ~TConnections()
    {
        for (STATDATA& item : FItems) {
            SafeRelease(item.pAdvSink);
        }
    }

    HRESULT Add(IAdviseSink* sink, const FORMATETC& format, DWORD advf, DWORD* connection)
    {
        if (sink == nullptr || connection == nullptr) {
            return E_INVALIDARG;
        }
        sink->AddRef();
        STATDATA item;
        item.formatetc = format;
        item.advf = advf;
        item.pAdvSink = sink;
        item.dwConnection = ++FLastConnection;
        FItems.push_back(item);
        *connection = item.dwConnection;
        return S_OK;
    }

    HRESULT Remove(DWORD connection)
    {
        for (auto it = FItems.begin(); it != FItems.end(); ++it) {
            if (it->dwConnection == connection) {
                IAdviseSink* sink = it->pAdvSink;
                FItems.erase(it);
                sink->Release();
                return S_OK;
            }
        }
        return OLE_E_NOCONNECTION;
    }

    HRESULT Enumerate(IEnumSTATDATA** ppenum) const { return CreateStatDataEnumerator(FItems, ppenum); }

    /// The sinks with a reference each, so that a sink unadvising itself while told stays alive.
    std::vector<IAdviseSink*> Sinks() const
    {
        std::vector<IAdviseSink*> sinks;
        for (const STATDATA& item : FItems) {
            item.pAdvSink->AddRef();
            sinks.push_back(item.pAdvSink);
        }
        return sinks;
    }

    const std::vector<STATDATA>& Items() const { return FItems; }

private:
    std::vector<STATDATA> FItems;
    DWORD FLastConnection = 0;
};

class TOleAdviseHolder final : public TUnknownOf<TOleAdviseHolder, IOleAdviseHolder, IID_IOleAdviseHolder> {
public:
    HRESULT Advise(IAdviseSink* pAdvise, DWORD* pdwConnection) override
    {
        return FConnections.Add(pAdvise, FORMATETC{}, 0, pdwConnection);
    }
    HRESULT Unadvise(DWORD dwConnection) override { return FConnections.Remove(dwConnection); }
    HRESULT EnumAdvise(IEnumSTATDATA** ppenumAdvise) override { return FConnections.Enumerate(ppenumAdvise); }
    HRESULT SendOnRename(IUnknown* pmk) override
    {
        for (IAdviseSink* sink : FConnections.Sinks()) {
            sink->OnRename(pmk);
            sink->Release();
        }
        return S_OK;
    }
    HRESULT SendOnSave() override
    {
        for (IAdviseSink* sink : FConnections.Sinks()) {
            sink->OnSave();
            sink->Release();
        }
        return S_OK;
    }
    HRESULT SendOnClose() override
    {
        for (IAdviseSink* sink : FConnections.Sinks()) {
            sink->OnClose();
            sink->Release();
        }
        return S_OK;
    }

private:
    friend TUnknownOf; // the last Release deletes
    ~TOleAdviseHolder() = default;

    TConnections FConnections;
};

class TDataAdviseHolder final
    : public TUnknownOf<TDataAdviseHolder, IDataAdviseHolder, IID_IDataAdviseHolder> {
public:
    HRESULT Advise(IDataObject* /*pDataObject*/, FORMATETC* pFetc, DWORD advf, IAdviseSink* pAdvise,
                   DWORD* pdwConnection) override
    {
        return FConnections.Add(pAdvise, pFetc != nullptr ? *pFetc : FORMATETC{}, advf, pdwConnection);
    }
    HRESULT Unadvise(DWORD dwConnection) override { return FConnections.Remove(dwConnection); }
    HRESULT EnumAdvise(IEnumSTATDATA** ppenumAdvise) override { return FConnections.Enumerate(ppenumAdvise); }
    HRESULT SendOnDataChange(IDataObject* pDataObject, DWORD /*dwReserved*/, DWORD /*advf*/) override
    {
        std::vector<STATDATA> items = FConnections.Items();
        for (IAdviseSink* sink : FConnections.Sinks()) {
            // The sinks are told with the data where they can take it, else with an empty medium.
            FORMATETC format;
            STGMEDIUM medium;
            for (const STATDATA& item : items) {
                if (item.pAdvSink == sink) {
                    format = item.formatetc;
                }
            }
            if (pDataObject == nullptr || FAILED(pDataObject->GetData(&format, &medium))) {
                medium = STGMEDIUM{};
            }
            sink->OnDataChange(&format, &medium);
            ReleaseStgMedium(medium);
            sink->Release();
        }
        return S_OK;
    }

private:
    friend TUnknownOf; // the last Release deletes
    ~TDataAdviseHolder() = default;

    TConnections FConnections;
};

} // namespace

HRESULT CreateOleAdviseHolder(IOleAdviseHolder** ppOAHolder)
{
    if (ppOAHolder == nullptr) {
        return E_INVALIDARG;
    }
    *ppOAHolder = new (std::nothrow) TOleAdviseHolder;
    return *ppOAHolder != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT CreateDataAdviseHolder(IDataAdviseHolder** ppDAHolder)
{
    if (ppDAHolder == nullptr) {
        return E_INVALIDARG;
    }
    *ppDAHolder = new (std::nothrow) TDataAdviseHolder;
    return *ppDAHolder != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT CreateStatDataEnumerator(const std::vector<STATDATA>& items, IEnumSTATDATA** ppenum)
{
    if (ppenum == nullptr) {
        return E_INVALIDARG;
    }
    try {
        *ppenum = new TEnumStatData(items, 0);
        return S_OK;
    } catch (const std::bad_alloc&) {
        *ppenum = nullptr;
        return E_OUTOFMEMORY;
    }
}
