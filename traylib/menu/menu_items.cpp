#include "traylib/menu/menu_items.h"

#include <QString>

#include "platform/com/com_ptr.h"
#include "traylib/typelib/type_library.h"
#include "traylib/typelib/variant_enumerator.h"

namespace quorvil {

namespace {

const std::u16string_view kSource = kMenuErrorSource;

HRESULT MenuError(LONG number, const char16_t* text) {
    return ReportError(HResultFromLibraryError(number), kSource, text, IID__MenuItems);
}

// Keys compare without regard to letter case: they are kept case-folded.
std::u16string FoldKey(BSTR key) {
    if (!key) {
        return {};
    }
    const QString text =
        QString::fromUtf16(key, static_cast<qsizetype>(SysStringLen(key))).toCaseFolded();
    return text.toStdU16String();
}

bool IsMissing(const VARIANT& v) {
    return v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND;
}

bool IsNumber(VARTYPE vt) {
    switch (vt) {
        case VT_I1:
        case VT_UI1:
        case VT_I2:
        case VT_UI2:
        case VT_I4:
        case VT_UI4:
        case VT_I8:
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

}  // namespace

MenuItems::MenuItems() : ServerObject(kMenuItemsInterfaceType, IID__MenuItems) {}

MenuItems::~MenuItems() {
    ReleaseAll();
}

MenuItems* MenuItems::New() {
    return new (std::nothrow) MenuItems();
}

MenuItem* MenuItems::EntryAt(LONG position) const {
    if (position < 1 || position > EntryCount()) {
        return nullptr;
    }
    return entries_[static_cast<std::size_t>(position - 1)].item;
}

void MenuItems::ReleaseAll() {
    // Detach first, so that the collection is already empty should a release reach back.
    std::vector<Entry> old;
    old.swap(entries_);
    for (const Entry& e : old) {
        e.item->Release();
    }
}

std::size_t MenuItems::FindKey(const std::u16string& foldedKey) const {
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (!entries_[i].foldedKey.empty() && entries_[i].foldedKey == foldedKey) {
            return i;
        }
    }
    return entries_.size();
}

HRESULT MenuItems::Find(const VARIANT& index, std::size_t* at) const {
    Variant value;
    HRESULT hr = VariantCopyInd(value.get(), &index);
    if (FAILED(hr)) {
        return ReportError(DISP_E_TYPEMISMATCH, kSource, u"A menu index is a position or a key",
                           IID__MenuItems);
    }
    if (value->vt == VT_BSTR) {
        const std::u16string key = FoldKey(value->bstrVal);
        const std::size_t i = key.empty() ? entries_.size() : FindKey(key);
        if (i == entries_.size()) {
            return MenuError(ErrMenuKeyNotFound, kMenuKeyNotFoundText);
        }
        *at = i;
        return S_OK;
    }
    if (!IsNumber(value->vt)) {
        return ReportError(DISP_E_TYPEMISMATCH, kSource, u"A menu index is a position or a key",
                           IID__MenuItems);
    }
    VARIANT position;
    VariantInit(&position);
    hr = VariantChangeType(&position, value.get(), 0, VT_I4);
    if (FAILED(hr) || position.lVal < 1 || position.lVal > EntryCount()) {
        return MenuError(ErrMenuPositionOutOfRange, kMenuPositionOutOfRangeText);
    }
    *at = static_cast<std::size_t>(position.lVal - 1);
    return S_OK;
}

HRESULT MenuItems::get_Item(VARIANT Index, _MenuItem** result) {
    return ApartmentCall(kSource, [&]() -> HRESULT {
        if (!result) {
            return E_POINTER;
        }
        *result = nullptr;
        std::size_t at = 0;
        const HRESULT hr = Find(Index, &at);
        if (FAILED(hr)) {
            return hr;
        }
        return GiveReference(entries_[at].item, result);
    });
}

HRESULT MenuItems::get_Count(LONG* result) {
    return ApartmentCall(kSource, [&] {
        if (!result) {
            return E_POINTER;
        }
        *result = EntryCount();
        return S_OK;
    });
}

HRESULT MenuItems::Add(BSTR Caption, BSTR Key, VARIANT Tag, LONG ItemData, VARIANT_BOOL* Checked,
                       VARIANT_BOOL Enabled, _MenuItem** result) {
    return ApartmentCall(kSource, [&]() -> HRESULT {
        if (!result) {
            return E_POINTER;
        }
        *result = nullptr;
        ComPtr<MenuItem> item = ComPtr<MenuItem>::Attach(MenuItem::New());
        if (!item) {
            return ReportError(E_OUTOFMEMORY, kSource, u"Out of memory");
        }
        // All six properties are assigned, in this order; an omitted Tag leaves no value.
        HRESULT hr = item->put_Caption(Caption);
        if (SUCCEEDED(hr)) {
            hr = item->put_Key(Key);
        }
        if (SUCCEEDED(hr)) {
            VARIANT empty;
            VariantInit(&empty);
            hr = item->put_Tag(IsMissing(Tag) ? empty : Tag);
        }
        if (SUCCEEDED(hr)) {
            hr = item->put_ItemData(ItemData);
        }
        if (SUCCEEDED(hr)) {
            hr = item->put_Checked(Checked ? *Checked : VARIANT_FALSE);
        }
        if (SUCCEEDED(hr)) {
            hr = item->put_Enabled(Enabled);
        }
        if (FAILED(hr)) {
            return hr;
        }
        const std::u16string folded = FoldKey(Key);
        if (!folded.empty() && FindKey(folded) != entries_.size()) {
            return MenuError(ErrMenuKeyInUse, kMenuKeyInUseText);
        }
        entries_.push_back({folded, item.get()});
        item->AddRef();  // the collection's reference
        *result = item.Detach();
        return S_OK;
    });
}

HRESULT MenuItems::Remove(VARIANT Index, VARIANT* result) {
    return ApartmentCall(kSource, [&]() -> HRESULT {
        if (!result) {
            return E_POINTER;
        }
        VariantInit(result);
        std::size_t at = 0;
        const HRESULT hr = Find(Index, &at);
        if (FAILED(hr)) {
            return hr;
        }
        MenuItem* item = entries_[at].item;
        entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(at));
        item->Release();
        return S_OK;
    });
}

HRESULT MenuItems::Clear(VARIANT* result) {
    return ApartmentCall(kSource, [&] {
        if (!result) {
            return E_POINTER;
        }
        VariantInit(result);
        ReleaseAll();
        return S_OK;
    });
}

HRESULT MenuItems::get_NewEnum(IUnknown** result) {
    return ApartmentCall(kSource, [&]() -> HRESULT {
        if (!result) {
            return E_POINTER;
        }
        *result = nullptr;
        std::vector<VARIANT> values;
        values.reserve(entries_.size());
        for (const Entry& e : entries_) {
            VARIANT v;
            VariantInit(&v);
            v.vt = VT_DISPATCH;
            v.pdispVal = static_cast<_MenuItem*>(e.item);
            values.push_back(v);  // borrowed: the enumerator copies (and counts) them
        }
        IEnumVARIANT* enumerator = nullptr;
        const HRESULT hr = VariantEnumerator::Create(values, &enumerator);
        if (FAILED(hr)) {
            return ReportError(hr, kSource, u"Out of memory");
        }
        *result = enumerator;
        return S_OK;
    });
}

}  // namespace quorvil
