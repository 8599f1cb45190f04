// What every object of the library shares: the count of live objects and server locks that
// DllCanUnloadNow answers from, the reference counting and interface look-up, IDispatch
// answered from the type library description (type information included), the rule that no
// C++ exception leaves a method (it becomes an HRESULT with error information), and the
// apartment: every object lives on the GUI thread (platform/win/gui_thread.h), and a call from
// any other thread is carried there and waited for.
#pragma once

#include <atomic>
#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "platform/com/com_api.h"
#include "platform/com/dispatch.h"
#include "platform/com/type_info.h"
#include "platform/win/gui_thread.h"
#include "traylib/typelib/type_info.h"

namespace quorvil {

using namespace platform::com;

// Objects of this library that are alive now, and locks taken with
// IClassFactory::LockServer. The library may be unloaded only when both are zero.
void ObjectCreated();
void ObjectDestroyed();
void LockModule(bool lock);
LONG LiveObjects();
LONG ServerLocks();

// Runs body and turns any exception it throws into a failure HRESULT with error information
// from source, so that nothing thrown crosses the vtable.
template <typename Body>
HRESULT Guarded(std::u16string_view source, Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return ReportError(E_OUTOFMEMORY, source, u"Out of memory");
    } catch (const std::exception& e) {
        std::u16string text;
        for (const char* p = e.what(); *p; ++p) {
            text += static_cast<char16_t>(static_cast<unsigned char>(*p));
        }
        return ReportError(E_FAIL, source, text);
    } catch (...) {
        return ReportError(E_UNEXPECTED, source, u"Unexpected failure");
    }
}

// Runs work (returning an HRESULT) on the GUI thread, as a call into the library's apartment:
// at once when the caller is on it (or there is none), else carried there while the caller
// waits and receives the events posted to it meanwhile. The error information that work leaves
// comes back to the calling thread.
template <typename Work>
HRESULT InApartment(Work&& work) {
    HRESULT hr = E_UNEXPECTED;
    IErrorInfo* info = nullptr;
    platform::win::RunOnGuiThread([&] {
        hr = work();
        GetErrorInfo(0, &info);
    });
    if (info || FAILED(hr)) {
        SetErrorInfo(0, info);
    }
    if (info) {
        info->Release();
    }
    return hr;
}

// A method of a library object as clients on any thread call it: body runs in the apartment,
// and whatever it throws becomes an HRESULT with error information from source.
template <typename Body>
HRESULT ApartmentCall(std::u16string_view source, Body&& body) {
    return InApartment([&] { return Guarded(source, body); });
}

// Base of the library's classes: Interface is the class's dual interface, described by
// type. The object starts with one reference, held by its creator, and deletes itself on the
// GUI thread when the last one goes, from whichever thread that is. It holds the GUI thread
// while it lives. Derived classes add interfaces by overriding FindInterface.
template <typename Interface>
class ServerObject : public Interface, public ISupportErrorInfo {
  public:
    ServerObject(const TypeDesc& type, const IID& iid) : type_(type), iid_(iid) { ObjectCreated(); }
    ServerObject(const ServerObject&) = delete;
    ServerObject& operator=(const ServerObject&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) {
            return E_POINTER;
        }
        void* found = nullptr;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == iid_) {
            found = static_cast<Interface*>(this);
        } else if (riid == IID_ISupportErrorInfo) {
            found = static_cast<ISupportErrorInfo*>(this);
        } else {
            found = FindInterface(riid);
        }
        *ppv = found;
        if (!found) {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) {
            platform::win::RunOnGuiThread([this] { delete this; });
        }
        return left;
    }

    // IDispatch: the type information of the class's interface.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {
        if (!pctinfo) {
            return E_POINTER;
        }
        *pctinfo = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID, ITypeInfo** ppTInfo) override {
        if (!ppTInfo) {
            return E_POINTER;
        }
        *ppTInfo = nullptr;
        if (iTInfo != 0) {
            return DISP_E_BADINDEX;
        }
        return GiveTypeInfo(type_, ppTInfo);
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                                            DISPID* rgDispId) override {
        return DispGetIDsOfNames(type_, riid, rgszNames, cNames, rgDispId);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                     EXCEPINFO* pExcepInfo, UINT* puArgErr) override {
        return DispInvoke(type_, static_cast<Interface*>(this), dispIdMember, riid, wFlags,
                          pDispParams, pVarResult, pExcepInfo, puArgErr);
    }

    // ISupportErrorInfo: every failure of the class's interface comes with error information.
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override {
        return riid == iid_ ? S_OK : S_FALSE;
    }

  protected:
    virtual ~ServerObject() { ObjectDestroyed(); }
    // Further interfaces of a derived class: a pointer to this object as that interface, or
    // nullptr. The caller adds the reference.
    virtual void* FindInterface(REFIID) { return nullptr; }

  private:
    platform::win::GuiThreadUse gui_;  // first: taken before the object is made, dropped last
    const TypeDesc& type_;
    const IID& iid_;
    std::atomic<ULONG> refs_ = 1;
};

// Puts a new reference to object into *out (E_POINTER when out is null).
template <typename T, typename U>
HRESULT GiveReference(U* object, T** out) {
    if (!out) {
        return E_POINTER;
    }
    *out = object;
    if (object) {
        object->AddRef();
    }
    return S_OK;
}

}  // namespace quorvil
