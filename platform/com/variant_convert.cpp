// VariantChangeType: conversions between the variant types the library supports (integers,
// floating point, booleans, strings, objects) by the automation rounding and range rules.

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "platform/com/com_api.h"
#include "platform/com/variant_internal.h"

namespace platform::com {

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
        return detail::CopyValue(out, v);
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
    if (!detail::IsSupportedType(vt) || (vt & VT_BYREF) || vt == VT_VARIANT) {
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
