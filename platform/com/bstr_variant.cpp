// BSTR allocation and VARIANT initialisation, clearing and copying.

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "platform/com/com_api.h"
#include "platform/com/variant_internal.h"

namespace platform::com {

namespace {

constexpr std::size_t kPrefix = sizeof(std::uint32_t);

}  // namespace

BSTR SysAllocStringLen(const OLECHAR* pch, UINT len) {
    // The byte length must fit the 32-bit prefix.
    if (len > (std::numeric_limits<std::uint32_t>::max() - kPrefix - 2) / 2) {
        return nullptr;
    }
    const std::size_t bytes = static_cast<std::size_t>(len) * sizeof(OLECHAR);
    auto* block = static_cast<unsigned char*>(std::malloc(kPrefix + bytes + sizeof(OLECHAR)));
    if (!block) {
        return nullptr;
    }
    const auto byteLength = static_cast<std::uint32_t>(bytes);
    std::memcpy(block, &byteLength, kPrefix);
    auto* text = reinterpret_cast<OLECHAR*>(block + kPrefix);
    if (pch) {
        std::memcpy(text, pch, bytes);
    } else {
        std::memset(text, 0, bytes);
    }
    text[len] = u'\0';
    return text;
}

BSTR SysAllocString(const OLECHAR* psz) {
    if (!psz) {
        return nullptr;
    }
    UINT len = 0;
    while (psz[len] != u'\0') {
        ++len;
    }
    return SysAllocStringLen(psz, len);
}

void SysFreeString(BSTR bstr) {
    if (bstr) {
        std::free(reinterpret_cast<unsigned char*>(bstr) - kPrefix);
    }
}

UINT SysStringByteLen(BSTR bstr) {
    if (!bstr) {
        return 0;
    }
    std::uint32_t byteLength = 0;
    std::memcpy(&byteLength, reinterpret_cast<unsigned char*>(bstr) - kPrefix, kPrefix);
    return byteLength;
}

UINT SysStringLen(BSTR bstr) {
    return SysStringByteLen(bstr) / sizeof(OLECHAR);
}

void VariantInit(VARIANT* pvarg) {
    if (pvarg) {
        std::memset(pvarg, 0, sizeof(VARIANT));
        pvarg->vt = VT_EMPTY;
    }
}

HRESULT VariantClear(VARIANT* pvarg) {
    if (!pvarg) {
        return E_INVALIDARG;
    }
    if (!(pvarg->vt & VT_BYREF)) {
        switch (pvarg->vt) {
            case VT_BSTR:
                SysFreeString(pvarg->bstrVal);
                break;
            case VT_DISPATCH:
            case VT_UNKNOWN:
                if (pvarg->punkVal) {
                    pvarg->punkVal->Release();
                }
                break;
            default:
                break;
        }
    }
    VariantInit(pvarg);
    return S_OK;
}

namespace detail {

bool IsSupportedType(VARTYPE vt) {
    switch (vt & VT_TYPEMASK) {
        case VT_EMPTY:
        case VT_NULL:
        case VT_I2:
        case VT_I4:
        case VT_R4:
        case VT_R8:
        case VT_BSTR:
        case VT_DISPATCH:
        case VT_ERROR:
        case VT_BOOL:
        case VT_VARIANT:
        case VT_UNKNOWN:
        case VT_I1:
        case VT_UI1:
        case VT_UI2:
        case VT_UI4:
        case VT_I8:
        case VT_UI8:
        case VT_INT:
        case VT_UINT:
            return !(vt & VT_ARRAY);
        default:
            return false;
    }
}

HRESULT CopyValue(VARIANT* dest, const VARIANT& src) {
    if (!IsSupportedType(src.vt)) {
        return DISP_E_BADVARTYPE;
    }
    VARIANT out = src;
    if (src.vt == VT_BSTR && src.bstrVal) {
        out.bstrVal = SysAllocStringLen(src.bstrVal, SysStringLen(src.bstrVal));
        if (!out.bstrVal) {
            return E_OUTOFMEMORY;
        }
    } else if ((src.vt == VT_DISPATCH || src.vt == VT_UNKNOWN) && src.punkVal) {
        src.punkVal->AddRef();
    }
    *dest = out;
    return S_OK;
}

}  // namespace detail

namespace {

using detail::CopyValue;
using detail::IsSupportedType;

// The value a reference variant points at, as a non-owning variant.
HRESULT Dereference(const VARIANT& src, VARIANT* out) {
    VariantInit(out);
    const VARTYPE base = src.vt & VT_TYPEMASK;
    if (!src.byref) {
        return E_INVALIDARG;
    }
    out->vt = base;
    switch (base) {
        case VT_VARIANT:
            if (src.pvarVal->vt & VT_BYREF) {
                return Dereference(*src.pvarVal, out);
            }
            *out = *src.pvarVal;
            return S_OK;
        case VT_I1:
        case VT_UI1:
            out->bVal = *src.pbVal;
            return S_OK;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL:
            out->iVal = *src.piVal;
            return S_OK;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_ERROR:
            out->lVal = *src.plVal;
            return S_OK;
        case VT_R4:
            out->fltVal = *src.pfltVal;
            return S_OK;
        case VT_R8:
            out->dblVal = *src.pdblVal;
            return S_OK;
        case VT_I8:
        case VT_UI8:
            out->llVal = *src.pllVal;
            return S_OK;
        case VT_BSTR:
            out->bstrVal = *src.pbstrVal;
            return S_OK;
        case VT_DISPATCH:
        case VT_UNKNOWN:
            out->punkVal = *src.ppunkVal;
            return S_OK;
        default:
            VariantInit(out);
            return DISP_E_BADVARTYPE;
    }
}

}  // namespace

HRESULT VariantCopy(VARIANT* pvargDest, const VARIANT* pvargSrc) {
    if (!pvargDest || !pvargSrc) {
        return E_INVALIDARG;
    }
    if (pvargDest == pvargSrc) {
        return S_OK;
    }
    VARIANT out;
    VariantInit(&out);
    HRESULT hr = S_OK;
    if (pvargSrc->vt & VT_BYREF) {
        if (!IsSupportedType(pvargSrc->vt)) {
            return DISP_E_BADVARTYPE;
        }
        out = *pvargSrc;
    } else {
        hr = CopyValue(&out, *pvargSrc);
    }
    if (FAILED(hr)) {
        return hr;
    }
    VariantClear(pvargDest);
    *pvargDest = out;
    return S_OK;
}

HRESULT VariantCopyInd(VARIANT* pvarDest, const VARIANT* pvargSrc) {
    if (!pvarDest || !pvargSrc) {
        return E_INVALIDARG;
    }
    VARIANT value;
    if (pvargSrc->vt & VT_BYREF) {
        const HRESULT hr = Dereference(*pvargSrc, &value);
        if (FAILED(hr)) {
            return hr;
        }
    } else {
        value = *pvargSrc;
    }
    VARIANT out;
    VariantInit(&out);
    const HRESULT hr = CopyValue(&out, value);
    if (FAILED(hr)) {
        return hr;
    }
    VariantClear(pvarDest);
    *pvarDest = out;
    return S_OK;
}

}  // namespace platform::com
