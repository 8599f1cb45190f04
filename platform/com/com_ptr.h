// Small owning helpers for clients and components: a counted interface reference, an owned
// BSTR and an owned VARIANT. They only call AddRef/Release, SysFreeString and VariantClear.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "platform/com/com_api.h"

namespace platform::com {

template <typename T>
class ComPtr {
  public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a new reference to p.
    explicit ComPtr(T* p) : p_(p) {
        if (p_) {
            p_->AddRef();
        }
    }
    ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~ComPtr() { Reset(); }

    // Adopts a reference the caller owns.
    static ComPtr Attach(T* p) {
        ComPtr result;
        result.p_ = p;
        return result;
    }
    // Gives up the reference without releasing it.
    T* Detach() { return std::exchange(p_, nullptr); }
    void Reset() {
        if (T* p = std::exchange(p_, nullptr)) {
            p->Release();
        }
    }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

    // For out parameters: releases the current reference and returns where to put a new one.
    T** Put() {
        Reset();
        return &p_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }

    template <typename U>
    HRESULT As(const IID& iid, ComPtr<U>* out) const {
        if (!p_) {
            return E_POINTER;
        }
        return p_->QueryInterface(iid, out->PutVoid());
    }

  private:
    T* p_ = nullptr;
};

class Bstr {
  public:
    Bstr() = default;
    explicit Bstr(std::u16string_view text)
        : b_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    Bstr(const Bstr& other) : Bstr(other.View()) {}
    Bstr(Bstr&& other) noexcept : b_(std::exchange(other.b_, nullptr)) {}
    Bstr& operator=(Bstr other) noexcept {
        std::swap(b_, other.b_);
        return *this;
    }
    ~Bstr() { SysFreeString(b_); }

    static Bstr Attach(BSTR b) {
        Bstr result;
        result.b_ = b;
        return result;
    }
    BSTR Detach() { return std::exchange(b_, nullptr); }
    BSTR get() const { return b_; }
    BSTR* Put() {
        SysFreeString(std::exchange(b_, nullptr));
        return &b_;
    }
    std::u16string_view View() const {
        return b_ ? std::u16string_view(b_, SysStringLen(b_)) : std::u16string_view();
    }
    std::u16string Text() const { return std::u16string(View()); }

  private:
    BSTR b_ = nullptr;
};

class Variant {
  public:
    Variant() { VariantInit(&v_); }
    Variant(const Variant& other) : Variant() { VariantCopy(&v_, &other.v_); }
    Variant& operator=(const Variant& other) {
        VariantCopy(&v_, &other.v_);
        return *this;
    }
    ~Variant() { VariantClear(&v_); }

    static Variant Long(LONG n) {
        Variant v;
        v.v_.vt = VT_I4;
        v.v_.lVal = n;
        return v;
    }
    static Variant Short(SHORT n) {
        Variant v;
        v.v_.vt = VT_I2;
        v.v_.iVal = n;
        return v;
    }
    static Variant Bool(bool b) {
        Variant v;
        v.v_.vt = VT_BOOL;
        v.v_.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
        return v;
    }
    static Variant Text(std::u16string_view text) {
        Variant v;
        v.v_.vt = VT_BSTR;
        v.v_.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return v;
    }
    // The "missing optional argument" marker.
    static Variant Missing() {
        Variant v;
        v.v_.vt = VT_ERROR;
        v.v_.scode = DISP_E_PARAMNOTFOUND;
        return v;
    }
    // Holds a new reference to the object.
    static Variant Object(IDispatch* p) {
        Variant v;
        v.v_.vt = VT_DISPATCH;
        v.v_.pdispVal = p;
        if (p) {
            p->AddRef();
        }
        return v;
    }

    VARIANT* get() { return &v_; }
    const VARIANT* get() const { return &v_; }
    VARIANT* operator->() { return &v_; }
    const VARIANT* operator->() const { return &v_; }
    // Clears the value and returns where to put a new one.
    VARIANT* Put() {
        VariantClear(&v_);
        return &v_;
    }

  private:
    VARIANT v_;
};

}  // namespace platform::com
