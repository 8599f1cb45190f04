// A created SysTray's menu model, for the menu's tests.
#pragma once
#include <string>
#include <vector>

#include "traylib/quorvil_client.h"

namespace quorvil_test {

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

}  // namespace quorvil_test
