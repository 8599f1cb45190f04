// The description-driven IDispatch: name look-up and Invoke.
#include "platform/com/dispatch.h"

#include <new>
#include <vector>

namespace platform::com {

namespace {

bool SameName(const OLECHAR* a, const OLECHAR* b) {
    if (!a || !b) {
        return false;
    }
    for (;; ++a, ++b) {
        char16_t x = *a;
        char16_t y = *b;
        if (x >= u'A' && x <= u'Z') {
            x = static_cast<char16_t>(x - u'A' + u'a');
        }
        if (y >= u'A' && y <= u'Z') {
            y = static_cast<char16_t>(y - u'A' + u'a');
        }
        if (x != y) {
            return false;
        }
        if (x == u'\0') {
            return true;
        }
    }
}

bool IsMissing(const VARIANT& v) {
    return v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND;
}

// Whether a member answers a call with these flags. A call may ask for a method or a
// property get at once, as clients do when they cannot tell the two apart.
bool Answers(const MemberDesc& m, WORD wFlags) {
    switch (m.invokeKind) {
        case DISPATCH_METHOD:
            return (wFlags & DISPATCH_METHOD) != 0;
        case DISPATCH_PROPERTYGET:
            return (wFlags & DISPATCH_PROPERTYGET) != 0;
        case DISPATCH_PROPERTYPUT:
            return (wFlags & DISPATCH_PROPERTYPUT) != 0;
        case DISPATCH_PROPERTYPUTREF:
            return (wFlags & DISPATCH_PROPERTYPUTREF) != 0;
        default:
            return false;
    }
}

const MemberDesc* FindMember(const TypeDesc& type, DISPID dispid, WORD wFlags, bool* known) {
    *known = false;
    const MemberDesc* method = nullptr;
    for (UINT i = 0; i < type.memberCount; ++i) {
        const MemberDesc& m = type.members[i];
        if (m.dispid != dispid) {
            continue;
        }
        *known = true;
        if (Answers(m, wFlags)) {
            // A property get wins over a method when the caller allows both.
            if (m.invokeKind == DISPATCH_PROPERTYGET) {
                return &m;
            }
            if (!method) {
                method = &m;
            }
        }
    }
    return method;
}

void FillDefault(const ParamDefault& d, VARIANT* v) {
    VariantInit(v);
    switch (d.vt) {
        case VT_I4:
            v->vt = VT_I4;
            v->lVal = d.number;
            break;
        case VT_BOOL:
            v->vt = VT_BOOL;
            v->boolVal = d.number ? VARIANT_TRUE : VARIANT_FALSE;
            break;
        case VT_BSTR:
            v->vt = VT_BSTR;
            v->bstrVal = SysAllocString(d.text ? d.text : u"");
            if (!v->bstrVal) {
                throw std::bad_alloc();
            }
            break;
        default:
            v->vt = VT_ERROR;
            v->scode = DISP_E_PARAMNOTFOUND;
            break;
    }
}

// Variants made for omitted arguments, cleared when the call is over.
struct Defaults {
    std::vector<VARIANT> values;
    explicit Defaults(std::size_t n) : values(n) {
        for (auto& v : values) {
            VariantInit(&v);
        }
    }
    ~Defaults() {
        for (auto& v : values) {
            VariantClear(&v);
        }
    }
};

BSTR CopyText(const std::u16string& text) {
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

HRESULT InvokeMember(const TypeDesc& type, const MemberDesc& member, void* self, DISPPARAMS* params,
                     VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) {
    static DISPPARAMS noArgs = {nullptr, nullptr, 0, 0};
    DISPPARAMS& dp = params ? *params : noArgs;
    if (dp.cNamedArgs > dp.cArgs || (dp.cArgs > 0 && !dp.rgvarg) ||
        (dp.cNamedArgs > 0 && !dp.rgdispidNamedArgs)) {
        return E_INVALIDARG;
    }
    const UINT n = member.paramCount;
    const UINT positional = dp.cArgs - dp.cNamedArgs;
    const bool isPut =
        member.invokeKind == DISPATCH_PROPERTYPUT || member.invokeKind == DISPATCH_PROPERTYPUTREF;
    // The value of a property put, named DISPID_PROPERTYPUT, is its last parameter: positional
    // arguments can only be the ones before it.
    bool namedValue = false;
    for (UINT i = 0; isPut && i < dp.cNamedArgs; ++i) {
        namedValue = namedValue || dp.rgdispidNamedArgs[i] == DISPID_PROPERTYPUT;
    }
    if (positional > (namedValue && n > 0 ? n - 1 : n)) {
        return DISP_E_BADPARAMCOUNT;
    }
    // argOf[k]: index in rgvarg of the argument for parameter k, or -1 when omitted.
    std::vector<long> argOf(n, -1);
    for (UINT j = 0; j < positional; ++j) {
        argOf[j] = static_cast<long>(dp.cArgs - 1 - j);
    }
    for (UINT i = 0; i < dp.cNamedArgs; ++i) {
        const DISPID id = dp.rgdispidNamedArgs[i];
        long k = -1;
        if (id == DISPID_PROPERTYPUT && isPut && n > 0) {
            k = static_cast<long>(n - 1);
        } else if (id >= 0 && static_cast<UINT>(id) < n) {
            k = id;
        }
        if (k < 0 || argOf[k] >= 0) {
            if (puArgErr) {
                *puArgErr = i;
            }
            return DISP_E_PARAMNOTFOUND;
        }
        argOf[k] = static_cast<long>(i);
    }
    Defaults defaults(n);
    std::vector<VARIANT*> args(n, nullptr);
    for (UINT k = 0; k < n; ++k) {
        const ParamDesc& p = member.params[k];
        VARIANT* given = argOf[k] >= 0 ? &dp.rgvarg[argOf[k]] : nullptr;
        if (given && !IsMissing(*given)) {
            args[k] = given;
            continue;
        }
        if (!p.optional) {
            if (given) {
                if (puArgErr) {
                    *puArgErr = static_cast<UINT>(argOf[k]);
                }
                return DISP_E_PARAMNOTOPTIONAL;
            }
            return DISP_E_BADPARAMCOUNT;
        }
        FillDefault(p.defaultValue, &defaults.values[k]);
        args[k] = &defaults.values[k];
    }

    SetErrorInfo(0, nullptr);
    VARIANT result;
    VariantInit(&result);
    UINT badParam = static_cast<UINT>(-1);
    const HRESULT hr = member.thunk(self, args.data(), &result, &badParam);
    if (badParam != static_cast<UINT>(-1)) {
        VariantClear(&result);
        if (puArgErr && badParam < n && argOf[badParam] >= 0) {
            *puArgErr = static_cast<UINT>(argOf[badParam]);
        }
        return hr;
    }
    if (FAILED(hr)) {
        VariantClear(&result);
        if (!pExcepInfo) {
            return hr;
        }
        ErrorDetails details = TakeErrorDetails(hr);
        if (details.source.empty()) {
            details.source = type.name ? type.name : u"";
        }
        *pExcepInfo = EXCEPINFO{};
        pExcepInfo->scode = hr;
        pExcepInfo->bstrSource = CopyText(details.source);
        pExcepInfo->bstrDescription = CopyText(details.description);
        return DISP_E_EXCEPTION;
    }
    if (pVarResult) {
        *pVarResult = result;
    } else {
        VariantClear(&result);
    }
    return hr;
}

}  // namespace

const TypeDesc* FindType(const TypeLibDesc& library, REFGUID guid) {
    for (UINT i = 0; i < library.typeCount; ++i) {
        if (library.types[i]->guid == guid) {
            return library.types[i];
        }
    }
    return nullptr;
}

HRESULT DispGetIDsOfNames(const TypeDesc& type, REFIID riid, LPOLESTR* rgszNames, UINT cNames,
                          DISPID* rgDispId) {
    if (!(riid == IID_NULL)) {
        return DISP_E_UNKNOWNINTERFACE;
    }
    if (cNames == 0) {
        return S_OK;
    }
    if (!rgszNames || !rgDispId) {
        return E_INVALIDARG;
    }
    for (UINT i = 0; i < cNames; ++i) {
        rgDispId[i] = DISPID_UNKNOWN;
    }
    bool found = false;
    for (UINT m = 0; m < type.memberCount && !found; ++m) {
        if (SameName(type.members[m].name, rgszNames[0])) {
            rgDispId[0] = type.members[m].dispid;
            found = true;
        }
    }
    if (!found) {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT hr = S_OK;
    for (UINT i = 1; i < cNames; ++i) {
        for (UINT m = 0; m < type.memberCount && rgDispId[i] == DISPID_UNKNOWN; ++m) {
            const MemberDesc& member = type.members[m];
            if (member.dispid != rgDispId[0]) {
                continue;
            }
            for (UINT k = 0; k < member.paramCount; ++k) {
                if (SameName(member.params[k].name, rgszNames[i])) {
                    rgDispId[i] = static_cast<DISPID>(k);
                    break;
                }
            }
        }
        if (rgDispId[i] == DISPID_UNKNOWN) {
            hr = DISP_E_UNKNOWNNAME;
        }
    }
    return hr;
}

HRESULT DispInvoke(const TypeDesc& type, void* self, DISPID dispIdMember, REFIID riid, WORD wFlags,
                   DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                   UINT* puArgErr) {
    if (!(riid == IID_NULL)) {
        return DISP_E_UNKNOWNINTERFACE;
    }
    if (!self) {
        return E_POINTER;
    }
    try {
        bool known = false;
        const MemberDesc* member = FindMember(type, dispIdMember, wFlags, &known);
        if (!member || !member->thunk) {
            return DISP_E_MEMBERNOTFOUND;
        }
        return InvokeMember(type, *member, self, pDispParams, pVarResult, pExcepInfo, puArgErr);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

HRESULT InvokeMethod(IDispatch* sink, DISPID dispid, VARIANT* args, UINT count) {
    if (!sink) {
        return E_POINTER;
    }
    try {
        std::vector<VARIANT> reversed(args, args + count);
        for (UINT i = 0; i < count; ++i) {
            reversed[i] = args[count - 1 - i];
        }
        DISPPARAMS dp = {count ? reversed.data() : nullptr, nullptr, count, 0};
        VARIANT result;
        VariantInit(&result);
        EXCEPINFO excep{};
        UINT argErr = 0;
        const HRESULT hr =
            sink->Invoke(dispid, IID_NULL, 0x409, DISPATCH_METHOD, &dp, &result, &excep, &argErr);
        VariantClear(&result);
        SysFreeString(excep.bstrSource);
        SysFreeString(excep.bstrDescription);
        SysFreeString(excep.bstrHelpFile);
        return hr;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace platform::com
