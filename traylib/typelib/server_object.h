// What every object of the library shares: the count of live objects and server locks that
// DllCanUnloadNow answers from, the reference counting and interface look-up, IDispatch
// answered from the type library description, and the rule that no C++ exception leaves a
// method (it becomes an HRESULT with error information).
#pragma once

#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "platform/com/com_api.h"
#include "platform/com/dispatch.h"

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

// Base of the library's classes: Interface is the class's dual interface, described by
// type. The object starts with one reference, held by its creator, and deletes itself when
// the last one goes. Derived classes add interfaces by overriding FindInterface.
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
            delete this;
        }
        return left;
    }

    // IDispatch
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {
        if (!pctinfo) {
            return E_POINTER;
        }
        *pctinfo = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
        if (ppTInfo) {
            *ppTInfo = nullptr;
        }
        return E_NOTIMPL;
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
    const TypeDesc& type_;
    const IID& iid_;
    ULONG refs_ = 1;
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
