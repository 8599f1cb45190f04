// SysTray: the tray icon, the one class of the library that clients create. It owns the
// popup menu model (Menu) and raises the events of __SysTray through its connection point.
//
// So far only Menu works; the members that need the notification area, the hidden message
// window and the popup menu answer E_NOTIMPL until those are in place.
#pragma once

#include <string>

#include "traylib/menu/menu_items.h"
#include "traylib/quorvil.h"
#include "traylib/typelib/connection_point.h"
#include "traylib/typelib/server_object.h"

namespace quorvil {

class SysTray final : public ServerObject<_SysTray>, public IConnectionPointContainer {
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

  protected:
    void* FindInterface(REFIID riid) override;

  private:
    SysTray();
    ~SysTray() override;

    // Raises one event of __SysTray (DISPID_SysTrayEvents_*) on every connected sink, with
    // the arguments in declaration order.
    void RaiseEvent(DISPID dispid, VARIANT* args, UINT count) { events_.Fire(dispid, args, count); }

    // The fields, in declaration order.
    VARIANT_BOOL menuCheck_ = VARIANT_FALSE;
    VARIANT_BOOL visible_ = VARIANT_FALSE;
    VARIANT_BOOL enableMenu_ = VARIANT_FALSE;
    IDispatch* imageList_ = nullptr;  // counted
    VARIANT icon_;                    // empty
    std::u16string toolTipText_;
    MenuItems* menu_ = nullptr;  // counted, owned

    ConnectionPoint events_;
};

}  // namespace quorvil
