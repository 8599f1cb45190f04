// The menu model of a created SysTray, driven through the vtables and through
// IDispatch::Invoke by dispatch id, as the two kinds of client do.
#include <string>
#include <vector>

#include "traylib/quorvil_client.h"

namespace quorvil_test {
namespace {

class MenuTest : public QuorvilTest {
  protected:
    void SetUp() override {
        QuorvilTest::SetUp();
        tray_ = CreateTray();
        ASSERT_TRUE(tray_);
        menu_ = MenuOf(tray_.get());
        ASSERT_TRUE(menu_);
    }
    void TearDown() override {
        menu_.Reset();
        tray_.Reset();
        QuorvilTest::TearDown();
    }

    // Add through the vtable with Tag, ItemData, Checked and Enabled omitted.
    ComPtr<_MenuItem> Add(std::u16string_view caption, std::u16string_view key,
                          HRESULT expected = S_OK) {
        Bstr c(caption);
        Bstr k(key);
        ComPtr<_MenuItem> item;
        EXPECT_EQ(menu_->Add(c.get(), k.get(), *Variant::Missing().get(), 0, nullptr, VARIANT_TRUE,
                             item.Put()),
                  expected);
        return item;
    }
    LONG Count() {
        LONG n = -1;
        EXPECT_EQ(menu_->get_Count(&n), S_OK);
        return n;
    }
    HRESULT Item(const Variant& index, ComPtr<_MenuItem>* item) {
        return menu_->get_Item(*index.get(), item->Put());
    }
    std::u16string CaptionAt(LONG position) {
        ComPtr<_MenuItem> item;
        if (FAILED(Item(Variant::Long(position), &item))) {
            return u"<none>";
        }
        Bstr caption;
        item->get_Caption(caption.Put());
        return caption.Text();
    }

