// The control panel's tray object (mobjSysTray): one SysTray of the quorvil library, created
// through the component object model at start-up and released at Close. When the library is
// not registered or the creation fails there is no object, and every call here does nothing:
// the program then runs without a tray icon and without the tray menu.
#pragma once

#include "platform/com/com_ptr.h"
#include "platform/imagelist/image_list.h"
#include "traylib/quorvil.h"

#include <filesystem>
#include <optional>
#include <string_view>

namespace kestrane {

// The window's image list ImageList1 with the tray icon ("\Images\tray.png") as its first
// image; an empty list when the picture cannot be loaded, nothing when no list can be made.
platform::com::ComPtr<platform::imagelist::IImageList> MakeImageList1(
    const std::filesystem::path& appFolder);

class TrayLink {
  public:
    // Creates the SysTray object; false (and no object) when that fails.
    bool Create();
    bool Exists() const { return static_cast<bool>(tray_); }
    quorvil::_SysTray* Object() const { return tray_.get(); }
    // Whether the object has its icon in the notification area (Visible is true).
    bool IconShown() const;

    // Hands the image list to the object (it keeps a counted reference); false on failure.
    bool SetImageList(platform::imagelist::IImageList* list);

    // Enables or disables the tray menu entry filed under key ("Show", "Hide", "Start",
    // "Stop"); ignored when there is no object or no such entry.
    void SetMenuEnabled(std::u16string_view key, bool enabled);
    // Whether the entry is enabled; nothing when there is no object or no such entry.
    std::optional<bool> MenuEnabled(std::u16string_view key) const;

    // Releases the object, which takes the icon out of the notification area.
    void Release() { tray_.Reset(); }

  private:
    platform::com::ComPtr<quorvil::_MenuItem> Entry(std::u16string_view key) const;

    platform::com::ComPtr<quorvil::_SysTray> tray_;
};

}  // namespace kestrane
