// Raising events through a connection point, and the rule that nothing thrown leaves a
// method of the library.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <vector>

#include "traylib/quorvil.h"
#include "traylib/typelib/connection_point.h"
#include "traylib/typelib/server_object.h"

namespace quorvil {
namespace {

// A container that only counts references.
class Container final : public IConnectionPointContainer {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints**) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID, IConnectionPoint**) override {
        return E_NOTIMPL;
    }
    ULONG refs = 1;
};

// A sink that records every event and may act on the connection point while it handles one.
class Sink final : public IDispatch {
  public:
    struct Event {
        DISPID id;
        std::vector<VARIANT> args;  // as received: reversed
    };

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID___SysTray) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* dp, VARIANT*,
                                     EXCEPINFO*, UINT*) override {
        EXPECT_EQ(flags, DISPATCH_METHOD);
        events.push_back({id, std::vector<VARIANT>(dp->rgvarg, dp->rgvarg + dp->cArgs)});
        if (onEvent) {
            onEvent();
        }
        return failing ? E_FAIL : S_OK;
    }

    ULONG refs = 1;
    bool failing = false;
    std::vector<Event> events;
    std::function<void()> onEvent;
};

TEST(ConnectionPoint, RaisesEventsOnEverySinkInOrderWithReversedArguments) {
    Container container;
    ConnectionPoint point(&container, DIID___SysTray);
    Sink first;
    Sink second;
    first.failing = true;  // a failing sink does not stop the others
    DWORD cookie1 = 0;
    DWORD cookie2 = 0;
    ASSERT_EQ(point.Advise(&first, &cookie1), S_OK);
    ASSERT_EQ(point.Advise(&second, &cookie2), S_OK);
    EXPECT_NE(cookie1, cookie2);

    // MenuClick(Item) with the item by reference, and MouseDown(Button).
    IDispatch* item = &second;
    VARIANT byRef;
    VariantInit(&byRef);
    byRef.vt = VT_BYREF | VT_DISPATCH;
    byRef.ppdispVal = &item;
    point.Fire(DISPID_SysTrayEvents_MenuClick, &byRef, 1);
    VARIANT args[2];
    VariantInit(&args[0]);
    VariantInit(&args[1]);
    args[0].vt = VT_I4;
    args[0].lVal = kButtonRight;
    args[1].vt = VT_I4;
    args[1].lVal = 99;
    point.Fire(DISPID_SysTrayEvents_MouseDown, args, 2);
    point.Fire(DISPID_SysTrayEvents_MouseMove, nullptr, 0);

    for (Sink* sink : {&first, &second}) {
        ASSERT_EQ(sink->events.size(), 3u);
        EXPECT_EQ(sink->events[0].id, DISPID_SysTrayEvents_MenuClick);
        ASSERT_EQ(sink->events[0].args.size(), 1u);
        EXPECT_EQ(sink->events[0].args[0].vt, VT_BYREF | VT_DISPATCH);
        EXPECT_EQ(*sink->events[0].args[0].ppdispVal, item);
        ASSERT_EQ(sink->events[1].args.size(), 2u);
        EXPECT_EQ(sink->events[1].args[0].lVal, 99);  // the last argument comes first
        EXPECT_EQ(sink->events[1].args[1].lVal, kButtonRight);
        EXPECT_TRUE(sink->events[2].args.empty());
    }
    // The container's count is untouched by events and sinks keep one reference each.
    EXPECT_EQ(container.refs, 1u);
    EXPECT_EQ(first.refs, 2u);
    ASSERT_EQ(point.Unadvise(cookie1), S_OK);
    ASSERT_EQ(point.Unadvise(cookie2), S_OK);
    EXPECT_EQ(first.refs, 1u);
    EXPECT_EQ(second.refs, 1u);
}

TEST(ConnectionPoint, HandlersMayDisconnectAndConnectWhileAnEventIsRaised) {
    Container container;
    Sink leaving;
    Sink staying;
    Sink late;
    {
        ConnectionPoint point(&container, DIID___SysTray);
        DWORD leavingCookie = 0;
        DWORD stayingCookie = 0;
        DWORD lateCookie = 0;
        ASSERT_EQ(point.Advise(&leaving, &leavingCookie), S_OK);
        ASSERT_EQ(point.Advise(&staying, &stayingCookie), S_OK);
        leaving.onEvent = [&] {
            EXPECT_EQ(point.Unadvise(leavingCookie), S_OK);
            EXPECT_EQ(point.Unadvise(stayingCookie), S_OK);
            EXPECT_EQ(point.Advise(&late, &lateCookie), S_OK);
        };
        point.Fire(DISPID_SysTrayEvents_Click, nullptr, 0);
        // The event goes to the sinks connected when it was raised; the late one gets the
        // next.
        EXPECT_EQ(leaving.events.size(), 1u);
        EXPECT_EQ(staying.events.size(), 1u);
        EXPECT_TRUE(late.events.empty());
        EXPECT_EQ(point.SinkCount(), 1u);
        leaving.onEvent = nullptr;
        point.Fire(DISPID_SysTrayEvents_DoubleClick, nullptr, 0);
        EXPECT_EQ(leaving.events.size(), 1u);
        EXPECT_EQ(late.events.size(), 1u);
        EXPECT_EQ(leaving.refs, 1u);
        EXPECT_EQ(staying.refs, 1u);
        EXPECT_EQ(late.refs, 2u);
    }
    // A sink still connected is released when the connection point goes.
    EXPECT_EQ(late.refs, 1u);
}

TEST(Guarded, TurnsExceptionsIntoFailuresWithErrorInformation) {
    EXPECT_EQ(Guarded(u"Test", [] { return S_FALSE; }), S_FALSE);
    EXPECT_EQ(Guarded(u"Test", []() -> HRESULT { throw std::bad_alloc(); }), E_OUTOFMEMORY);
    EXPECT_EQ(TakeErrorDetails(E_OUTOFMEMORY).source, u"Test");
    EXPECT_EQ(Guarded(u"Test", []() -> HRESULT { throw std::runtime_error("broken"); }), E_FAIL);
    EXPECT_EQ(TakeErrorDetails(E_FAIL).description, u"broken");
    EXPECT_EQ(Guarded(u"Test", []() -> HRESULT { throw 42; }), E_UNEXPECTED);
    EXPECT_FALSE(TakeErrorDetails(E_UNEXPECTED).description.empty());
}

}  // namespace
}  // namespace quorvil
