// The type information of quorvil, read from the one description of its types
// (type_library.h) that also drives IDispatch: an ITypeLib for the library and an ITypeInfo
// for each view of its types. They describe constant tables, so they exist once per process,
// may be used from any thread and are never destroyed; yet while a client holds one, it counts
// as a live object of the library, so that DllCanUnloadNow keeps the library's code loaded.
//
// What they tell:
//   - a dual interface (_SysTray, _MenuItems, _MenuItem) in two views, as COM describes a
//     dual. Its dispatch view (TKIND_DISPATCH, TYPEFLAG_FDUAL; what the library lists and
//     IDispatch::GetTypeInfo gives) is the dispatch interface that Invoke serves: one FUNCDESC
//     per accessor or method in vtable order (FUNC_DISPATCH, its dispatch id, invoke kind,
//     parameters with names, types, flags and default values, the type of its result,
//     FUNCFLAG_FHIDDEN for NewEnum). GetRefTypeOfImplType(-1) hands over its vtable view
//     (TKIND_INTERFACE, TYPEFLAG_FDUAL): the same functions as FUNC_PUREVIRTUAL in their slots
//     after IDispatch's seven (oVft), returning HRESULT, a result as a last parameter flagged
//     out and retval (named "retval"); its GetRefTypeOfImplType(-1) leads back. ITypeInfo
//     ::Invoke in either view calls the member on the given interface pointer;
//   - the event interface __SysTray (TKIND_DISPATCH) with its six events;
//   - every interface implements one base (cImplTypes 1): IDispatch, whose own base is
//     IUnknown. The two are named and sized (cbSizeVft) but their functions are not described
//     and they have no containing library here (GetContainingTypeLib: E_NOTIMPL);
//   - the classes (TKIND_COCLASS): SysTray creatable (CreateInstance creates one), with its
//     default interface and its default source (IMPLTYPEFLAG_FDEFAULT | FSOURCE); MenuItems and
//     MenuItem not creatable;
//   - the library: language 0x409, version 1.0, the seven types, names found by IsName and
//     FindName (without regard to letter case).
// What they do not provide: binding through ITypeComp (GetTypeComp answers E_NOTIMPL),
// variables (there are none), documentation strings and help files (empty), and module entry
// points (GetDllEntry and AddressOfMember answer TYPE_E_BADMODULEKIND).
#pragma once

#include "platform/com/type_info.h"
#include "traylib/typelib/type_library.h"

namespace quorvil {

using namespace platform::com;

// Puts a reference to the type information of a type of the library into *out.
HRESULT GiveTypeInfo(const TypeDesc& type, ITypeInfo** out);

// Puts a reference to the library's type information into *out.
HRESULT GiveTypeLib(ITypeLib** out);

}  // namespace quorvil
