// The one description of quorvil's type library: its seven types with their identifiers,
// kinds, flags and members. IDispatch::GetIDsOfNames and IDispatch::Invoke of every class of
// the library answer from it.
#pragma once

#include "platform/com/dispatch.h"

namespace quorvil {

using platform::com::TypeDesc;
using platform::com::TypeLibDesc;

const TypeLibDesc& TypeLibrary();

extern const TypeDesc kSysTrayInterfaceType;    // _SysTray
extern const TypeDesc kSysTrayClassType;        // SysTray
extern const TypeDesc kSysTrayEventsType;       // __SysTray
extern const TypeDesc kMenuItemsInterfaceType;  // _MenuItems
extern const TypeDesc kMenuItemsClassType;      // MenuItems
extern const TypeDesc kMenuItemInterfaceType;   // _MenuItem
extern const TypeDesc kMenuItemClassType;       // MenuItem

}  // namespace quorvil
