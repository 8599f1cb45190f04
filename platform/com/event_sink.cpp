#include "platform/com/event_sink.h"

#include <new>

namespace platform::com {

EventSink::EventSink(const IID& eventInterface, Handler handler)
    : iid_(eventInterface), handler_(std::move(handler)) {}

EventSink::~EventSink() = default;

ComPtr<EventSink> EventSink::Create(const IID& eventInterface, Handler handler) {
    try {
        return ComPtr<EventSink>::Attach(new EventSink(eventInterface, std::move(handler)));
    } catch (...) {
        return nullptr;
    }
}

HRESULT EventSink::Connect(IUnknown* source) {
    if (!source) {
        return E_POINTER;
    }
    if (point_) {
        return E_UNEXPECTED;
    }
    ComPtr<IConnectionPointContainer> container;
    HRESULT hr = source->QueryInterface(IID_IConnectionPointContainer, container.PutVoid());
    if (FAILED(hr)) {
        return hr;
    }
    ComPtr<IConnectionPoint> point;
    hr = container->FindConnectionPoint(iid_, point.Put());
    if (FAILED(hr)) {
        return hr;
    }
    DWORD cookie = 0;
    hr = point->Advise(static_cast<IDispatch*>(this), &cookie);
    if (FAILED(hr)) {
        return hr;
    }
    point_ = std::move(point);
    cookie_ = cookie;
    return S_OK;
}

HRESULT EventSink::Disconnect() {
    if (!point_) {
        return S_FALSE;
    }
    // Keep this sink alive until the call is over: the point releases its reference.
    ComPtr<EventSink> self(this);
    ComPtr<IConnectionPoint> point = std::move(point_);
    point_ = nullptr;
    const HRESULT hr = point->Unadvise(cookie_);
    cookie_ = 0;
    return hr;
}

HRESULT EventSink::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == iid_) {
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG EventSink::AddRef() {
    return ++refs_;
}

ULONG EventSink::Release() {
    const ULONG left = --refs_;
    if (left == 0) {
        delete this;
    }
    return left;
}

HRESULT EventSink::GetTypeInfoCount(UINT* pctinfo) {
    if (!pctinfo) {
        return E_POINTER;
    }
    *pctinfo = 0;
    return S_OK;
}

HRESULT EventSink::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
    if (ppTInfo) {
        *ppTInfo = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT EventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT cNames, LCID, DISPID* rgDispId) {
    for (UINT i = 0; rgDispId && i < cNames; ++i) {
        rgDispId[i] = DISPID_UNKNOWN;
    }
    return DISP_E_UNKNOWNNAME;
}

HRESULT EventSink::Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD, DISPPARAMS* pDispParams,
                          VARIANT* pVarResult, EXCEPINFO*, UINT*) {
    if (!(riid == IID_NULL)) {
        return DISP_E_UNKNOWNINTERFACE;
    }
    if (pVarResult) {
        VariantInit(pVarResult);
    }
    try {
        std::vector<VARIANT*> args;
        if (pDispParams) {
            for (UINT i = pDispParams->cArgs; i > 0; --i) {
                args.push_back(&pDispParams->rgvarg[i - 1]);
            }
        }
        // The handler may disconnect this sink; it stays alive until the call is over.
        ComPtr<EventSink> self(this);
        if (handler_) {
            handler_(dispIdMember, args);
        }
        return S_OK;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

}  // namespace platform::com
