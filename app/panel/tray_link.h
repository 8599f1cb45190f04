// The control panel's tray object (mobjSysTray): one SysTray of the quorvil library, created
// through the component object model at start-up and released at Close, and the sink through
// which the panel receives its events. When the library is not registered or the creation
// fails there is no object, and every call here does nothing: the program then runs without
// a tray icon and without the tray menu.
#pragma once

#include "platform/com/com_ptr.h"
#include "platform/com/event_sink.h"
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
    TrayLink() = default;
    TrayLink(const TrayLink&) = delete;
    TrayLink& operator=(const TrayLink&) = delete;
    ~TrayLink() { Release(); }

    // Creates the SysTray object; false (and no object) when that fails.
    bool Create();
    bool Exists() const { return static_cast<bool>(tray_); }
    quorvil::_SysTray* Object() const { return tray_.get(); }
    // Whether the object has its icon in the notification area (Visible is true).
    bool IconShown() const;

    // Connects handler to the object's events (__SysTray); false when there is no object or
    // the connection fails. The handler gets each event's dispatch id and its arguments.
    bool Connect(platform::com::EventSink::Handler handler);
    bool Connected() const { return sink_ && sink_->Connected(); }

    // Hands the image list to the object (it keeps a counted reference); false on failure.
    bool SetImageList(platform::imagelist::IImageList* list);

    // The object's properties and methods; each returns false when there is no object or the
    // object refuses the call.
    bool SetIcon(short index);
    bool SetVisible(bool visible);
    bool SetEnableMenu(bool enable);
    // Adds an entry with this caption under this key, Tag omitted, ItemData 0, not checked,
    // enabled.
    bool AddMenu(std::u16string_view caption, std::u16string_view key);
    // The icon's tooltip; false when there is no object or it refuses.
    bool SetToolTip(std::u16string_view text);
    // Opens the popup menu; the chosen entry arrives as MenuClick before this returns.
    bool ShowMenu();

    // Enables or disables the tray menu entry filed under key ("Show", "Hide", "Start",
    // "Stop"; letter case aside); ignored when there is no object or no such entry.
    void SetMenuEnabled(std::u16string_view key, bool enabled);
    // Whether the entry is enabled; nothing when there is no object or no such entry.
    std::optional<bool> MenuEnabled(std::u16string_view key) const;
    // The number of menu entries (0 without an object).
    long MenuCount() const;

    // Ends the event connection, then releases the object, which takes the icon out of the
    // notification area. The object holds the sink while connected, so the connection must
    // end first.
    void Release();

  private:
    platform::com::ComPtr<quorvil::_MenuItems> Menu() const;
    platform::com::ComPtr<quorvil::_MenuItem> Entry(std::u16string_view key) const;

    platform::com::ComPtr<quorvil::_SysTray> tray_;
    platform::com::ComPtr<platform::com::EventSink> sink_;
};

}  // namespace kestrane
