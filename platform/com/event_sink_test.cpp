// The client's event sink: connecting to a source's connection point, receiving events with
// their arguments in declaration order, and disconnecting.
#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/com/com.h"

using namespace platform::com;

namespace {

const IID kEvents = {0x5E5E5E5E, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};

// A source with one connection point for kEvents that keeps a single sink.
class Source final : public IConnectionPointContainer, public IConnectionPoint {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IConnectionPointContainer) {
            *ppv = static_cast<IConnectionPointContainer*>(this);
        } else if (riid == IID_IConnectionPoint) {
            *ppv = static_cast<IConnectionPoint*>(this);
        } else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** cp) override {
        if (!(riid == kEvents)) {
            *cp = nullptr;
            return CONNECT_E_NOCONNECTION;
        }
        AddRef();
        *cp = this;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* iid) override {
        *iid = kEvents;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Advise(IUnknown* unknown, DWORD* cookie) override {
        if (FAILED(unknown->QueryInterface(kEvents, reinterpret_cast<void**>(&sink)))) {
            return CONNECT_E_CANNOTCONNECT;
        }
        *cookie = 17;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD cookie) override {
        if (cookie != 17 || !sink) {
            return CONNECT_E_NOCONNECTION;
        }
        std::exchange(sink, nullptr)->Release();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections**) override { return E_NOTIMPL; }

    ULONG refs = 1;
    IDispatch* sink = nullptr;
};

TEST(EventSink, ReceivesEventsInDeclarationOrderUntilDisconnected) {
    Source source;
    std::vector<DISPID> ids;
    std::vector<std::vector<LONG>> values;
    ComPtr<EventSink> sink = EventSink::Create(kEvents, [&](DISPID id, const auto& args) {
        ids.push_back(id);
        std::vector<LONG> v;
        for (VARIANT* a : args) {
            v.push_back(a->vt == (VT_BYREF | VT_I4) ? *a->plVal : a->lVal);
        }
        values.push_back(v);
    });
    ASSERT_TRUE(sink);
    ASSERT_EQ(sink->Connect(static_cast<IConnectionPointContainer*>(&source)), S_OK);
    EXPECT_TRUE(sink->Connected());
    EXPECT_EQ(sink->Connect(static_cast<IConnectionPointContainer*>(&source)), E_UNEXPECTED);
    ASSERT_NE(source.sink, nullptr);

    LONG byRef = 5;
    VARIANT args[2];
    VariantInit(&args[0]);
    VariantInit(&args[1]);
    args[0].vt = VT_I4;
    args[0].lVal = 1;
    args[1].vt = VT_BYREF | VT_I4;
    args[1].plVal = &byRef;
    ASSERT_EQ(InvokeMethod(source.sink, 6, args, 2), S_OK);
    ASSERT_EQ(InvokeMethod(source.sink, 4, nullptr, 0), S_OK);
    EXPECT_EQ(ids, (std::vector<DISPID>{6, 4}));
    EXPECT_EQ(values[0], (std::vector<LONG>{1, 5}));
    EXPECT_TRUE(values[1].empty());

    // Connected, the source holds the sink and the sink holds the source's point.
    EXPECT_EQ(source.refs, 2u);
    ASSERT_EQ(sink->Disconnect(), S_OK);
    EXPECT_EQ(source.sink, nullptr);
    EXPECT_EQ(source.refs, 1u);
    EXPECT_EQ(sink->Disconnect(), S_FALSE);
}

TEST(EventSink, AHandlerMayDisconnectAndMayFail) {
    Source source;
    ComPtr<EventSink> sink;
    sink = EventSink::Create(kEvents, [&](DISPID id, const auto&) {
        if (id == 1) {
            sink->Disconnect();
        } else {
            throw std::runtime_error("handler failed");
        }
    });
    ASSERT_EQ(sink->Connect(static_cast<IConnectionPointContainer*>(&source)), S_OK);
    IDispatch* target = source.sink;
    target->AddRef();
    EXPECT_EQ(InvokeMethod(target, 2, nullptr, 0), E_UNEXPECTED);
    EXPECT_EQ(InvokeMethod(target, 1, nullptr, 0), S_OK);
    EXPECT_FALSE(sink->Connected());
    EXPECT_EQ(source.sink, nullptr);
    target->Release();
    EXPECT_EQ(source.refs, 1u);

    // A source without the event interface's connection point refuses the connection.
    ComPtr<EventSink> other = EventSink::Create(IID_IDispatch, nullptr);
    EXPECT_EQ(other->Connect(static_cast<IConnectionPointContainer*>(&source)),
              CONNECT_E_NOCONNECTION);
    EXPECT_FALSE(other->Connected());
}

}  // namespace
