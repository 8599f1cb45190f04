// BSTR and VARIANT handling.

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "platform/com/com_api.h"

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

namespace {

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

// A copy of a non-reference variant into an initialised, empty dest.
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

namespace {

// A number as the conversions see it: an integer or a floating-point value.
struct Number {
    bool isFloat = false;
    long long integer = 0;
    unsigned long long uinteger = 0;  // used for values above the signed range
    bool isUnsignedLarge = false;
    double real = 0;
};

std::u16string_view Text(BSTR b) {
    return b ? std::u16string_view(b, SysStringLen(b)) : u"";
}

bool EqualsAsciiNoCase(std::u16string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        char16_t c = a[i];
        if (c >= u'A' && c <= u'Z') {
            c = static_cast<char16_t>(c - u'A' + u'a');
        }
        char d = b[i];
        if (d >= 'A' && d <= 'Z') {
            d = static_cast<char>(d - 'A' + 'a');
        }
        if (c != static_cast<unsigned char>(d)) {
            return false;
        }
    }
    return true;
}

// Reads a decimal number (with optional sign, fraction and exponent, surrounded by spaces).
HRESULT ParseNumber(std::u16string_view text, Number* out) {
    std::string ascii;
    for (char16_t c : text) {
        if (c > 0x7F) {
            return DISP_E_TYPEMISMATCH;
        }
        ascii += static_cast<char>(c);
    }
    const auto first = ascii.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return DISP_E_TYPEMISMATCH;
    }
    const auto last = ascii.find_last_not_of(" \t");
    std::string_view s(ascii.data() + first, last - first + 1);
    if (!s.empty() && s.front() == '+') {
        s.remove_prefix(1);
    }
    long long integer = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), integer);
    if (ec == std::errc() && p == s.data() + s.size()) {
        out->integer = integer;
        return S_OK;
    }
    double real = 0;
    auto [q, ec2] = std::from_chars(s.data(), s.data() + s.size(), real);
    if (ec2 == std::errc::result_out_of_range) {
        return DISP_E_OVERFLOW;
    }
    if (ec2 != std::errc() || q != s.data() + s.size()) {
        return DISP_E_TYPEMISMATCH;
    }
    out->isFloat = true;
    out->real = real;
    return S_OK;
}

