// MenuItem: one entry of the tray icon's popup menu model. Its six properties are plain
// storage without validation; the popup menu reads them each time it is built.
#pragma once

#include <string>

#include "traylib/quorvil.h"
#include "traylib/typelib/server_object.h"

namespace quorvil {

class MenuItem final : public ServerObject<_MenuItem> {
  public:
    // A new entry with the defaults (Caption "", Key "", Tag an empty string, ItemData 0,
    // Checked False, Enabled True), holding one reference; nullptr when out of memory.
    static MenuItem* New();

    // _MenuItem
    HRESULT STDMETHODCALLTYPE put_Caption(BSTR value) override;
    HRESULT STDMETHODCALLTYPE get_Caption(BSTR* value) override;
    HRESULT STDMETHODCALLTYPE put_Key(BSTR value) override;
    HRESULT STDMETHODCALLTYPE get_Key(BSTR* value) override;
    HRESULT STDMETHODCALLTYPE put_Tag(VARIANT value) override;
    HRESULT STDMETHODCALLTYPE get_Tag(VARIANT* value) override;
    HRESULT STDMETHODCALLTYPE put_ItemData(LONG value) override;
    HRESULT STDMETHODCALLTYPE get_ItemData(LONG* value) override;
    HRESULT STDMETHODCALLTYPE put_Checked(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_Checked(VARIANT_BOOL* value) override;
    HRESULT STDMETHODCALLTYPE put_Enabled(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_Enabled(VARIANT_BOOL* value) override;

    // For the library itself (the popup menu).
    const std::u16string& Caption() const { return caption_; }
    const std::u16string& Key() const { return key_; }
    VARIANT_BOOL Checked() const { return checked_; }
    VARIANT_BOOL Enabled() const { return enabled_; }

  private:
    MenuItem();
    ~MenuItem() override;

    std::u16string caption_;
    std::u16string key_;
    VARIANT tag_;
    LONG itemData_ = 0;
    VARIANT_BOOL checked_ = VARIANT_FALSE;
    VARIANT_BOOL enabled_ = VARIANT_TRUE;
};

}  // namespace quorvil
