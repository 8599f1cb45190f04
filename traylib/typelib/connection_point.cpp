#include "traylib/typelib/connection_point.h"

#include "platform/com/dispatch.h"
#include "traylib/typelib/server_object.h"
#include "traylib/typelib/variant_enumerator.h"

namespace quorvil {

ConnectionPoint::ConnectionPoint(IConnectionPointContainer* container, const IID& eventInterface)
    : container_(container), iid_(eventInterface) {}

ConnectionPoint::~ConnectionPoint() {
    std::vector<Sink> sinks;
    sinks.swap(sinks_);
    for (const Sink& s : sinks) {
        s.sink->Release();
    }
}

HRESULT ConnectionPoint::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
        *ppv = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG ConnectionPoint::AddRef() {
    return container_->AddRef();
}

ULONG ConnectionPoint::Release() {
    return container_->Release();
}

HRESULT ConnectionPoint::GetConnectionInterface(IID* pIID) {
    if (!pIID) {
        return E_POINTER;
    }
    *pIID = iid_;
    return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC) {
    if (!ppCPC) {
        return E_POINTER;
    }
    container_->AddRef();
    *ppCPC = container_;
    return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie) {
    return InApartment([&] { return AdviseHere(pUnkSink, pdwCookie); });
}

HRESULT ConnectionPoint::AdviseHere(IUnknown* pUnkSink, DWORD* pdwCookie) {
    if (!pdwCookie) {
        return E_POINTER;
    }
    *pdwCookie = 0;
    if (!pUnkSink) {
        return E_POINTER;
    }
    void* sink = nullptr;
    if (FAILED(pUnkSink->QueryInterface(iid_, &sink)) || !sink) {
        sink = nullptr;
        if (FAILED(pUnkSink->QueryInterface(IID_IDispatch, &sink)) || !sink) {
            return CONNECT_E_CANNOTCONNECT;
        }
    }
    try {
        sinks_.push_back({nextCookie_, static_cast<IDispatch*>(sink)});
    } catch (...) {
        static_cast<IDispatch*>(sink)->Release();
        return E_OUTOFMEMORY;
    }
    *pdwCookie = nextCookie_++;
    return S_OK;
}

HRESULT ConnectionPoint::Unadvise(DWORD dwCookie) {
    return InApartment([&] {
        for (auto it = sinks_.begin(); it != sinks_.end(); ++it) {
            if (it->cookie == dwCookie) {
                IDispatch* sink = it->sink;
                sinks_.erase(it);
                sink->Release();
                return S_OK;
            }
        }
        return CONNECT_E_NOCONNECTION;
    });
}

HRESULT ConnectionPoint::EnumConnections(IEnumConnections** ppEnum) {
    return InApartment([&] {
        if (!ppEnum) {
            return E_POINTER;
        }
        *ppEnum = nullptr;
        std::vector<CONNECTDATA> connections;
        try {
            for (const Sink& s : sinks_) {
                connections.push_back({s.sink, s.cookie});
            }
        } catch (...) {
            return E_OUTOFMEMORY;
        }
        return ConnectionEnumerator::Create(connections, ppEnum);
    });
}

void ConnectionPoint::Fire(DISPID dispid, VARIANT* args, UINT count) {
    std::vector<IDispatch*> targets;
    try {
        targets.reserve(sinks_.size());
    } catch (...) {
        return;
    }
    for (const Sink& s : sinks_) {
        s.sink->AddRef();
        targets.push_back(s.sink);
    }
    for (IDispatch* sink : targets) {
        InvokeMethod(sink, dispid, args, count);
        sink->Release();
    }
}

}  // namespace quorvil
