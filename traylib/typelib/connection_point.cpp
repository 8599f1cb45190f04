#include "traylib/typelib/connection_point.h"

#include <memory>

#include "platform/com/com_ptr.h"
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
    const ApartmentRef apartment = CurrentApartment();
    return InApartment([&] { return AdviseHere(pUnkSink, pdwCookie, apartment); });
}

HRESULT ConnectionPoint::AdviseHere(IUnknown* pUnkSink, DWORD* pdwCookie,
                                    const ApartmentRef& apartment) {
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
        sinks_.push_back({nextCookie_, static_cast<IDispatch*>(sink), apartment});
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
    std::vector<Sink> targets;
    try {
        targets = sinks_;
    } catch (...) {
        return;
    }
    for (const Sink& s : targets) {
        s.sink->AddRef();
    }
    const ApartmentRef here = CurrentApartment();
    for (Sink& s : targets) {
        if (s.apartment == here || !s.apartment) {
            InvokeMethod(s.sink, dispid, args, count);
            s.sink->Release();
        } else {
            Post(s, dispid, args, count);
        }
    }
}

void ConnectionPoint::Post(const Sink& target, DISPID dispid, VARIANT* args, UINT count) {
    // The event as the sink's thread raises it: the sink (with the reference taken for it),
    // and a copy of each argument's value, remembering which were passed by reference.
    struct Event {
        IDispatch* sink;
        DISPID dispid;
        std::vector<Variant> values;
        std::vector<bool> byRef;
        ~Event() { sink->Release(); }
    };
    std::shared_ptr<Event> event;
    try {
        event.reset(new Event{target.sink, dispid, {}, {}});
    } catch (...) {
        target.sink->Release();
        return;
    }
    try {
        event->values.resize(count);
        for (UINT i = 0; i < count; ++i) {
            VariantCopyInd(event->values[i].get(), &args[i]);
            event->byRef.push_back((args[i].vt & VT_BYREF) != 0);
        }
    } catch (...) {
        return;
    }
    PostToApartment(target.apartment, [event] {
        std::vector<VARIANT> passed(event->values.size());
        for (std::size_t i = 0; i < passed.size(); ++i) {
            VARIANT* value = event->values[i].get();
            if (event->byRef[i]) {
                // The union's storage of the copy, which the handler may replace.
                VariantInit(&passed[i]);
                passed[i].vt = static_cast<VARTYPE>(VT_BYREF | value->vt);
                passed[i].byref = &value->llVal;
            } else {
                passed[i] = *value;  // borrowed: the copy keeps ownership
            }
        }
        InvokeMethod(event->sink, event->dispid, passed.data(), static_cast<UINT>(passed.size()));
    });
}

}  // namespace quorvil
