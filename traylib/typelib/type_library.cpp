#include "traylib/typelib/type_library.h"

#include <iterator>

#include "platform/com/dispatch_thunk.h"
#include "traylib/quorvil.h"

// Objects of the library's own interfaces, as results, are described as those interfaces.
namespace platform::com {
template <>
inline constexpr const TypeDesc* kDescribedBy<quorvil::_MenuItems> =
    &quorvil::kMenuItemsInterfaceType;
template <>
inline constexpr const TypeDesc* kDescribedBy<quorvil::_MenuItem> =
    &quorvil::kMenuItemInterfaceType;
}  // namespace platform::com

namespace quorvil {

namespace {

using platform::com::DefaultBool;
using platform::com::DefaultNumber;
using platform::com::DefaultText;
using platform::com::DispMember;
using platform::com::EventMember;
using platform::com::MemberDesc;
using platform::com::NoDefault;
using platform::com::ParamDesc;

constexpr WORD kGet = DISPATCH_PROPERTYGET;
constexpr WORD kPut = DISPATCH_PROPERTYPUT;
constexpr WORD kPutRef = DISPATCH_PROPERTYPUTREF;
constexpr WORD kMethod = DISPATCH_METHOD;

// Interfaces of the library's classes: hidden, dual, not extensible, automation types.
constexpr WORD kDualFlags =
    TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION;

constexpr ParamDesc kValue[] = {{u"value"}};
constexpr ParamDesc kIndex[] = {{u"Index"}};
constexpr ParamDesc kAddParams[] = {
    {u"Caption"},
    {u"Key", true, DefaultText(u"")},
    {u"Tag", true, NoDefault()},
    {u"ItemData", true, DefaultNumber(0)},
    {u"Checked", true, DefaultBool(false)},
    {u"Enabled", true, DefaultBool(true)},
};
constexpr ParamDesc kMouseEvent[] = {{u"MouseEvent"}};
// The events' parameters: a 32-bit button code, and the chosen entry by reference.
constexpr ParamDesc kButton[] = {{u"Button", false, {}, {VT_I4}}};
constexpr ParamDesc kItem[] = {{u"Item", false, {}, {VT_DISPATCH, true, &kMenuItemInterfaceType}}};

constexpr MemberDesc kMenuItemMembers[] = {
    DispMember<&_MenuItem::put_Caption>(u"Caption", DISPID_MenuItem_Caption, kPut, kValue),
    DispMember<&_MenuItem::get_Caption>(u"Caption", DISPID_MenuItem_Caption, kGet),
    DispMember<&_MenuItem::put_Key>(u"Key", DISPID_MenuItem_Key, kPut, kValue),
    DispMember<&_MenuItem::get_Key>(u"Key", DISPID_MenuItem_Key, kGet),
    DispMember<&_MenuItem::put_Tag>(u"Tag", DISPID_MenuItem_Tag, kPut, kValue),
    DispMember<&_MenuItem::get_Tag>(u"Tag", DISPID_MenuItem_Tag, kGet),
    DispMember<&_MenuItem::put_ItemData>(u"ItemData", DISPID_MenuItem_ItemData, kPut, kValue),
    DispMember<&_MenuItem::get_ItemData>(u"ItemData", DISPID_MenuItem_ItemData, kGet),
    DispMember<&_MenuItem::put_Checked>(u"Checked", DISPID_MenuItem_Checked, kPut, kValue),
    DispMember<&_MenuItem::get_Checked>(u"Checked", DISPID_MenuItem_Checked, kGet),
    DispMember<&_MenuItem::put_Enabled>(u"Enabled", DISPID_MenuItem_Enabled, kPut, kValue),
    DispMember<&_MenuItem::get_Enabled>(u"Enabled", DISPID_MenuItem_Enabled, kGet),
};

constexpr MemberDesc kMenuItemsMembers[] = {
    DispMember<&_MenuItems::get_Item>(u"Item", DISPID_MenuItems_Item, kGet, kIndex),
    DispMember<&_MenuItems::get_Count>(u"Count", DISPID_MenuItems_Count, kGet),
    DispMember<&_MenuItems::Add>(u"Add", DISPID_MenuItems_Add, kMethod, kAddParams),
    DispMember<&_MenuItems::Remove>(u"Remove", DISPID_MenuItems_Remove, kMethod, kIndex),
    DispMember<&_MenuItems::Clear>(u"Clear", DISPID_MenuItems_Clear, kMethod),
    DispMember<&_MenuItems::get_NewEnum>(u"NewEnum", DISPID_MenuItems_NewEnum, kGet,
                                         FUNCFLAG_FHIDDEN),
};

constexpr MemberDesc kSysTrayMembers[] = {
    DispMember<&_SysTray::get_MenuCheck>(u"MenuCheck", DISPID_SysTray_MenuCheck, kGet),
    DispMember<&_SysTray::put_MenuCheck>(u"MenuCheck", DISPID_SysTray_MenuCheck, kPut, kValue),
    DispMember<&_SysTray::get_Menu>(u"Menu", DISPID_SysTray_Menu, kGet),
    DispMember<&_SysTray::put_Visible>(u"Visible", DISPID_SysTray_Visible, kPut, kValue),
    DispMember<&_SysTray::get_Visible>(u"Visible", DISPID_SysTray_Visible, kGet),
    DispMember<&_SysTray::put_EnableMenu>(u"EnableMenu", DISPID_SysTray_EnableMenu, kPut, kValue),
    DispMember<&_SysTray::get_EnableMenu>(u"EnableMenu", DISPID_SysTray_EnableMenu, kGet),
    DispMember<&_SysTray::putref_ImageList>(u"ImageList", DISPID_SysTray_ImageList, kPutRef,
                                            kValue),
    DispMember<&_SysTray::get_ImageList>(u"ImageList", DISPID_SysTray_ImageList, kGet),
    DispMember<&_SysTray::put_Icon>(u"Icon", DISPID_SysTray_Icon, kPut, kValue),
    DispMember<&_SysTray::get_Icon>(u"Icon", DISPID_SysTray_Icon, kGet),
    DispMember<&_SysTray::put_ToolTipText>(u"ToolTipText", DISPID_SysTray_ToolTipText, kPut,
                                           kValue),
    DispMember<&_SysTray::get_ToolTipText>(u"ToolTipText", DISPID_SysTray_ToolTipText, kGet),
    DispMember<&_SysTray::ShowMenu>(u"ShowMenu", DISPID_SysTray_ShowMenu, kMethod),
    DispMember<&_SysTray::SendEvent>(u"SendEvent", DISPID_SysTray_SendEvent, kMethod, kMouseEvent),
};

constexpr MemberDesc kSysTrayEvents[] = {
    EventMember(u"Click", DISPID_SysTrayEvents_Click, kButton),
    EventMember(u"MouseDown", DISPID_SysTrayEvents_MouseDown, kButton),
    EventMember(u"MouseUp", DISPID_SysTrayEvents_MouseUp, kButton),
    EventMember(u"MouseMove", DISPID_SysTrayEvents_MouseMove),
    EventMember(u"DoubleClick", DISPID_SysTrayEvents_DoubleClick, kButton),
    EventMember(u"MenuClick", DISPID_SysTrayEvents_MenuClick, kItem),
};

}  // namespace

const TypeDesc kSysTrayInterfaceType = {
    u"_SysTray", IID__SysTray,    platform::com::TKIND_INTERFACE,
    kDualFlags,  kSysTrayMembers, std::size(kSysTrayMembers),
    nullptr,     nullptr};
const TypeDesc kSysTrayEventsType = {u"__SysTray",
                                     DIID___SysTray,
                                     platform::com::TKIND_DISPATCH,
                                     TYPEFLAG_FHIDDEN | TYPEFLAG_FNONEXTENSIBLE,
                                     kSysTrayEvents,
                                     std::size(kSysTrayEvents),
                                     nullptr,
                                     nullptr};
const TypeDesc kSysTrayClassType = {
    u"SysTray", CLSID_SysTray,          platform::com::TKIND_COCLASS, TYPEFLAG_FCANCREATE, nullptr,
    0,          &kSysTrayInterfaceType, &kSysTrayEventsType};
const TypeDesc kMenuItemsInterfaceType = {u"_MenuItems",
                                          IID__MenuItems,
                                          platform::com::TKIND_INTERFACE,
                                          kDualFlags,
                                          kMenuItemsMembers,
                                          std::size(kMenuItemsMembers),
                                          nullptr,
                                          nullptr};
const TypeDesc kMenuItemsClassType = {u"MenuItems",
                                      CLSID_MenuItems,
                                      platform::com::TKIND_COCLASS,
                                      0,
                                      nullptr,
                                      0,
                                      &kMenuItemsInterfaceType,
                                      nullptr};
const TypeDesc kMenuItemInterfaceType = {
    u"_MenuItem", IID__MenuItem,    platform::com::TKIND_INTERFACE,
    kDualFlags,   kMenuItemMembers, std::size(kMenuItemMembers),
    nullptr,      nullptr};
const TypeDesc kMenuItemClassType = {u"MenuItem",
                                     CLSID_MenuItem,
                                     platform::com::TKIND_COCLASS,
                                     0,
                                     nullptr,
                                     0,
                                     &kMenuItemInterfaceType,
                                     nullptr};

const TypeLibDesc& TypeLibrary() {
    static const TypeDesc* const kTypes[] = {
        &kSysTrayInterfaceType,   &kSysTrayClassType,   &kSysTrayEventsType,
        &kMenuItemsInterfaceType, &kMenuItemsClassType, &kMenuItemInterfaceType,
        &kMenuItemClassType,
    };
    static const TypeLibDesc kLibrary = {u"quorvil", LIBID_quorvil, kTypeLibLcid,     1,
                                         0,          kTypes,        std::size(kTypes)};
    return kLibrary;
}

}  // namespace quorvil