HRESULT ToNumber(const VARIANT& v, Number* out) {
    switch (v.vt) {
        case VT_EMPTY:
            return S_OK;
        case VT_I1:
            out->integer = v.cVal;
            return S_OK;
        case VT_UI1:
            out->integer = v.bVal;
            return S_OK;
        case VT_I2:
            out->integer = v.iVal;
            return S_OK;
        case VT_UI2:
            out->integer = v.uiVal;
            return S_OK;
        case VT_BOOL:
            out->integer = v.boolVal ? -1 : 0;
            return S_OK;
        case VT_I4:
        case VT_INT:
            out->integer = v.lVal;
            return S_OK;
        case VT_UI4:
        case VT_UINT:
            out->integer = v.ulVal;
            return S_OK;
        case VT_I8:
            out->integer = v.llVal;
            return S_OK;
        case VT_UI8:
            if (v.ullVal > static_cast<unsigned long long>(std::numeric_limits<long long>::max())) {
                out->isUnsignedLarge = true;
                out->uinteger = v.ullVal;
            } else {
                out->integer = static_cast<long long>(v.ullVal);
            }
            return S_OK;
        case VT_R4:
            out->isFloat = true;
            out->real = v.fltVal;
            return S_OK;
        case VT_R8:
            out->isFloat = true;
            out->real = v.dblVal;
            return S_OK;
        case VT_BSTR:
            if (EqualsAsciiNoCase(Text(v.bstrVal), "true")) {
                out->integer = -1;
                return S_OK;
            }
            if (EqualsAsciiNoCase(Text(v.bstrVal), "false")) {
                out->integer = 0;
                return S_OK;
            }
            return ParseNumber(Text(v.bstrVal), out);
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

// The number as an integer in [lo, hi]; fractions round half to even, as the automation
// conversions do.
HRESULT ToInteger(const Number& n, long long lo, unsigned long long hi, long long* signedOut,
                  unsigned long long* unsignedOut) {
    if (n.isUnsignedLarge) {
        if (n.uinteger > hi) {
            return DISP_E_OVERFLOW;
        }
        *unsignedOut = n.uinteger;
        *signedOut = 0;
        return S_OK;
    }
    long long value = n.integer;
    if (n.isFloat) {
        if (!std::isfinite(n.real)) {
            return DISP_E_OVERFLOW;
        }
        const double r = std::nearbyint(n.real);
        if (r < -9.2e18 || r > 9.2e18) {
            return DISP_E_OVERFLOW;
        }
        value = static_cast<long long>(r);
    }
    if (value < lo || (value >= 0 && static_cast<unsigned long long>(value) > hi)) {
        return DISP_E_OVERFLOW;
    }
    *signedOut = value;
    *unsignedOut = static_cast<unsigned long long>(value);
    return S_OK;
}

std::u16string NumberText(const Number& n) {
    std::string s;
    if (n.isUnsignedLarge) {
        s = std::to_string(n.uinteger);
    } else if (!n.isFloat) {
        s = std::to_string(n.integer);
    } else {
        char buffer[64];
        auto [p, ec] = std::to_chars(buffer, buffer + sizeof buffer, n.real);
        s.assign(buffer, ec == std::errc() ? p : buffer);
    }
    return std::u16string(s.begin(), s.end());
}

HRESULT Convert(const VARIANT& v, VARTYPE vt, VARIANT* out) {
    if (v.vt == vt) {
        return CopyValue(out, v);
    }
    if (v.vt == VT_NULL || v.vt == VT_ERROR) {
        return DISP_E_TYPEMISMATCH;
    }
    switch (vt) {
        case VT_EMPTY:
            return DISP_E_TYPEMISMATCH;
        case VT_BSTR: {
            std::u16string text;
            if (v.vt == VT_EMPTY) {
                text.clear();
            } else if (v.vt == VT_BOOL) {
                text = v.boolVal ? u"True" : u"False";
            } else {
                Number n;
                const HRESULT hr = ToNumber(v, &n);
                if (FAILED(hr)) {
                    return hr;
                }
                text = NumberText(n);
            }
            out->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
            if (!out->bstrVal) {
                return E_OUTOFMEMORY;
            }
            out->vt = VT_BSTR;
            return S_OK;
        }
        case VT_DISPATCH:
        case VT_UNKNOWN: {
            if (v.vt != VT_DISPATCH && v.vt != VT_UNKNOWN) {
                return DISP_E_TYPEMISMATCH;
            }
            if (!v.punkVal) {
                out->vt = vt;
                out->punkVal = nullptr;
                return S_OK;
            }
            void* p = nullptr;
            if (FAILED(v.punkVal->QueryInterface(vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown,
                                                 &p))) {
                return DISP_E_TYPEMISMATCH;
            }
            out->vt = vt;
            out->punkVal = static_cast<IUnknown*>(p);
            return S_OK;
        }
        case VT_BOOL: {
            Number n;
            const HRESULT hr = ToNumber(v, &n);
            if (FAILED(hr)) {
                return hr;
            }
            const bool nonzero = n.isUnsignedLarge || (n.isFloat ? n.real != 0 : n.integer != 0);
            out->vt = VT_BOOL;
            out->boolVal = nonzero ? VARIANT_TRUE : VARIANT_FALSE;
            return S_OK;
        }
        case VT_R4:
        case VT_R8: {
            Number n;
            const HRESULT hr = ToNumber(v, &n);
            if (FAILED(hr)) {
                return hr;
            }
            const double d = n.isUnsignedLarge ? static_cast<double>(n.uinteger)
                             : n.isFloat       ? n.real
                                               : static_cast<double>(n.integer);
            out->vt = vt;
            if (vt == VT_R4) {
                if (std::isfinite(d) && std::fabs(d) > std::numeric_limits<float>::max()) {
                    return DISP_E_OVERFLOW;
                }
                out->fltVal = static_cast<float>(d);
            } else {
                out->dblVal = d;
            }
            return S_OK;
        }
        case VT_I1:
        case VT_UI1:
        case VT_I2:
        case VT_UI2:
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_I8:
        case VT_UI8: {
            Number n;
            HRESULT hr = ToNumber(v, &n);
            if (FAILED(hr)) {
                return hr;
            }
            long long lo = 0;
            unsigned long long hi = 0;
            switch (vt) {
                case VT_I1:
                    lo = -128;
                    hi = 127;
                    break;
                case VT_UI1:
                    hi = 255;
                    break;
                case VT_I2:
                    lo = -32768;
                    hi = 32767;
                    break;
                case VT_UI2:
                    hi = 65535;
                    break;
                case VT_I4:
                case VT_INT:
                    lo = std::numeric_limits<std::int32_t>::min();
                    hi = std::numeric_limits<std::int32_t>::max();
                    break;
                case VT_UI4:
                case VT_UINT:
                    hi = std::numeric_limits<std::uint32_t>::max();
                    break;
                case VT_I8:
                    lo = std::numeric_limits<long long>::min();
                    hi = std::numeric_limits<long long>::max();
                    break;
                default:
                    hi = std::numeric_limits<unsigned long long>::max();
                    break;
            }
            long long s = 0;
            unsigned long long u = 0;
            hr = ToInteger(n, lo, hi, &s, &u);
            if (FAILED(hr)) {
                return hr;
            }
            out->vt = vt;
            switch (vt) {
                case VT_I1:
                    out->cVal = static_cast<std::int8_t>(s);
                    break;
                case VT_UI1:
                    out->bVal = static_cast<BYTE>(s);
                    break;
                case VT_I2:
                    out->iVal = static_cast<SHORT>(s);
                    break;
                case VT_UI2:
                    out->uiVal = static_cast<USHORT>(s);
                    break;
                case VT_I4:
                case VT_INT:
                    out->lVal = static_cast<LONG>(s);
                    break;
                case VT_UI4:
                case VT_UINT:
                    out->ulVal = static_cast<ULONG>(s);
                    break;
                case VT_I8:
                    out->llVal = s;
                    break;
                default:
                    out->ullVal = n.isUnsignedLarge ? u : static_cast<unsigned long long>(s);
                    break;
            }
            return S_OK;
        }
        default:
            return DISP_E_BADVARTYPE;
    }
}

}  // namespace

HRESULT VariantChangeType(VARIANT* pvargDest, const VARIANT* pvarSrc, WORD /*wFlags*/, VARTYPE vt) {
    if (!pvargDest || !pvarSrc) {
        return E_INVALIDARG;
    }
    if (!IsSupportedType(vt) || (vt & VT_BYREF) || vt == VT_VARIANT) {
        return DISP_E_BADVARTYPE;
    }
    try {
        VARIANT value;
        VariantInit(&value);
        HRESULT hr = VariantCopyInd(&value, pvarSrc);
        if (FAILED(hr)) {
            return hr;
        }
        VARIANT out;
        VariantInit(&out);
        hr = Convert(value, vt, &out);
        VariantClear(&value);
        if (FAILED(hr)) {
            return hr;
        }
        VariantClear(pvargDest);
        *pvargDest = out;
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

}  // namespace platform::com
