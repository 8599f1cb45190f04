#include "traylib/systray/sys_tray.h"

#include <QString>

#include <algorithm>
#include <cstring>

#include "platform/imagelist/image_list.h"
#include "platform/win/ansi_text.h"
#include "platform/win/popup_menu.h"
#include "platform/win/window.h"
#include "traylib/systray/keep_alive.h"
#include "traylib/typelib/type_library.h"
#include "traylib/typelib/variant_enumerator.h"

namespace quorvil {

namespace {

namespace shell = platform::shell;
namespace win = platform::win;

const std::u16string_view kSource = kSysTrayErrorSource;

constexpr std::size_t kTipLength = sizeof(TrayIconRecord::szTip);

bool IsNumeric(VARTYPE vt) {
    switch (vt) {
        case VT_I1:
        case VT_I2:
        case VT_I4:
        case VT_I8:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_UI8:
        case VT_INT:
        case VT_UINT:
        case VT_R4:
        case VT_R8:
        case VT_BOOL:
            return true;
        default:
            return false;
    }
}

double NumberOf(const VARIANT& v) {
    Variant number;
    if (FAILED(VariantChangeType(number.get(), &v, 0, VT_R8))) {
        return 0;
    }
    return number->dblVal;
}

std::u16string_view TextOf(const VARIANT& v) {
    return v.bstrVal != nullptr ? std::u16string_view(v.bstrVal, SysStringLen(v.bstrVal))
                                : std::u16string_view();
}

// Whether two values of Icon are equal as the automation language compares two variants: an
// empty value equals 0 and the empty text, numbers compare by value, texts exactly, and a
// number never equals a text.
bool SameIconValue(const VARIANT& a, const VARIANT& b) {
    if (a.vt == VT_EMPTY && b.vt == VT_EMPTY) {
        return true;
    }
    if (a.vt == VT_EMPTY || b.vt == VT_EMPTY) {
        const VARIANT& other = a.vt == VT_EMPTY ? b : a;
        if (IsNumeric(other.vt)) {
            return NumberOf(other) == 0;
        }
        return other.vt == VT_BSTR && TextOf(other).empty();
    }
    if (IsNumeric(a.vt) && IsNumeric(b.vt)) {
        return NumberOf(a) == NumberOf(b);
    }
    if (a.vt == VT_BSTR && b.vt == VT_BSTR) {
        return TextOf(a) == TextOf(b);
    }
    return false;
}

// The icon handle of the picture of the image at index in the image list's ListImages. A
// failure of the look-up is returned with the image list's own error information.
HRESULT IconHandleAt(IDispatch* imageList, const VARIANT& index, LONG* handle) {
    using namespace platform::imagelist;
    if (imageList == nullptr) {
        return ReportError(HResultFromLibraryError(91), kSource,
                           u"Object variable or With block variable not set", IID__SysTray);
    }
    ComPtr<IImageList> list;
    HRESULT hr = imageList->QueryInterface(IID_IImageList, list.PutVoid());
    if (FAILED(hr)) {
        return hr;
    }
    ComPtr<IListImages> images;
    if (FAILED(hr = list->get_ListImages(images.Put()))) {
        return hr;
    }
    ComPtr<IListImage> image;
    if (FAILED(hr = images->get_Item(index, image.Put()))) {
        return hr;
    }
    ComPtr<IPictureDisp> picture;
    if (FAILED(hr = image->get_Picture(picture.Put()))) {
        return hr;
    }
    if (!picture) {
        return ReportError(HResultFromLibraryError(91), kSource,
                           u"Object variable or With block variable not set", IID__SysTray);
    }
    return picture->get_Handle(handle);
}

std::u16string Trimmed(std::u16string_view text) {
    const auto first = text.find_first_not_of(u' ');
    if (first == std::u16string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(u' ');
    return std::u16string(text.substr(first, last - first + 1));
}

}  // namespace

SysTray::SysTray()
    : ServerObject(kSysTrayInterfaceType, IID__SysTray), events_(this, DIID___SysTray) {
    VariantInit(&icon_);
    mobjMsgWindow_ = std::make_unique<MsgWindow>();
    mobjMsgWindow_->SetEvents(this);
}

SysTray::~SysTray() {
    if (visible_ != VARIANT_FALSE) {
        visible_ = VARIANT_FALSE;
        ShowHideIcon();
    }
    mobjMsgWindow_->SetEvents(nullptr);
    mobjMsgWindow_.reset();
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
    // The object, its window and its menu are made on the GUI thread, where they live.
    platform::win::GuiThreadUse gui;
    return ApartmentCall(kSource, [&] { return CreateHere(riid, ppv); });
}

HRESULT SysTray::CreateHere(REFIID riid, void** ppv) {
    auto* tray = new (std::nothrow) SysTray();
    if (!tray) {
        return ReportError(E_OUTOFMEMORY, kSource, u"Out of memory");
    }
    tray->menu_ = MenuItems::New();
    if (!tray->menu_) {
        tray->Release();
        return ReportError(E_OUTOFMEMORY, kSource, u"Out of memory");
    }
    // Nothing goes to the shell until Visible becomes True.
    TrayIconRecord& data = tray->trayIconData_;
    data.cbSize = sizeof(TrayIconRecord);
    data.hWnd = tray->mobjMsgWindow_->hWnd();
    data.uFlags = shell::NIF_MESSAGE | shell::NIF_ICON | shell::NIF_TIP;
    data.uID = 0;
    data.uCallbackMessage = TrayCallbackMessage;
    data.hIcon = 0;
    tray->tip_ = u'\0' + std::u16string(kTipLength - 1, u' ');

    const HRESULT hr = tray->QueryInterface(riid, ppv);
    tray->Release();
    return hr;
}

void* SysTray::FindInterface(REFIID riid) {
    if (riid == IID_IConnectionPointContainer) {
        return static_cast<IConnectionPointContainer*>(this);
    }
    if (riid == IID_IProvideClassInfo || riid == IID_IProvideClassInfo2) {
        return static_cast<IProvideClassInfo2*>(this);
    }
    return nullptr;
}

// --- the notification area --------------------------------------------------------------

void SysTray::Notify(shell::DWORD message) {
    TrayIconRecord record = trayIconData_;
    const std::string tip =
        win::EncodeWindows1252(QString::fromStdU16String(tip_)).substr(0, kTipLength);
    std::memset(record.szTip, 0, kTipLength);
    std::memcpy(record.szTip, tip.data(), tip.size());
    // The shell's answer is not looked at: the object's state changes as if it had worked.
    shell::Shell_NotifyIconA(message, &record);
}

void SysTray::ShowHideIcon() {
    if (visible_ != VARIANT_FALSE) {
        trayIconData_.uFlags = shell::NIF_MESSAGE | shell::NIF_ICON | shell::NIF_TIP;
        Notify(shell::NIM_ADD);
    } else {
        trayIconData_.uFlags = 0;
        Notify(shell::NIM_DELETE);
    }
}

void SysTray::ModifyIcon() {
    if (visible_ != VARIANT_FALSE) {
        Notify(shell::NIM_MODIFY);
    }
}

// --- properties -------------------------------------------------------------------------

HRESULT SysTray::get_Menu(_MenuItems** value) {
    return ApartmentCall(kSource, [&]() -> HRESULT { return GiveReference(menu_, value); });
}

HRESULT SysTray::get_MenuCheck(VARIANT_BOOL* value) {
    return ApartmentCall(kSource, [&]() -> HRESULT {
        if (!value) {
            return E_POINTER;
        }
        *value = menuCheck_;
        return S_OK;
    });
}

HRESULT SysTray::put_MenuCheck(VARIANT_BOOL value) {
    return ApartmentCall(kSource, [&]() -> HRESULT {
        menuCheck_ = value;
        return S_OK;
    });
}

HRESULT SysTray::put_Visible(VARIANT_BOOL value) {
    return ApartmentCall(kSource, [&]() -> HRESULT {
        // Only the complement of the stored value changes it, so only True (-1) and False (0)
        // ever do.
        if (value == static_cast<VARIANT_BOOL>(~visible_)) {
            visible_ = value;
            ShowHideIcon();
        }
        return S_OK;
    });
}

HRESULT SysTray::get_Visible(VARIANT_BOOL* value) {
    return ApartmentCall(kSource, [&]() -> HRESULT {
        if (!value) {
            return E_POINTER;
        }
        *value = visible_;
        return S_OK;
    });
}

HRESULT SysTray::put_EnableMenu(VARIANT_BOOL value) {
    return ApartmentCall(kSource, [&]() -> HRESULT {
        if (value == static_cast<VARIANT_BOOL>(~enableMenu_)) {
            enableMenu_ = value;
        }
        return S_OK;
    });
}

HRESULT SysTray::get_EnableMenu(VARIANT_BOOL* value) {
    return ApartmentCall(kSource, [&]() -> HRESULT {
        if (!value) {
            return E_POINTER;
        }
        *value = enableMenu_;
        return S_OK;
    });
}

HRESULT SysTray::putref_ImageList(IDispatch* value) {
    return ApartmentCall(kSource, [&]() -> HRESULT {
        ComPtr<platform::imagelist::IImageList> list;
        if (!value ||
            FAILED(value->QueryInterface(platform::imagelist::IID_IImageList, list.PutVoid()))) {
            return ReportError(HResultFromLibraryError(ErrInvalidObject), kSource,
                               kInvalidObjectText, IID__SysTray);
        }
        value->AddRef();
        if (imageList_) {
            imageList_->Release();
        }
        imageList_ = value;
        return S_OK;
    });
}

HRESULT SysTray::get_ImageList(IDispatch** value) {
    return ApartmentCall(kSource, [&]() -> HRESULT { return GiveReference(imageList_, value); });
}

HRESULT SysTray::put_Icon(VARIANT value) {
    return ApartmentCall(kSource, [&]() -> HRESULT {
        Variant wanted;
        HRESULT hr = VariantCopyInd(wanted.get(), &value);
        if (FAILED(hr)) {
            return hr;
        }
        if (SameIconValue(*wanted.get(), icon_)) {
            return S_OK;
        }
        LONG handle = 0;
        hr = IconHandleAt(imageList_, *wanted.get(), &handle);
        if (FAILED(hr)) {
            return hr;  // Icon, hIcon and uFlags stay as they were
        }
        if (FAILED(hr = VariantCopy(&icon_, wanted.get()))) {
            return hr;
        }
        trayIconData_.hIcon = handle;
        trayIconData_.uFlags = shell::NIF_ICON;
        ModifyIcon();
        return S_OK;
    });
}

HRESULT SysTray::get_Icon(VARIANT* value) {
    return ApartmentCall(kSource, [&]() -> HRESULT {
        if (!value) {
            return E_POINTER;
        }
        VariantInit(value);
        return VariantCopy(value, &icon_);
    });
}

HRESULT SysTray::put_ToolTipText(BSTR value) {
    return ApartmentCall(kSource, [&]() -> HRESULT {
        const std::u16string t = Trimmed(value ? std::u16string_view(value, SysStringLen(value))
                                               : std::u16string_view());
        if (t == toolTipText_) {
            return S_OK;
        }
        // The text and its NUL, left-aligned in the field: cut after 64 characters or padded
        // with spaces; from 64 characters on there is no NUL in the field.
        tip_ = t + u'\0';
        tip_.resize(kTipLength, u' ');
        trayIconData_.uFlags = shell::NIF_TIP;
        toolTipText_ = t;
        ModifyIcon();
        return S_OK;
    });
}

HRESULT SysTray::get_ToolTipText(BSTR* value) {
    return ApartmentCall(kSource, [&]() -> HRESULT {
        if (!value) {
            return E_POINTER;
        }
        *value = SysAllocStringLen(toolTipText_.data(), static_cast<UINT>(toolTipText_.size()));
        return S_OK;
    });
}

// --- events and the menu ----------------------------------------------------------------

HRESULT SysTray::GetClassInfo(ITypeInfo** ppTI) {
    if (ppTI) {
        *ppTI = nullptr;
    }
    return GiveTypeInfo(kSysTrayClassType, ppTI);
}

HRESULT SysTray::GetGUID(DWORD dwGuidKind, GUID* pGUID) {
    if (!pGUID) {
        return E_POINTER;
    }
    if (dwGuidKind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) {
        *pGUID = GUID_NULL;
        return E_INVALIDARG;
    }
    *pGUID = DIID___SysTray;
    return S_OK;
}

}  // namespace quorvil
