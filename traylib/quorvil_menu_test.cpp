// The menu model of a created SysTray, driven through the vtables and through
// IDispatch::Invoke by dispatch id, as the two kinds of client do.
#include "traylib/quorvil_menu_fixture.h"

namespace quorvil_test {
namespace {

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

}  // namespace
}  // namespace quorvil_test
