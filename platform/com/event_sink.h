// The client's side of events: a sink object that receives the calls of one event interface
// and hands each to a handler, and the connection to a source object's connection point.
//
//   ComPtr<EventSink> sink = EventSink::Create(DIID_Events, [](DISPID id, auto& args) {...});
//   sink->Connect(source);   // Advise on the source's connection point
//   ...
//   sink->Disconnect();      // Unadvise: needed before the source can go, as the source
//                            // holds the sink and the sink holds the source's point
#pragma once

#include <atomic>
#include <functional>
#include <vector>

#include "platform/com/com_api.h"
#include "platform/com/com_ptr.h"

namespace platform::com {

class KCOM_API EventSink final : public IDispatch {
  public:
    // args are the event's arguments in declaration order, as the source passed them (an
    // argument passed by reference is a VT_BYREF variant).
    using Handler = std::function<void(DISPID dispid, const std::vector<VARIANT*>& args)>;

    // A new sink for the event interface eventInterface; nullptr when out of memory.
    static ComPtr<EventSink> Create(const IID& eventInterface, Handler handler);

    // Connects to the connection point of source for the event interface (a sink connects to
    // one source at a time). Fails with the source's error, or E_UNEXPECTED when connected.
    HRESULT Connect(IUnknown* source);
    // Ends the connection; S_FALSE when there was none.
    HRESULT Disconnect();
    bool Connected() const { return static_cast<bool>(point_); }

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDispatch: every call is an event for the handler; a failing handler (one that throws)
    // gives E_UNEXPECTED to the source.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT cNames, LCID,
                                            DISPID* rgDispId) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                     EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

  private:
    EventSink(const IID& eventInterface, Handler handler);
    ~EventSink();

    IID iid_;
    Handler handler_;
    std::atomic<ULONG> refs_ = 1;  // a component may raise events on a thread of its own
    ComPtr<IConnectionPoint> point_;
    DWORD cookie_ = 0;
};

}  // namespace platform::com
