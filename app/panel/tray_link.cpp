#include "app/panel/tray_link.h"

#include "app/store/text_file.h"

#include <exception>

namespace kestrane {

using platform::com::ComPtr;
using platform::com::FAILED;
using platform::com::Variant;

ComPtr<platform::imagelist::IImageList> MakeImageList1(const std::filesystem::path& appFolder) {
    ComPtr<platform::imagelist::IImageList> list;
    if (FAILED(platform::imagelist::CreateImageList(list.Put()))) {
        return nullptr;
    }
    try {
        const std::filesystem::path file = ResolvePath(appFolder, "\\Images\\tray.png");
        ComPtr<platform::imagelist::IPictureDisp> picture;
        ComPtr<platform::imagelist::IListImages> images;
        ComPtr<platform::imagelist::IListImage> added;
        if (!FAILED(platform::imagelist::LoadPicture(QString::fromStdString(file.string()),
                                                     picture.Put())) &&
            !FAILED(list->get_ListImages(images.Put()))) {
            Variant at = Variant::Missing();
            Variant key = Variant::Missing();
            Variant pic = Variant::Object(picture.get());
            images->Add(*at.get(), *key.get(), *pic.get(), added.Put());
        }
    } catch (const std::exception&) {
        // No picture: the list stays empty.
    }
    return list;
}

bool TrayLink::SetImageList(platform::imagelist::IImageList* list) {
    return tray_ && list && !FAILED(tray_->putref_ImageList(list));
}

bool TrayLink::Create() {
    tray_.Reset();
    const platform::com::HRESULT hr = platform::com::CoCreateInstance(
        quorvil::CLSID_SysTray, nullptr, platform::com::CLSCTX_INPROC_SERVER, quorvil::IID__SysTray,
        tray_.PutVoid());
    if (FAILED(hr)) {
        tray_.Reset();
        return false;
    }
    return Exists();
}

bool TrayLink::IconShown() const {
    platform::com::VARIANT_BOOL visible = platform::com::VARIANT_FALSE;
    return tray_ && !FAILED(tray_->get_Visible(&visible)) &&
           visible != platform::com::VARIANT_FALSE;
}

ComPtr<quorvil::_MenuItem> TrayLink::Entry(std::u16string_view key) const {
    ComPtr<quorvil::_MenuItem> item;
    if (!tray_) {
        return item;
    }
    ComPtr<quorvil::_MenuItems> menu;
    if (FAILED(tray_->get_Menu(menu.Put())) || !menu) {
        return item;
    }
    Variant index = Variant::Text(key);
    if (FAILED(menu->get_Item(*index.get(), item.Put()))) {
        item.Reset();
    }
    return item;
}

void TrayLink::SetMenuEnabled(std::u16string_view key, bool enabled) {
    if (const auto item = Entry(key)) {
        item->put_Enabled(enabled ? platform::com::VARIANT_TRUE : platform::com::VARIANT_FALSE);
    }
}

std::optional<bool> TrayLink::MenuEnabled(std::u16string_view key) const {
    const auto item = Entry(key);
    platform::com::VARIANT_BOOL value = platform::com::VARIANT_FALSE;
    if (!item || FAILED(item->get_Enabled(&value))) {
        return std::nullopt;
    }
    return value != platform::com::VARIANT_FALSE;
}

}  // namespace kestrane
