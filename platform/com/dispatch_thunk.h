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
// and IUnknown*. The same types go into the description for type information; a returned
// interface of the component's own is described as that interface when kDescribedBy names
// its description (specialise it before the member tables).
#pragma once

#include <array>
#include <cstddef>
#include <tuple>
#include <type_traits>
#include <utility>

#include "platform/com/dispatch.h"

namespace platform::com {

// The description of an interface type I of a component, for type information; nullptr for
// interfaces described nowhere (results are then plain objects).
template <typename I>
inline constexpr const TypeDesc* kDescribedBy = nullptr;

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

template <typename T>
constexpr TypeSpec InType() {
    if constexpr (std::is_same_v<T, BSTR>) {
        return {VT_BSTR};
    } else if constexpr (std::is_same_v<T, LONG>) {
        return {VT_I4};
    } else if constexpr (std::is_same_v<T, VARIANT_BOOL>) {
        return {VT_BOOL};
    } else if constexpr (std::is_same_v<T, VARIANT_BOOL*>) {
        return {VT_BOOL, true};
    } else if constexpr (std::is_same_v<T, VARIANT>) {
        return {VT_VARIANT};
    } else if constexpr (std::is_same_v<T, IDispatch*>) {
        return {VT_DISPATCH};
    } else {
        static_assert(std::is_same_v<T, IUnknown*>, "unsupported parameter type");
        return {VT_UNKNOWN};
    }
}

template <typename T>
constexpr TypeSpec OutType() {
    using P = std::remove_pointer_t<T>;
    if constexpr (kIsInterface<std::remove_pointer_t<P>>) {
        using I = std::remove_pointer_t<P>;
        return {std::is_base_of_v<IDispatch, I> ? VT_DISPATCH : VT_UNKNOWN, false, kDescribedBy<I>};
    } else {
        return InType<P>();
    }
}

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

template <auto Method, std::size_t... I>
constexpr std::array<TypeSpec, sizeof...(I)> ParamTypes(std::index_sequence<I...>) {
    using Params = typename MethodTraits<decltype(Method)>::Params;
    return {InType<std::tuple_element_t<I, Params>>()...};
}

// The types of a member's parameters and of its result, as its signature gives them.
template <auto Method>
struct Signature {
    using Traits = MethodTraits<decltype(Method)>;
    static constexpr std::array<TypeSpec, Traits::kInCount> kParams =
        ParamTypes<Method>(std::make_index_sequence<Traits::kInCount>());
    static constexpr TypeSpec kResult = [] {
        if constexpr (Traits::kHasResult) {
            return OutType<std::tuple_element_t<Traits::kCount - 1, typename Traits::Params>>();
        } else {
            return TypeSpec{VT_VOID};
        }
    }();
};

}  // namespace dispatch_detail

// A member with parameters; their number must match the member's signature.
template <auto Method, std::size_t N>
constexpr MemberDesc DispMember(const OLECHAR* name, DISPID dispid, WORD invokeKind,
                                const ParamDesc (&params)[N], WORD funcFlags = 0) {
    using Traits = dispatch_detail::MethodTraits<decltype(Method)>;
    using Signature = dispatch_detail::Signature<Method>;
    static_assert(Traits::kInCount == N, "the description and the signature disagree");
    return {name,
            dispid,
            invokeKind,
            funcFlags,
            params,
            N,
            Traits::kHasResult,
            &dispatch_detail::Thunk<Method>,
            Signature::kParams.data(),
            Signature::kResult};
}

// A member without parameters (other than its return value).
template <auto Method>
constexpr MemberDesc DispMember(const OLECHAR* name, DISPID dispid, WORD invokeKind,
                                WORD funcFlags = 0) {
    using Traits = dispatch_detail::MethodTraits<decltype(Method)>;
    static_assert(Traits::kInCount == 0, "the description and the signature disagree");
    return {name,
            dispid,
            invokeKind,
            funcFlags,
            nullptr,
            0,
            Traits::kHasResult,
            &dispatch_detail::Thunk<Method>,
            nullptr,
            dispatch_detail::Signature<Method>::kResult};
}

// A member of an event interface: called on the client's sink, never through a thunk.
// Its parameters' types are those of params.
template <std::size_t N>
constexpr MemberDesc EventMember(const OLECHAR* name, DISPID dispid, const ParamDesc (&params)[N]) {
    return {name, dispid, DISPATCH_METHOD, 0, params, N, false, nullptr, nullptr, {VT_VOID}};
}
constexpr MemberDesc EventMember(const OLECHAR* name, DISPID dispid) {
    return {name, dispid, DISPATCH_METHOD, 0, nullptr, 0, false, nullptr, nullptr, {VT_VOID}};
}

}  // namespace platform::com