    ComPtr<_SysTray> tray_;
    ComPtr<_MenuItems> menu_;
};

TEST_F(MenuTest, KeysAreFoundAndRefusedWithoutRegardToCase) {
    ComPtr<_MenuItem> show = Add(u"Show", u"Show");
    ASSERT_TRUE(show);
    ComPtr<_MenuItem> found;
    ASSERT_EQ(Item(Variant::Text(u"SHOW"), &found), S_OK);
    EXPECT_EQ(Identity(found.get()), Identity(show.get()));

    // A second entry under the same key in other letters is refused and not added.
    ComPtr<_MenuItem> refused = Add(u"Again", u"sHoW", HResultFromLibraryError(ErrMenuKeyInUse));
    EXPECT_FALSE(refused);
    const ErrorDetails details = TakeErrorDetails(E_FAIL);
    EXPECT_EQ(details.source, kMenuErrorSource);
    EXPECT_EQ(details.description, kMenuKeyInUseText);
    EXPECT_EQ(Count(), 1);

    // Letters beyond ASCII fold too.
    ComPtr<_MenuItem> umlaut = Add(u"Über", u"Über");
    ASSERT_EQ(Item(Variant::Text(u"ÜBER"), &found), S_OK);
    EXPECT_EQ(Identity(found.get()), Identity(umlaut.get()));
}

TEST_F(MenuTest, PositionsRunFromOneAndRemoveMovesLaterEntriesUp) {
    Add(u"Show", u"Show");
    Add(u"-", u"");
    Add(u"Start", u"Start");
    ASSERT_EQ(Count(), 3);
    EXPECT_EQ(CaptionAt(1), u"Show");
    EXPECT_EQ(CaptionAt(3), u"Start");

    Variant removed;
    removed->vt = VT_I4;  // must come back empty
    ASSERT_EQ(menu_->Remove(*Variant::Long(1).get(), removed.Put()), S_OK);
    EXPECT_EQ(removed->vt, VT_EMPTY);
    EXPECT_EQ(Count(), 2);
    EXPECT_EQ(CaptionAt(1), u"-");
    EXPECT_EQ(CaptionAt(2), u"Start");

    // A position may come as any number; fractions round to the nearest position.
    ComPtr<_MenuItem> item;
    VARIANT real;
    VariantInit(&real);
    real.vt = VT_R8;
    real.dblVal = 1.6;
    ASSERT_EQ(menu_->get_Item(real, item.Put()), S_OK);
    Bstr caption;
    item->get_Caption(caption.Put());
    EXPECT_EQ(caption.Text(), u"Start");

    // Out of range or unknown: an error with its number and text, and nothing changes.
    for (LONG bad : {0, 3, -1}) {
        EXPECT_EQ(Item(Variant::Long(bad), &item),
                  HResultFromLibraryError(ErrMenuPositionOutOfRange));
        EXPECT_FALSE(item);
        EXPECT_EQ(TakeErrorDetails(E_FAIL).description, kMenuPositionOutOfRangeText);
    }
    EXPECT_EQ(menu_->Remove(*Variant::Long(5).get(), removed.Put()),
              HResultFromLibraryError(ErrMenuPositionOutOfRange));
    EXPECT_EQ(menu_->Remove(*Variant::Text(u"Show").get(), removed.Put()),
              HResultFromLibraryError(ErrMenuKeyNotFound));
    EXPECT_EQ(TakeErrorDetails(E_FAIL).description, kMenuKeyNotFoundText);
    EXPECT_EQ(Item(Variant(), &item), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Count(), 2);

    ASSERT_EQ(menu_->Remove(*Variant::Text(u"start").get(), removed.Put()), S_OK);
    EXPECT_EQ(Count(), 1);
    EXPECT_EQ(CaptionAt(1), u"-");
}

TEST_F(MenuTest, AnEntryWithoutKeyIsReachedOnlyByPositionAndAChangedKeyDoesNotRefile) {
    ComPtr<_MenuItem> plain = Add(u"Plain", u"");
    ComPtr<_MenuItem> item;
    EXPECT_EQ(Item(Variant::Text(u""), &item), HResultFromLibraryError(ErrMenuKeyNotFound));
    ASSERT_EQ(Item(Variant::Long(1), &item), S_OK);
    EXPECT_EQ(Identity(item.get()), Identity(plain.get()));
    // A second entry without key is no clash.
    EXPECT_TRUE(Add(u"Other plain", u""));

    ComPtr<_MenuItem> hide = Add(u"Hide", u"Hide");
    Bstr newKey(u"Conceal");
    ASSERT_EQ(hide->put_Key(newKey.get()), S_OK);
    Bstr key;
    ASSERT_EQ(hide->get_Key(key.Put()), S_OK);
    EXPECT_EQ(key.Text(), u"Conceal");
    EXPECT_EQ(Item(Variant::Text(u"Conceal"), &item), HResultFromLibraryError(ErrMenuKeyNotFound));
    ASSERT_EQ(Item(Variant::Text(u"hide"), &item), S_OK);
    EXPECT_EQ(Identity(item.get()), Identity(hide.get()));
    // The old key is still taken; the new one is free.
    EXPECT_FALSE(Add(u"x", u"HIDE", HResultFromLibraryError(ErrMenuKeyInUse)));
    EXPECT_TRUE(Add(u"y", u"Conceal"));
    SetErrorInfo(0, nullptr);
}

TEST_F(MenuTest, ClearReleasesEntriesThatClientsStillHoldWithoutHarm) {
    Variant result;
    ASSERT_EQ(menu_->Clear(result.Put()), S_OK);
    EXPECT_EQ(result->vt, VT_EMPTY);
    EXPECT_EQ(Count(), 0);

    ComPtr<_MenuItem> kept = Add(u"Kept", u"Kept");
    Add(u"Dropped", u"Dropped");
    ASSERT_EQ(menu_->Clear(result.Put()), S_OK);
    EXPECT_EQ(Count(), 0);
    // The entry lives on for the client that holds it.
    Bstr caption;
    ASSERT_EQ(kept->get_Caption(caption.Put()), S_OK);
    EXPECT_EQ(caption.Text(), u"Kept");
    // Keys are free again and the collection works as before.
    EXPECT_TRUE(Add(u"Kept again", u"kept"));
    EXPECT_EQ(Count(), 1);
}

TEST_F(MenuTest, AddThroughTheVtableAssignsEverythingAndKeepsTheDefaults) {
    ComPtr<_MenuItem> item = Add(u"Show", u"");
    Variant tag;
    ASSERT_EQ(item->get_Tag(tag.Put()), S_OK);
    EXPECT_EQ(tag->vt, VT_EMPTY);  // omitted: no value at all
    LONG data = -1;
    VARIANT_BOOL checked = VARIANT_TRUE;
    VARIANT_BOOL enabled = VARIANT_FALSE;
    ASSERT_EQ(item->get_ItemData(&data), S_OK);
    ASSERT_EQ(item->get_Checked(&checked), S_OK);
    ASSERT_EQ(item->get_Enabled(&enabled), S_OK);
    EXPECT_EQ(data, 0);
    EXPECT_EQ(checked, VARIANT_FALSE);
    EXPECT_EQ(enabled, VARIANT_TRUE);

    Bstr caption(u"Stop");
    Bstr key(u"Stop");
    VARIANT_BOOL tick = VARIANT_TRUE;
    ComPtr<_MenuItem> full;
    ASSERT_EQ(menu_->Add(caption.get(), key.get(), *Variant::Text(u"the tag").get(), 42, &tick,
                         VARIANT_FALSE, full.Put()),
              S_OK);
    Bstr text;
    full->get_Caption(text.Put());
    EXPECT_EQ(text.Text(), u"Stop");
    full->get_Tag(tag.Put());
    ASSERT_EQ(tag->vt, VT_BSTR);
    EXPECT_EQ(TextOf(tag->bstrVal), u"the tag");
    full->get_ItemData(&data);
    full->get_Checked(&checked);
    full->get_Enabled(&enabled);
    EXPECT_EQ(data, 42);
    EXPECT_EQ(checked, VARIANT_TRUE);
    EXPECT_EQ(enabled, VARIANT_FALSE);

    // Properties are plain storage: a Tag may hold an object, which it counts.
    ASSERT_EQ(item->put_Tag(*Variant::Object(tray_.get()).get()), S_OK);
    ASSERT_EQ(item->get_Tag(tag.Put()), S_OK);
    ASSERT_EQ(tag->vt, VT_DISPATCH);
    EXPECT_EQ(Identity(tag->pdispVal), Identity(tray_.get()));
    tag.Put();
    ASSERT_EQ(item->put_Tag(*Variant::Long(5).get()), S_OK);

    EXPECT_EQ(menu_->Add(caption.get(), nullptr, *Variant::Missing().get(), 0, nullptr,
                         VARIANT_TRUE, nullptr),
              E_POINTER);
}

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
