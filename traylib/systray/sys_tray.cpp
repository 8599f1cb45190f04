#include "traylib/systray/sys_tray.h"

#include "traylib/typelib/type_library.h"

namespace quorvil {

namespace {

const std::u16string_view kSource = kSysTrayErrorSource;

HRESULT NotYet() {
    return ReportError(E_NOTIMPL, kSource, u"This member of SysTray is not available yet",
                       IID__SysTray);
}

}  // namespace

SysTray::SysTray()
    : ServerObject(kSysTrayInterfaceType, IID__SysTray), events_(this, DIID___SysTray) {
    VariantInit(&icon_);
}

SysTray::~SysTray() {
    if (menu_) {
        menu_->Release();
    }
    if (imageList_) {
        imageList_->Release();
    }
    VariantClear(&icon_);
}

HRESULT SysTray::Create(REFIID riid, void** ppv) {
    if (!ppv) {
        return E_POINTER;
    }
    *ppv = nullptr;
    auto* tray = new (std::nothrow) SysTray();
    if (!tray) {
        return ReportError(E_OUTOFMEMORY, kSource, u"Out of memory");
    }
    tray->menu_ = MenuItems::New();
    if (!tray->menu_) {
        tray->Release();
        return ReportError(E_OUTOFMEMORY, kSource, u"Out of memory");
    }
    const HRESULT hr = tray->QueryInterface(riid, ppv);
    tray->Release();
    return hr;
}

void* SysTray::FindInterface(REFIID riid) {
    if (riid == IID_IConnectionPointContainer) {
        return static_cast<IConnectionPointContainer*>(this);
    }
    return nullptr;
}

HRESULT SysTray::get_Menu(_MenuItems** value) {
    return GiveReference(menu_, value);
}

HRESULT SysTray::get_MenuCheck(VARIANT_BOOL*) {
    return NotYet();
}
HRESULT SysTray::put_MenuCheck(VARIANT_BOOL) {
    return NotYet();
}
HRESULT SysTray::put_Visible(VARIANT_BOOL) {
    return NotYet();
}
HRESULT SysTray::get_Visible(VARIANT_BOOL*) {
    return NotYet();
}
HRESULT SysTray::put_EnableMenu(VARIANT_BOOL) {
    return NotYet();
}
HRESULT SysTray::get_EnableMenu(VARIANT_BOOL*) {
    return NotYet();
}
HRESULT SysTray::putref_ImageList(IDispatch*) {
    return NotYet();
}
HRESULT SysTray::get_ImageList(IDispatch**) {
    return NotYet();
}
HRESULT SysTray::put_Icon(VARIANT) {
    return NotYet();
}
HRESULT SysTray::get_Icon(VARIANT*) {
    return NotYet();
}
HRESULT SysTray::put_ToolTipText(BSTR) {
    return NotYet();
}
HRESULT SysTray::get_ToolTipText(BSTR*) {
    return NotYet();
}
HRESULT SysTray::ShowMenu() {
    return NotYet();
}
HRESULT SysTray::SendEvent(LONG) {
    return NotYet();
}

HRESULT SysTray::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
    if (ppEnum) {
        *ppEnum = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT SysTray::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    if (!ppCP) {
        return E_POINTER;
    }
    *ppCP = nullptr;
    if (!(riid == events_.EventInterface())) {
        return CONNECT_E_NOCONNECTION;
    }
    events_.AddRef();
    *ppCP = &events_;
    return S_OK;
}

}  // namespace quorvil
