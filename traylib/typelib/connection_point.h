// The connection point through which an object raises the events of one event interface on
// the sinks that clients connect with Advise. It lives inside its container object and
// shares the container's reference count, so a client holding the connection point keeps
// the container alive. A sink is held until Unadvise (or until the container goes), as
// clients expect; a client that never calls Unadvise keeps itself and the container alive.
// Like its container it lives on the GUI thread: Advise, Unadvise and EnumConnections from
// other threads are carried there, and events are raised there. Each sink belongs to the
// thread that advised it (its apartment): an event for a sink of another thread is posted to
// that thread and reaches the sink there, when it pumps (platform/com/com_api.h, Apartments).
#pragma once

#include <vector>

#include "platform/com/com_api.h"

namespace quorvil {

using namespace platform::com;

class ConnectionPoint final : public IConnectionPoint {
  public:
    ConnectionPoint(IConnectionPointContainer* container, const IID& eventInterface);
    ~ConnectionPoint();
    ConnectionPoint(const ConnectionPoint&) = delete;
    ConnectionPoint& operator=(const ConnectionPoint&) = delete;

    // IUnknown (the container's count)
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IConnectionPoint
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* pIID) override;
    HRESULT STDMETHODCALLTYPE
    GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override;
    // The sink must offer the event interface or IDispatch; CONNECT_E_CANNOTCONNECT if not.
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD dwCookie) override;
    // The connections of this moment: each sink (as the interface it is called through) with
    // its cookie.
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** ppEnum) override;

    const IID& EventInterface() const { return iid_; }
    std::size_t SinkCount() const { return sinks_.size(); }

    // Raises one event on every connected sink, in the order they connected, with the
    // arguments in declaration order: at once on a sink of the calling thread, posted to the
    // advising thread of any other with copies of the arguments (one passed by reference is
    // handed to that sink by reference to its copy). A sink connected or disconnected by an
    // event handler takes effect from the next event. Failures of sinks are ignored.
    void Fire(DISPID dispid, VARIANT* args, UINT count);

  private:
    HRESULT AdviseHere(IUnknown* pUnkSink, DWORD* pdwCookie, const ApartmentRef& apartment);
    struct Sink;
    // Posts one event to target's thread; takes over the reference to target.sink.
    static void Post(const Sink& target, DISPID dispid, VARIANT* args, UINT count);

    struct Sink {
        DWORD cookie;
        IDispatch* sink;
        ApartmentRef apartment;  // of the thread that advised it
    };

    IConnectionPointContainer* container_;
    IID iid_;
    std::vector<Sink> sinks_;
    DWORD nextCookie_ = 1;
};

}  // namespace quorvil
