// Generates the call of one interface member from its C++ signature, for the dispatch
// descriptions of dispatch.h:
//
//   static constexpr ParamDesc kAddParams[] = {{u"Caption"}, {u"Key", true, DefaultText(u"")}};
//   DispMember<&IThing::Add>(u"Add", 0x60030002, DISPATCH_METHOD, kAddParams)
//
// The parameter types come from the member's signature; a last parameter that points at a
// value (BSTR*, LONG*, VARIANT*, an interface pointer's address...) is the return value.
// Supported parameter types: BSTR, LONG, VARIANT_BOOL, VARIANT (by value), VARIANT_BOOL*
// (by reference: the caller's variable when the argument is a reference to one), IDispatch*
// and IUnknown*.
#pragma once

#include <cstddef>
#include <tuple>
#include <type_traits>
#include <utility>

#include "platform/com/dispatch.h"

namespace platform::com {

namespace dispatch_detail {

template <typename T>
inline constexpr bool kIsInterface = std::is_base_of_v<IUnknown, T>;

// Whether a parameter type is an out-pointer for the return value.
template <typename T>
constexpr bool IsResultType() {
    if constexpr (!std::is_pointer_v<T>) {
        return false;
    } else {
        // A BSTR is itself a pointer (to its characters), an interface pointer is an input.
        using P = std::remove_cv_t<std::remove_pointer_t<T>>;
        return !kIsInterface<P> && !std::is_same_v<P, OLECHAR>;
    }
}

template <typename T>
struct InArg;

template <>
struct InArg<BSTR> {
    VARIANT owned;
    BSTR value = nullptr;
    InArg() { VariantInit(&owned); }
    ~InArg() { VariantClear(&owned); }
    HRESULT Load(VARIANT* v) {
        if (v->vt == VT_BSTR) {
            value = v->bstrVal;
            return S_OK;
        }
        if (v->vt == (VT_BYREF | VT_BSTR)) {
            value = *v->pbstrVal;
            return S_OK;
        }
        const HRESULT hr = VariantChangeType(&owned, v, 0, VT_BSTR);
        value = owned.bstrVal;
        return hr;
    }
    BSTR Get() const { return value; }
};

template <VARTYPE Vt>
struct ScalarArg {
    VARIANT owned;
    ScalarArg() { VariantInit(&owned); }
    ~ScalarArg() { VariantClear(&owned); }
    HRESULT Load(VARIANT* v) { return VariantChangeType(&owned, v, 0, Vt); }
};

template <>
struct InArg<LONG> : ScalarArg<VT_I4> {
    LONG Get() const { return owned.lVal; }
};

template <>
struct InArg<VARIANT_BOOL> : ScalarArg<VT_BOOL> {
    VARIANT_BOOL Get() const { return owned.boolVal; }
};

template <>
struct InArg<VARIANT_BOOL*> : ScalarArg<VT_BOOL> {
    VARIANT_BOOL* pointer = nullptr;
    HRESULT Load(VARIANT* v) {
        if (v->vt == (VT_BYREF | VT_BOOL)) {
            pointer = v->pboolVal;
            return S_OK;
        }
        pointer = &owned.boolVal;
        return ScalarArg<VT_BOOL>::Load(v);
    }
    VARIANT_BOOL* Get() const { return pointer; }
};

template <>
struct InArg<VARIANT> {
    VARIANT owned;
    InArg() { VariantInit(&owned); }
    ~InArg() { VariantClear(&owned); }
    // The member sees the value itself, never a reference to the caller's variable.
    HRESULT Load(VARIANT* v) { return VariantCopyInd(&owned, v); }
    VARIANT Get() const { return owned; }
};

template <>
struct InArg<IDispatch*> : ScalarArg<VT_DISPATCH> {
    IDispatch* Get() const { return owned.pdispVal; }
};

template <>
struct InArg<IUnknown*> : ScalarArg<VT_UNKNOWN> {
    IUnknown* Get() const { return owned.punkVal; }
};

template <typename T>
struct Result;

template <>
struct Result<BSTR*> {
    BSTR value = nullptr;
    ~Result() { SysFreeString(value); }
    BSTR* Out() { return &value; }
    void Store(VARIANT* v) {
        v->vt = VT_BSTR;
        v->bstrVal = value;
        value = nullptr;
    }
};

template <>
struct Result<LONG*> {
    LONG value = 0;
    LONG* Out() { return &value; }
    void Store(VARIANT* v) {
        v->vt = VT_I4;
        v->lVal = value;
    }
};

template <>
struct Result<VARIANT_BOOL*> {
    VARIANT_BOOL value = VARIANT_FALSE;
    VARIANT_BOOL* Out() { return &value; }
    void Store(VARIANT* v) {
        v->vt = VT_BOOL;
        v->boolVal = value;
    }
};

template <>
struct Result<VARIANT*> {
    VARIANT value;
    Result() { VariantInit(&value); }
    ~Result() { VariantClear(&value); }
    VARIANT* Out() { return &value; }
    void Store(VARIANT* v) {
        *v = value;
        VariantInit(&value);
    }
};

template <typename I>
struct Result<I**> {
    static_assert(kIsInterface<I>, "unsupported return type");
    I* value = nullptr;
    ~Result() {
        if (value) {
            value->Release();
        }
    }
    I** Out() { return &value; }
    void Store(VARIANT* v) {
        if constexpr (std::is_base_of_v<IDispatch, I>) {
            v->vt = VT_DISPATCH;
            v->pdispVal = value;
        } else {
            v->vt = VT_UNKNOWN;
            v->punkVal = value;
        }
        value = nullptr;
    }
};

template <typename M>
struct MethodTraits;

template <typename C, typename... A>
struct MethodTraits<HRESULT (STDMETHODCALLTYPE C::*)(A...)> {
    using Class = C;
    using Params = std::tuple<A...>;
    static constexpr std::size_t kCount = sizeof...(A);
    static constexpr bool kHasResult = [] {
        if constexpr (kCount == 0) {
            return false;
        } else {
            return IsResultType<std::tuple_element_t<kCount - 1, Params>>();
        }
    }();
    static constexpr std::size_t kInCount = kCount - (kHasResult ? 1 : 0);
};

template <auto Method, std::size_t... I>
HRESULT CallWith(void* self, [[maybe_unused]] VARIANT* const* args, VARIANT* result,
                 [[maybe_unused]] UINT* badParam, std::index_sequence<I...>) {
    using Traits = MethodTraits<decltype(Method)>;
    using Params = typename Traits::Params;
    std::tuple<InArg<std::tuple_element_t<I, Params>>...> in;
    HRESULT hr = S_OK;
    // Convert in declaration order and stop at the first argument that does not convert.
    const bool converted =
        ((SUCCEEDED(hr = std::get<I>(in).Load(args[I])) || (*badParam = I, false)) && ...);
    if (!converted) {
        return hr;
    }
    auto* object = static_cast<typename Traits::Class*>(self);
    if constexpr (Traits::kHasResult) {
        Result<std::tuple_element_t<Traits::kCount - 1, Params>> out;
        hr = (object->*Method)(std::get<I>(in).Get()..., out.Out());
        if (SUCCEEDED(hr)) {
            out.Store(result);
        }
        return hr;
    } else {
        return (object->*Method)(std::get<I>(in).Get()...);
    }
}

template <auto Method>
HRESULT Thunk(void* self, VARIANT* const* args, VARIANT* result, UINT* badParam) {
    using Traits = MethodTraits<decltype(Method)>;
    return CallWith<Method>(self, args, result, badParam,
                            std::make_index_sequence<Traits::kInCount>());
}

}  // namespace dispatch_detail

// A member with parameters; their number must match the member's signature.
template <auto Method, std::size_t N>
constexpr MemberDesc DispMember(const OLECHAR* name, DISPID dispid, WORD invokeKind,
                                const ParamDesc (&params)[N], WORD funcFlags = 0) {
    using Traits = dispatch_detail::MethodTraits<decltype(Method)>;
    static_assert(Traits::kInCount == N, "the description and the signature disagree");
    return {name,   dispid, invokeKind,         funcFlags,
            params, N,      Traits::kHasResult, &dispatch_detail::Thunk<Method>};
}

// A member without parameters (other than its return value).
template <auto Method>
constexpr MemberDesc DispMember(const OLECHAR* name, DISPID dispid, WORD invokeKind,
                                WORD funcFlags = 0) {
    using Traits = dispatch_detail::MethodTraits<decltype(Method)>;
    static_assert(Traits::kInCount == 0, "the description and the signature disagree");
    return {name,    dispid, invokeKind,         funcFlags,
            nullptr, 0,      Traits::kHasResult, &dispatch_detail::Thunk<Method>};
}

// A member of an event interface: called on the client's sink, never through a thunk.
template <std::size_t N>
constexpr MemberDesc EventMember(const OLECHAR* name, DISPID dispid, const ParamDesc (&params)[N]) {
    return {name, dispid, DISPATCH_METHOD, 0, params, N, false, nullptr};
}
constexpr MemberDesc EventMember(const OLECHAR* name, DISPID dispid) {
    return {name, dispid, DISPATCH_METHOD, 0, nullptr, 0, false, nullptr};
}

}  // namespace platform::com
