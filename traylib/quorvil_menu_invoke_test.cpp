// The menu model of a created SysTray, driven through the vtables and through
// IDispatch::Invoke by dispatch id, as the two kinds of client do.
#include "traylib/quorvil_menu_fixture.h"

namespace quorvil_test {
namespace {

TEST_F(MenuTest, FillAndEmptyThroughInvoke) {
    // Add("Show", "Show") with the other four omitted.
    Variant result;
    ASSERT_EQ(Call(menu_.get(), DISPID_MenuItems_Add, DISPATCH_METHOD,
                   {*Variant::Text(u"Show").get(), *Variant::Text(u"Show").get()}, result.Put()),
              S_OK);
    ASSERT_EQ(result->vt, VT_DISPATCH);
    ComPtr<_MenuItem> show;
    ASSERT_EQ(result->pdispVal->QueryInterface(IID__MenuItem, show.PutVoid()), S_OK);
    result.Put();
    ASSERT_EQ(Call(show.get(), DISPID_MenuItem_Tag, DISPATCH_PROPERTYGET, {}, result.Put()), S_OK);
    EXPECT_EQ(result->vt, VT_EMPTY);
    ASSERT_EQ(Call(show.get(), DISPID_MenuItem_Enabled, DISPATCH_PROPERTYGET, {}, result.Put()),
              S_OK);
    EXPECT_EQ(result->vt, VT_BOOL);
    EXPECT_EQ(result->boolVal, VARIANT_TRUE);

    // All six, Checked by reference to the client's variable, numbers as 16-bit integers.
    VARIANT_BOOL checked = VARIANT_TRUE;
    VARIANT checkedRef;
    VariantInit(&checkedRef);
    checkedRef.vt = VT_BYREF | VT_BOOL;
    checkedRef.pboolVal = &checked;
    ASSERT_EQ(Call(menu_.get(), DISPID_MenuItems_Add, DISPATCH_METHOD,
                   {*Variant::Text(u"Start").get(), *Variant::Text(u"Start").get(),
                    *Variant::Long(7).get(), *Variant::Short(3).get(), checkedRef,
                    *Variant::Bool(false).get()},
                   result.Put()),
              S_OK);
    ComPtr<_MenuItem> start;
    ASSERT_EQ(result->pdispVal->QueryInterface(IID__MenuItem, start.PutVoid()), S_OK);
    LONG data = 0;
    VARIANT_BOOL flag = 0;
    start->get_ItemData(&data);
    EXPECT_EQ(data, 3);
    start->get_Checked(&flag);
    EXPECT_EQ(flag, VARIANT_TRUE);
    start->get_Enabled(&flag);
    EXPECT_EQ(flag, VARIANT_FALSE);
    Variant tag;
    start->get_Tag(tag.Put());
    EXPECT_EQ(tag->vt, VT_I4);
    EXPECT_EQ(tag->lVal, 7);

    // A named argument: Add("Stop", Enabled:=False), its id from GetIDsOfNames.
    std::u16string add = u"ADD";
    std::u16string enabledName = u"enabled";
    LPOLESTR names[] = {add.data(), enabledName.data()};
    DISPID ids[2] = {};
    ASSERT_EQ(menu_->GetIDsOfNames(IID_NULL, names, 2, kTypeLibLcid, ids), S_OK);
    EXPECT_EQ(ids[0], DISPID_MenuItems_Add);
    EXPECT_EQ(ids[1], 5);
    // Reversed order: the named argument first, then the positional one.
    ASSERT_EQ(Call(menu_.get(), DISPID_MenuItems_Add, DISPATCH_METHOD,
                   {*Variant::Text(u"Stop").get(), *Variant::Bool(false).get()}, result.Put(),
                   nullptr, nullptr, {ids[1]}),
              S_OK);
    ComPtr<_MenuItem> stop;
    ASSERT_EQ(result->pdispVal->QueryInterface(IID__MenuItem, stop.PutVoid()), S_OK);
    stop->get_Enabled(&flag);
    EXPECT_EQ(flag, VARIANT_FALSE);

    // Properties: put with the named DISPID_PROPERTYPUT argument, get by id.
    ASSERT_EQ(PutProperty(stop.get(), DISPID_MenuItem_Caption, *Variant::Text(u"Halt").get()),
              S_OK);
    Bstr caption;
    stop->get_Caption(caption.Put());
    EXPECT_EQ(caption.Text(), u"Halt");
    ASSERT_EQ(PutProperty(stop.get(), DISPID_MenuItem_ItemData, *Variant::Text(u"12").get()), S_OK);
    stop->get_ItemData(&data);
    EXPECT_EQ(data, 12);

    ASSERT_EQ(Call(menu_.get(), DISPID_MenuItems_Count, DISPATCH_PROPERTYGET, {}, result.Put()),
              S_OK);
    EXPECT_EQ(result->vt, VT_I4);
    EXPECT_EQ(result->lVal, 3);
    ASSERT_EQ(Call(menu_.get(), DISPID_MenuItems_Item, DISPATCH_PROPERTYGET,
                   {*Variant::Short(2).get()}, result.Put()),
              S_OK);
    ASSERT_EQ(result->vt, VT_DISPATCH);
    EXPECT_EQ(Identity(result->pdispVal), Identity(start.get()));

    // Remove by key and Clear answer an empty variant.
    ASSERT_EQ(Call(menu_.get(), DISPID_MenuItems_Remove, DISPATCH_METHOD,
                   {*Variant::Text(u"START").get()}, result.Put()),
              S_OK);
    EXPECT_EQ(result->vt, VT_EMPTY);
    ASSERT_EQ(Call(menu_.get(), DISPID_MenuItems_Clear, DISPATCH_METHOD, {}, result.Put()), S_OK);
    EXPECT_EQ(result->vt, VT_EMPTY);
    LONG count = -1;
    menu_->get_Count(&count);
    EXPECT_EQ(count, 0);
}

TEST_F(MenuTest, InvokeReportsBadCallsAndTheCollectionsErrors) {
    Add(u"Show", u"Show");
    Variant result;
    UINT argErr = 99;
    EXCEPINFO excep{};

    EXPECT_EQ(Call(menu_.get(), 0x7777, DISPATCH_METHOD, {}, result.Put()), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Call(menu_.get(), DISPID_MenuItems_Add, DISPATCH_METHOD, {}, result.Put()),
              DISP_E_BADPARAMCOUNT);
    std::vector<VARIANT> seven(7, *Variant::Text(u"x").get());
    EXPECT_EQ(Call(menu_.get(), DISPID_MenuItems_Add, DISPATCH_METHOD, seven, result.Put()),
              DISP_E_BADPARAMCOUNT);
    // ItemData (the fourth argument, index 2 of 4 in the reversed array) is no number.
    EXPECT_EQ(Call(menu_.get(), DISPID_MenuItems_Add, DISPATCH_METHOD,
                   {*Variant::Text(u"A").get(), *Variant::Text(u"").get(), *Variant().get(),
                    *Variant::Text(u"many").get()},
                   result.Put(), nullptr, &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u);
    // Count is read-only.
    EXPECT_EQ(PutProperty(menu_.get(), DISPID_MenuItems_Count, *Variant::Long(3).get()),
              DISP_E_MEMBERNOTFOUND);

    // The collection's own errors arrive as exceptions with number, source and text.
    EXPECT_EQ(Call(menu_.get(), DISPID_MenuItems_Item, DISPATCH_PROPERTYGET,
                   {*Variant::Long(9).get()}, result.Put(), &excep),
              DISP_E_EXCEPTION);
    EXPECT_EQ(excep.scode, HResultFromLibraryError(ErrMenuPositionOutOfRange));
    EXPECT_EQ(TextOf(excep.bstrSource), kMenuErrorSource);
    EXPECT_EQ(TextOf(excep.bstrDescription), kMenuPositionOutOfRangeText);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    excep = EXCEPINFO{};
    EXPECT_EQ(
        Call(menu_.get(), DISPID_MenuItems_Add, DISPATCH_METHOD,
             {*Variant::Text(u"Again").get(), *Variant::Text(u"SHOW").get()}, result.Put(), &excep),
        DISP_E_EXCEPTION);
    EXPECT_EQ(excep.scode, HResultFromLibraryError(ErrMenuKeyInUse));
    EXPECT_EQ(TextOf(excep.bstrDescription), kMenuKeyInUseText);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);

    LONG count = -1;
    menu_->get_Count(&count);
    EXPECT_EQ(count, 1);
}

TEST_F(MenuTest, NewEnumWalksTheEntriesInOrder) {
    std::vector<ComPtr<_MenuItem>> added = {Add(u"Show", u"Show"), Add(u"-", u""),
                                            Add(u"Start", u"Start"), Add(u"Stop", u"Stop")};
    // The enumerator through its hidden dispatch id, as a For Each loop asks for it.
    Variant result;
    ASSERT_EQ(
        Call(menu_.get(), DISPID_NEWENUM, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, result.Put()),
        S_OK);
    ASSERT_EQ(result->vt, VT_UNKNOWN);
    ComPtr<IEnumVARIANT> walk;
    ASSERT_EQ(result->punkVal->QueryInterface(IID_IEnumVARIANT, walk.PutVoid()), S_OK);
    result.Put();

    VARIANT batch[3];
    ULONG fetched = 0;
    ASSERT_EQ(walk->Next(3, batch, &fetched), S_OK);
    ASSERT_EQ(fetched, 3u);
    for (ULONG i = 0; i < fetched; ++i) {
        ASSERT_EQ(batch[i].vt, VT_DISPATCH);
        EXPECT_EQ(Identity(batch[i].pdispVal), Identity(added[i].get()));
        VariantClear(&batch[i]);
    }
    // The walk ends short with S_FALSE.
    ASSERT_EQ(walk->Next(3, batch, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(Identity(batch[0].pdispVal), Identity(added[3].get()));
    VariantClear(&batch[0]);
    EXPECT_EQ(walk->Next(1, batch, nullptr), S_FALSE);

    // Reset, Skip and Clone; the walk is not disturbed by changes of the collection.
    ASSERT_EQ(walk->Reset(), S_OK);
    ASSERT_EQ(walk->Skip(1), S_OK);
    Variant none;
    ASSERT_EQ(menu_->Clear(none.Put()), S_OK);
    ComPtr<IEnumVARIANT> copy;
    ASSERT_EQ(walk->Clone(copy.Put()), S_OK);
    VARIANT one;
    ASSERT_EQ(copy->Next(1, &one, nullptr), S_OK);
    EXPECT_EQ(Identity(one.pdispVal), Identity(added[1].get()));
    VariantClear(&one);
    EXPECT_EQ(walk->Skip(10), S_FALSE);

    // Through the vtable as well; an empty collection gives an empty walk.
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(menu_->get_NewEnum(unknown.Put()), S_OK);
    ASSERT_EQ(unknown.As(IID_IEnumVARIANT, &walk), S_OK);
    EXPECT_EQ(walk->Next(1, &one, nullptr), S_FALSE);
}

}  // namespace
}  // namespace quorvil_test
