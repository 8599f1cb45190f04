#include "traylib/menu/menu_item.h"

#include "traylib/typelib/type_library.h"

namespace quorvil {

namespace {

constexpr std::u16string_view kSource = u"MenuItem Class";

std::u16string TextOf(BSTR b) {
    return b ? std::u16string(b, SysStringLen(b)) : u"";
}

HRESULT GiveText(const std::u16string& text, BSTR* out) {
    if (!out) {
        return E_POINTER;
    }
    *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    return *out ? S_OK : ReportError(E_OUTOFMEMORY, kSource, u"Out of memory");
}

template <typename T>
HRESULT Store(T value, T* field) {
    *field = value;
    return S_OK;
}

template <typename T>
HRESULT GiveValue(T value, T* out) {
    if (!out) {
        return E_POINTER;
    }
    *out = value;
    return S_OK;
}

}  // namespace

MenuItem::MenuItem() : ServerObject(kMenuItemInterfaceType, IID__MenuItem) {
    VariantInit(&tag_);
}

MenuItem::~MenuItem() {
    VariantClear(&tag_);
}

MenuItem* MenuItem::New() {
    auto* item = new (std::nothrow) MenuItem();
    if (!item) {
        return nullptr;
    }
    // The Tag of a new entry is an empty string.
    item->tag_.bstrVal = SysAllocString(u"");
    if (!item->tag_.bstrVal) {
        item->Release();
        return nullptr;
    }
    item->tag_.vt = VT_BSTR;
    return item;
}

HRESULT MenuItem::put_Caption(BSTR value) {
    return ApartmentCall(kSource, [&] {
        caption_ = TextOf(value);
        return S_OK;
    });
}

HRESULT MenuItem::get_Caption(BSTR* value) {
    return ApartmentCall(kSource, [&] { return GiveText(caption_, value); });
}

HRESULT MenuItem::put_Key(BSTR value) {
    return ApartmentCall(kSource, [&] {
        key_ = TextOf(value);
        return S_OK;
    });
}

HRESULT MenuItem::get_Key(BSTR* value) {
    return ApartmentCall(kSource, [&] { return GiveText(key_, value); });
}

HRESULT MenuItem::put_Tag(VARIANT value) {
    return ApartmentCall(kSource, [&] {
        // The value itself is kept, never a reference into the caller's variables.
        const HRESULT hr = VariantCopyInd(&tag_, &value);
        return FAILED(hr) ? ReportError(hr, kSource, u"The value cannot be kept as Tag") : hr;
    });
}

HRESULT MenuItem::get_Tag(VARIANT* value) {
    return ApartmentCall(kSource, [&] {
        if (!value) {
            return E_POINTER;
        }
        VariantInit(value);
        const HRESULT hr = VariantCopy(value, &tag_);
        return FAILED(hr) ? ReportError(hr, kSource, u"Out of memory") : hr;
    });
}

HRESULT MenuItem::put_ItemData(LONG value) {
    return ApartmentCall(kSource, [&] { return Store(value, &itemData_); });
}

HRESULT MenuItem::get_ItemData(LONG* value) {
    return ApartmentCall(kSource, [&] { return GiveValue(itemData_, value); });
}

HRESULT MenuItem::put_Checked(VARIANT_BOOL value) {
    return ApartmentCall(kSource, [&] { return Store(value, &checked_); });
}

HRESULT MenuItem::get_Checked(VARIANT_BOOL* value) {
    return ApartmentCall(kSource, [&] { return GiveValue(checked_, value); });
}

HRESULT MenuItem::put_Enabled(VARIANT_BOOL value) {
    return ApartmentCall(kSource, [&] { return Store(value, &enabled_); });
}

HRESULT MenuItem::get_Enabled(VARIANT_BOOL* value) {
    return ApartmentCall(kSource, [&] { return GiveValue(enabled_, value); });
}

}  // namespace quorvil
