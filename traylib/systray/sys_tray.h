// SysTray: the tray icon, the one class of the library that clients create. It puts one icon
// with a tooltip into the notification area, takes the icon's picture from the image list
// the client hands over, turns the mouse messages that the shell sends for the icon into the
// events of __SysTray, and shows a popup menu built from its Menu model, reporting the chosen
// entry as MenuClick.
//
// The shell's messages arrive at a hidden message window that the object owns for its whole
// life (MsgWindow, subclassed by a MsgHook); the object handles that window's BeforeMessage.
// The object, its window, icon and menu live on the GUI thread (platform/win/gui_thread.h):
// in a Qt GUI program its application's thread, which must run its event loop; in any other
// host a GUI thread of the library's own. Calls from other threads are carried there
// (ServerObject), and the events are raised there, reaching each sink on the thread that
// advised it (ConnectionPoint).
#pragma once

#include <bit>
#include <memory>
#include <string>

#include "platform/shell/notify_icon.h"
#include "traylib/menu/menu_items.h"
#include "traylib/msgwindow/msg_window.h"
#include "traylib/quorvil.h"
#include "traylib/typelib/connection_point.h"
#include "traylib/typelib/server_object.h"

namespace quorvil {

// The record handed to the shell: 88 bytes, little-endian 32-bit integers and the tooltip.
using TrayIconRecord = platform::shell::NOTIFYICONDATAA;
static_assert(std::endian::native == std::endian::little,
              "the tray icon record is laid out little-endian");

class SysTray final : public ServerObject<_SysTray>,
                      public IConnectionPointContainer,
                      public IProvideClassInfo2,
                      private MsgWindowEvents {
  public:
    // A new object; *ppv receives its interface riid (E_NOINTERFACE leaves nothing alive).
    static HRESULT Create(REFIID riid, void** ppv);

    // IUnknown (one count for all the object's interfaces)
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        return ServerObject::QueryInterface(riid, ppv);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ServerObject::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return ServerObject::Release(); }

    // _SysTray
    HRESULT STDMETHODCALLTYPE get_MenuCheck(VARIANT_BOOL* value) override;
    HRESULT STDMETHODCALLTYPE put_MenuCheck(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_Menu(_MenuItems** value) override;
    HRESULT STDMETHODCALLTYPE put_Visible(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_Visible(VARIANT_BOOL* value) override;
    HRESULT STDMETHODCALLTYPE put_EnableMenu(VARIANT_BOOL value) override;
    HRESULT STDMETHODCALLTYPE get_EnableMenu(VARIANT_BOOL* value) override;
    HRESULT STDMETHODCALLTYPE putref_ImageList(IDispatch* value) override;
    HRESULT STDMETHODCALLTYPE get_ImageList(IDispatch** value) override;
    HRESULT STDMETHODCALLTYPE put_Icon(VARIANT value) override;
    HRESULT STDMETHODCALLTYPE get_Icon(VARIANT* value) override;
    HRESULT STDMETHODCALLTYPE put_ToolTipText(BSTR value) override;
    HRESULT STDMETHODCALLTYPE get_ToolTipText(BSTR* value) override;
    HRESULT STDMETHODCALLTYPE ShowMenu() override;
    HRESULT STDMETHODCALLTYPE SendEvent(LONG MouseEvent) override;

    // IConnectionPointContainer: one connection point, for DIID___SysTray.
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

    // IProvideClassInfo2: the type information of the class SysTray, and its default source.
    HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** ppTI) override;
    HRESULT STDMETHODCALLTYPE GetGUID(DWORD dwGuidKind, GUID* pGUID) override;

  protected:
    void* FindInterface(REFIID riid) override;

  private:
    SysTray();
    ~SysTray() override;
    static HRESULT CreateHere(REFIID riid, void** ppv);

    // Raises one event of __SysTray (DISPID_SysTrayEvents_*) on every connected sink, with
    // the arguments in declaration order.
    void RaiseEvent(DISPID dispid, VARIANT* args, UINT count) { events_.Fire(dispid, args, count); }
    void RaiseButtonEvent(DISPID dispid, LONG button);

    void ShowHideIcon();
    void ModifyIcon();
    // Sends the record to the shell, its tooltip converted to the ANSI form.
    void Notify(platform::shell::DWORD message);

    // mobjMsgWindow_BeforeMessage: the icon's callback message becomes an event and goes no
    // further; every other message passes untouched.
    void BeforeMessage(std::int32_t hWnd, std::int32_t uMsg, std::int32_t wParam,
                       std::int32_t lParam, std::int32_t& RetValue, bool& Cancel) override;
    void AfterMessage(std::int32_t, std::int32_t, std::int32_t, std::int32_t) override {}

    // The fields, in declaration order.
    VARIANT_BOOL menuCheck_ = VARIANT_FALSE;
    TrayIconRecord trayIconData_{};
    std::u16string tip_;  // szTip as 64 characters, converted for each call
    VARIANT_BOOL visible_ = VARIANT_FALSE;
    VARIANT_BOOL enableMenu_ = VARIANT_FALSE;
    IDispatch* imageList_ = nullptr;  // counted
    VARIANT icon_;                    // empty
    std::u16string toolTipText_;
    MenuItems* menu_ = nullptr;  // counted, owned
    std::unique_ptr<MsgWindow> mobjMsgWindow_;

    ConnectionPoint events_;
};

}  // namespace quorvil
