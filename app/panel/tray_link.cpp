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
    Release();
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

bool TrayLink::Connect(platform::com::EventSink::Handler handler) {
    if (!tray_) {
        return false;
    }
    if (sink_) {
        sink_->Disconnect();
    }
    sink_ = platform::com::EventSink::Create(quorvil::DIID___SysTray, std::move(handler));
    if (!sink_ || FAILED(sink_->Connect(tray_.get()))) {
        sink_.Reset();
        return false;
    }
    return true;
}

void TrayLink::Release() {
    if (sink_) {
        sink_->Disconnect();
        sink_.Reset();
    }
    tray_.Reset();
}

bool TrayLink::SetIcon(short index) {
    Variant value = Variant::Short(index);
    return tray_ && !FAILED(tray_->put_Icon(*value.get()));
}

bool TrayLink::SetVisible(bool visible) {
    return tray_ && !FAILED(tray_->put_Visible(visible ? platform::com::VARIANT_TRUE
                                                       : platform::com::VARIANT_FALSE));
}

bool TrayLink::SetEnableMenu(bool enable) {
    return tray_ && !FAILED(tray_->put_EnableMenu(enable ? platform::com::VARIANT_TRUE
                                                         : platform::com::VARIANT_FALSE));
}

bool TrayLink::AddMenu(std::u16string_view caption, std::u16string_view key) {
    const auto menu = Menu();
    if (!menu) {
        return false;
    }
    platform::com::Bstr captionText(caption);
    platform::com::Bstr keyText(key);
    Variant tag = Variant::Missing();
    platform::com::VARIANT_BOOL checked = platform::com::VARIANT_FALSE;
    ComPtr<quorvil::_MenuItem> added;
    return !FAILED(menu->Add(captionText.get(), keyText.get(), *tag.get(), 0, &checked,
                             platform::com::VARIANT_TRUE, added.Put()));
}

bool TrayLink::SetToolTip(std::u16string_view text) {
    if (!tray_) {
        return false;
    }
    platform::com::Bstr value(text);
    return !FAILED(tray_->put_ToolTipText(value.get()));
}

bool TrayLink::ShowMenu() {
    // The object may be released by what a menu choice does; hold it for the call.
    const ComPtr<quorvil::_SysTray> tray = tray_;
    return tray && !FAILED(tray->ShowMenu());
}

long TrayLink::MenuCount() const {
    const auto menu = Menu();
    platform::com::LONG count = 0;
    if (!menu || FAILED(menu->get_Count(&count))) {
        return 0;
    }
    return count;
}

ComPtr<quorvil::_MenuItems> TrayLink::Menu() const {
    ComPtr<quorvil::_MenuItems> menu;
    if (tray_ && FAILED(tray_->get_Menu(menu.Put()))) {
        menu.Reset();
    }
    return menu;
}

ComPtr<quorvil::_MenuItem> TrayLink::Entry(std::u16string_view key) const {
    ComPtr<quorvil::_MenuItem> item;
    const auto menu = Menu();
    if (!menu) {
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
