// What the type information objects of the library share (type_info.cpp, type_lib.cpp,
// func_desc.cpp): where a type stands in the library, how it is shown, the references that
// lead to its views, its function descriptions, and the count that keeps the library loaded
// while a client holds one of them.
#pragma once

#include <atomic>
#include <string_view>

#include "platform/com/type_info.h"
#include "traylib/typelib/type_library.h"

namespace quorvil::typeinfo {

using namespace platform::com;

const TypeLibDesc& Library();

// The position of a type in the library: also the HREFTYPE of the view its ITypeInfo shows
// (TKIND_DISPATCH for a dual interface).
UINT IndexOf(const TypeDesc& type);

bool IsDual(const TypeDesc& type);
// How the library shows a type: a dual interface as TKIND_DISPATCH.
TYPEKIND ShownKind(const TypeDesc& type);

// The references to the views that are not in the library's list: the vtable view
// (TKIND_INTERFACE) of the dual interface at a position, and the base interfaces.
inline constexpr HREFTYPE kVtableViewRef = 0x100;  // + the position of the dual interface
inline constexpr HREFTYPE kIDispatchRef = 0x200;
inline constexpr HREFTYPE kIUnknownRef = 0x201;

bool SameName(std::u16string_view a, std::u16string_view b);
// A new BSTR with text into *out (nothing when out is null).
HRESULT GiveText(std::u16string_view text, BSTR* out);

// The description of member, the function at index of its type: a dispatch function
// (FUNC_DISPATCH, its result as the function's type), or in the vtable view the slot after
// IDispatch's seven (FUNC_PUREVIRTUAL returning HRESULT, the result as a last out-parameter
// flagged retval). Freed by FreeFuncDesc.
HRESULT NewFuncDesc(const MemberDesc& member, UINT index, bool vtable, FUNCDESC** out);
void FreeFuncDesc(FUNCDESC* desc);

// The reference count of a type information object. The objects live as long as the process,
// but one that a client holds counts as a live object of the library (its code must stay
// loaded).
class HeldCount {
  public:
    ULONG AddRef();
    ULONG Release();

  private:
    std::atomic<ULONG> refs_ = 0;
};

}  // namespace quorvil::typeinfo
