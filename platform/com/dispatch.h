// Late binding driven by a type description: a component describes each of its interfaces
// once (members, dispatch ids, parameters, what an omitted argument becomes), and the
// functions here answer IDispatch::GetIDsOfNames and IDispatch::Invoke from that description,
// converting the arguments and calling the member through the interface's vtable. This is
// what the system's type-information based dispatch does for a dual interface.
#pragma once

#include "platform/com/com_api.h"

namespace platform::com {

// What a missing optional argument becomes. With vt VT_EMPTY the parameter has no default
// and receives the "missing" marker (VT_ERROR holding DISP_E_PARAMNOTFOUND), which only a
// VARIANT parameter can take.
struct ParamDefault {
    VARTYPE vt = VT_EMPTY;          // VT_EMPTY, VT_I4, VT_BOOL or VT_BSTR
    LONG number = 0;                // for VT_I4 and VT_BOOL
    const OLECHAR* text = nullptr;  // for VT_BSTR
};

inline constexpr ParamDefault NoDefault() {
    return {};
}
inline constexpr ParamDefault DefaultNumber(LONG n) {
    return {VT_I4, n, nullptr};
}
inline constexpr ParamDefault DefaultBool(bool b) {
    return {VT_BOOL, b ? VARIANT_TRUE : VARIANT_FALSE, nullptr};
}
inline constexpr ParamDefault DefaultText(const OLECHAR* t) {
    return {VT_BSTR, 0, t};
}

struct TypeDesc;

// The type of a parameter or a result as type information describes it.
struct TypeSpec {
    VARTYPE vt = VT_EMPTY;  // VT_I4, VT_BOOL, VT_BSTR, VT_VARIANT, VT_DISPATCH, VT_UNKNOWN or
                            // VT_VOID (no result)
    bool byRef = false;     // passed as a pointer to the caller's variable
    const TypeDesc* object = nullptr;  // an object with that described interface
};

struct ParamDesc {
    const OLECHAR* name;
    bool optional = false;
    ParamDefault defaultValue = {};
    TypeSpec type = {};  // for event members; the others take their types from their signature
};

// Calls one member on self (the interface pointer). args holds one variant per parameter in
// declaration order (never null; references are allowed); the member's return value, if it
// has one, goes to *result. When an argument cannot be converted to its parameter's type the
// thunk returns the conversion's error and sets *badParam to the parameter's index;
// otherwise *badParam is left alone and the member's own HRESULT is returned.
using MemberThunk = HRESULT (*)(void* self, VARIANT* const* args, VARIANT* result, UINT* badParam);

struct MemberDesc {
    const OLECHAR* name;
    DISPID dispid;
    WORD invokeKind;  // one of DISPATCH_METHOD, _PROPERTYGET, _PROPERTYPUT, _PROPERTYPUTREF
    WORD funcFlags;   // FUNCFLAG_FHIDDEN for hidden members
    const ParamDesc* params;
    UINT paramCount;             // parameters without the return value
    bool hasResult;              // the member gives back a value
    MemberThunk thunk;           // nullptr for the members of an event interface
    const TypeSpec* paramTypes;  // from the signature; nullptr for event members (see ParamDesc)
    TypeSpec resultType;         // VT_VOID without a result
};

struct TypeDesc {
    const OLECHAR* name;
    GUID guid;
    TYPEKIND kind;
    WORD flags;  // TYPEFLAG_*
    const MemberDesc* members;
    UINT memberCount;
    // For a class: its default interface and its default event interface (or nullptr).
    const TypeDesc* defaultInterface;
    const TypeDesc* defaultEvents;
};

struct TypeLibDesc {
    const OLECHAR* name;
    GUID guid;
    LCID lcid;
    WORD majorVersion;
    WORD minorVersion;
    const TypeDesc* const* types;
    UINT typeCount;
};

// The type of parameter k of a member.
inline const TypeSpec& ParamType(const MemberDesc& member, UINT k) {
    return member.paramTypes ? member.paramTypes[k] : member.params[k].type;
}

// The type of a library with that GUID, or nullptr.
KCOM_API const TypeDesc* FindType(const TypeLibDesc& library, REFGUID guid);

// IDispatch::GetIDsOfNames for an interface described by type: the first name is a member
// (compared without regard to ASCII letter case), the others are parameter names of that
// member, which map to their positions.
KCOM_API HRESULT DispGetIDsOfNames(const TypeDesc& type, REFIID riid, LPOLESTR* rgszNames,
                                   UINT cNames, DISPID* rgDispId);

// IDispatch::Invoke for an interface described by type, calling through self. Arguments
// are matched to parameters (positional ones in reverse order in rgvarg, named ones by
// position id or DISPID_PROPERTYPUT), omitted optional ones get their defaults, and each is
// converted to its parameter's type. Standard failures:
//   DISP_E_UNKNOWNINTERFACE  riid is not IID_NULL
//   DISP_E_MEMBERNOTFOUND    no member with that id and kind of call
//   DISP_E_BADPARAMCOUNT     too many arguments, or a required one is absent
//   DISP_E_PARAMNOTOPTIONAL  a required argument is passed as "missing"
//   DISP_E_PARAMNOTFOUND     a named argument names no parameter (*puArgErr: its index)
//   DISP_E_TYPEMISMATCH / DISP_E_OVERFLOW  an argument does not convert (*puArgErr: its
//                            index in rgvarg)
//   DISP_E_EXCEPTION         the member failed; pExcepInfo holds its HRESULT (scode), source
//                            and description. Without pExcepInfo the member's HRESULT is
//                            returned and its error information stays set.
KCOM_API HRESULT DispInvoke(const TypeDesc& type, void* self, DISPID dispIdMember, REFIID riid,
                            WORD wFlags, DISPPARAMS* pDispParams, VARIANT* pVarResult,
                            EXCEPINFO* pExcepInfo, UINT* puArgErr);

// Calls a sink's IDispatch::Invoke as a method with the given arguments in declaration order
// (they are handed over in reverse order, as Invoke expects). Used to raise events.
KCOM_API HRESULT InvokeMethod(IDispatch* sink, DISPID dispid, VARIANT* args, UINT count);

}  // namespace platform::com
