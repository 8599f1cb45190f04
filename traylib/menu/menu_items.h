// MenuItems: the popup menu model of the tray icon, an ordered collection of counted
// MenuItem references at positions 1 to Count. An entry may be filed under a key, unique
// within the collection without regard to letter case; the key is fixed when the entry is
// added (changing the entry's Key property later does not refile it).
#pragma once

#include <string>
#include <vector>

#include "traylib/menu/menu_item.h"
#include "traylib/quorvil.h"
#include "traylib/typelib/server_object.h"

namespace quorvil {

class MenuItems final : public ServerObject<_MenuItems> {
  public:
    // A new, empty collection holding one reference; nullptr when out of memory.
    static MenuItems* New();

    // _MenuItems
    HRESULT STDMETHODCALLTYPE get_Item(VARIANT Index, _MenuItem** result) override;
    HRESULT STDMETHODCALLTYPE get_Count(LONG* result) override;
    HRESULT STDMETHODCALLTYPE Add(BSTR Caption, BSTR Key, VARIANT Tag, LONG ItemData,
                                  VARIANT_BOOL* Checked, VARIANT_BOOL Enabled,
                                  _MenuItem** result) override;
    HRESULT STDMETHODCALLTYPE Remove(VARIANT Index, VARIANT* result) override;
    HRESULT STDMETHODCALLTYPE Clear(VARIANT* result) override;
    HRESULT STDMETHODCALLTYPE get_NewEnum(IUnknown** result) override;

    // For the library itself (the popup menu): the number of entries and the entry at a
    // position from 1 to Count (no new reference; nullptr outside that range).
    LONG EntryCount() const { return static_cast<LONG>(entries_.size()); }
    MenuItem* EntryAt(LONG position) const;

  private:
    struct Entry {
        std::u16string foldedKey;  // empty for an entry added without a key
        MenuItem* item;
    };

    MenuItems();
    ~MenuItems() override;

    // The index of the entry that Index names (a position or a key), or a failure with
    // error information.
    HRESULT Find(const VARIANT& index, std::size_t* at) const;
    // The entry's position in entries_ with that (folded) key, or entries_.size().
    std::size_t FindKey(const std::u16string& foldedKey) const;
    void ReleaseAll();

    std::vector<Entry> entries_;
};

}  // namespace quorvil
