// The description of the type library is consistent: every type is found by its GUID, only
// SysTray is creatable, and no interface has two members answering the same call.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include "traylib/quorvil.h"
#include "traylib/typelib/type_library.h"

namespace quorvil {
namespace {

TEST(TypeLibrary, HoldsSevenTypesEachFoundByItsGuid) {
    const TypeLibDesc& library = TypeLibrary();
    EXPECT_EQ(library.lcid, 0x409u);
    EXPECT_EQ(library.guid, LIBID_quorvil);
    ASSERT_EQ(library.typeCount, 7u);
    std::set<std::u16string> names;
    for (UINT i = 0; i < library.typeCount; ++i) {
        const TypeDesc* type = library.types[i];
        EXPECT_EQ(FindType(library, type->guid), type) << i;
        names.insert(type->name);
        // Only SysTray is creatable.
        EXPECT_EQ((type->flags & TYPEFLAG_FCANCREATE) != 0, type->guid == CLSID_SysTray) << i;
        if (type->kind == TKIND_COCLASS) {
            ASSERT_NE(type->defaultInterface, nullptr);
            EXPECT_EQ(type->defaultInterface->kind, TKIND_INTERFACE);
        }
    }
    EXPECT_EQ(names, (std::set<std::u16string>{u"_SysTray", u"SysTray", u"__SysTray", u"_MenuItems",
                                               u"MenuItems", u"_MenuItem", u"MenuItem"}));
    EXPECT_EQ(kSysTrayClassType.defaultEvents, &kSysTrayEventsType);
    EXPECT_EQ(kSysTrayClassType.defaultInterface, &kSysTrayInterfaceType);
}

TEST(TypeLibrary, MembersAreUnambiguousAndCallable) {
    for (const TypeDesc* type :
         {&kSysTrayInterfaceType, &kMenuItemsInterfaceType, &kMenuItemInterfaceType}) {
        std::set<std::pair<DISPID, WORD>> calls;
        for (UINT m = 0; m < type->memberCount; ++m) {
            const auto& member = type->members[m];
            EXPECT_TRUE(calls.insert({member.dispid, member.invokeKind}).second) << std::string(
                member.name, member.name + std::char_traits<char16_t>::length(member.name));
            EXPECT_NE(member.thunk, nullptr);
            // Every property can be read, and a get returns a value.
            if (member.invokeKind == DISPATCH_PROPERTYGET) {
                EXPECT_TRUE(member.hasResult);
            }
        }
        for (const auto& [dispid, kind] : calls) {
            if (kind != DISPATCH_METHOD) {
                EXPECT_TRUE(calls.count({dispid, DISPATCH_PROPERTYGET})) << dispid;
            }
        }
    }
    // The event interface's members are the six events with ids 1 to 6, called on sinks.
    ASSERT_EQ(kSysTrayEventsType.memberCount, 6u);
    for (UINT m = 0; m < 6; ++m) {
        EXPECT_EQ(kSysTrayEventsType.members[m].dispid, static_cast<DISPID>(m + 1));
        EXPECT_EQ(kSysTrayEventsType.members[m].thunk, nullptr);
    }
    // NewEnum is hidden.
    bool sawNewEnum = false;
    for (UINT m = 0; m < kMenuItemsInterfaceType.memberCount; ++m) {
        if (kMenuItemsInterfaceType.members[m].dispid == DISPID_NEWENUM) {
            sawNewEnum = true;
            EXPECT_TRUE(kMenuItemsInterfaceType.members[m].funcFlags & FUNCFLAG_FHIDDEN);
        }
    }
    EXPECT_TRUE(sawNewEnum);
}

}  // namespace
}  // namespace quorvil
