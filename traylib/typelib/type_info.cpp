#include "traylib/typelib/type_info.h"

#include <cstring>
#include <new>
#include <string_view>
#include <vector>

namespace quorvil {

namespace {

constexpr WORD kDispatchFlags = TYPEFLAG_FDISPATCHABLE;

bool SameName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i];
        char16_t y = b[i];
        x = x >= u'A' && x <= u'Z' ? static_cast<char16_t>(x - u'A' + u'a') : x;
        y = y >= u'A' && y <= u'Z' ? static_cast<char16_t>(y - u'A' + u'a') : y;
        if (x != y) {
            return false;
        }
    }
    return true;
}

HRESULT GiveText(std::u16string_view text, BSTR* out) {
    if (out) {
        *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        if (!*out) {
            return E_OUTOFMEMORY;
        }
    }
    return S_OK;
}

const TypeLibDesc& Library() {
    return TypeLibrary();
}

// The position of a type in the library: also its HREFTYPE.
UINT IndexOf(const TypeDesc& type) {
    for (UINT i = 0; i < Library().typeCount; ++i) {
        if (Library().types[i] == &type) {
            return i;
        }
    }
    return Library().typeCount;
}

// A dual interface is shown as the dispatch interface that Invoke serves.
TYPEKIND ShownKind(const TypeDesc& type) {
    return type.kind == TKIND_INTERFACE && (type.flags & TYPEFLAG_FDUAL) ? TKIND_DISPATCH
                                                                         : type.kind;
}

// A FUNCDESC with everything it points at in one block, freed by ReleaseFuncDesc.
struct FuncBlock {
    static constexpr UINT kMaxParams = 8;
    FUNCDESC desc;  // first, so that the block is found from the FUNCDESC
    ELEMDESC params[kMaxParams];
    PARAMDESCEX defaults[kMaxParams];
    TYPEDESC pointees[2 * kMaxParams + 2];
    UINT pointeeCount;
};

void Describe(const TypeSpec& spec, TYPEDESC* out, FuncBlock& block) {
    TYPEDESC inner{};
    inner.vt = spec.vt;
    if (spec.object) {
        // An object of a described interface: a pointer to that type.
        TYPEDESC& named = block.pointees[block.pointeeCount++];
        named.vt = VT_USERDEFINED;
        named.hreftype = IndexOf(*spec.object);
        inner = TYPEDESC{};
        inner.vt = VT_PTR;
        inner.lptdesc = &named;
    }
    if (spec.byRef) {
        TYPEDESC& pointee = block.pointees[block.pointeeCount++];
        pointee = inner;
        inner = TYPEDESC{};
        inner.vt = VT_PTR;
        inner.lptdesc = &pointee;
    }
    *out = inner;
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
            break;
        default:
            break;
    }
}

class TypeInfo;

class TypeLib final : public ITypeLib {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    UINT STDMETHODCALLTYPE GetTypeInfoCount() override { return Library().typeCount; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, ITypeInfo** ppTInfo) override {
        if (!ppTInfo) {
            return E_POINTER;
        }
        *ppTInfo = nullptr;
        return index < Library().typeCount ? GiveTypeInfo(*Library().types[index], ppTInfo)
                                           : TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT index, TYPEKIND* pTKind) override {
        if (!pTKind) {
            return E_POINTER;
        }
        if (index >= Library().typeCount) {
            return TYPE_E_ELEMENTNOTFOUND;
        }
        *pTKind = ShownKind(*Library().types[index]);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTInfo) override {
        if (!ppTInfo) {
            return E_POINTER;
        }
        *ppTInfo = nullptr;
        const TypeDesc* type = FindType(Library(), guid);
        return type ? GiveTypeInfo(*type, ppTInfo) : TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** ppTLibAttr) override {
        if (!ppTLibAttr) {
            return E_POINTER;
        }
        auto* attr = new (std::nothrow) TLIBATTR{};
        if (!attr) {
            return E_OUTOFMEMORY;
        }
        attr->guid = Library().guid;
        attr->lcid = Library().lcid;
        attr->syskind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
        attr->wMajorVerNum = Library().majorVersion;
        attr->wMinorVerNum = Library().minorVersion;
        *ppTLibAttr = attr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** ppTComp) override {
        if (ppTComp) {
            *ppTComp = nullptr;
        }
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDocumentation(INT index, BSTR* pBstrName, BSTR* pBstrDocString,
                                               DWORD* pdwHelpContext,
                                               BSTR* pBstrHelpFile) override {
        const OLECHAR* name = nullptr;
        if (index == -1) {
            name = Library().name;
        } else if (index >= 0 && static_cast<UINT>(index) < Library().typeCount) {
            name = Library().types[index]->name;
        } else {
            return TYPE_E_ELEMENTNOTFOUND;
        }
        if (pBstrDocString) {
            *pBstrDocString = nullptr;
        }
        if (pdwHelpContext) {
            *pdwHelpContext = 0;
        }
        if (pBstrHelpFile) {
            *pBstrHelpFile = nullptr;
        }
        return GiveText(name, pBstrName);
    }
    HRESULT STDMETHODCALLTYPE IsName(LPOLESTR szNameBuf, ULONG, BOOL* pfName) override {
        if (!szNameBuf || !pfName) {
            return E_POINTER;
        }
        *pfName = 0;
        std::vector<Found> found = Find(szNameBuf, 1);
        if (!found.empty()) {
            // The caller's buffer gets the name as the library spells it.
            std::u16string_view spelled = found.front().spelled;
            std::memcpy(szNameBuf, spelled.data(), spelled.size() * sizeof(OLECHAR));
            *pfName = 1;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FindName(LPOLESTR szNameBuf, ULONG, ITypeInfo** ppTInfo,
                                       MEMBERID* rgMemId, USHORT* pcFound) override {
        if (!szNameBuf || !ppTInfo || !rgMemId || !pcFound) {
            return E_POINTER;
        }
        const std::vector<Found> found = Find(szNameBuf, *pcFound);
        *pcFound = static_cast<USHORT>(found.size());
        for (std::size_t i = 0; i < found.size(); ++i) {
            GiveTypeInfo(*found[i].type, &ppTInfo[i]);
            rgMemId[i] = found[i].memid;
        }
        return S_OK;
    }
    void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR* pTLibAttr) override { delete pTLibAttr; }

  private:
    struct Found {
        const TypeDesc* type;
        MEMBERID memid;
        std::u16string_view spelled;
    };

    // Up to max types named so (memid MEMBERID_NIL) or with a member or a parameter of a
    // member named so (that member's id), one per type.
    static std::vector<Found> Find(std::u16string_view name, std::size_t max) {
        std::vector<Found> found;
        for (UINT t = 0; t < Library().typeCount && found.size() < max; ++t) {
            const TypeDesc& type = *Library().types[t];
            if (SameName(type.name, name)) {
                found.push_back({&type, MEMBERID_NIL, type.name});
                continue;
            }
            for (UINT m = 0; m < type.memberCount; ++m) {
                const MemberDesc& member = type.members[m];
                const OLECHAR* hit = SameName(member.name, name) ? member.name : nullptr;
                for (UINT k = 0; !hit && k < member.paramCount; ++k) {
                    hit = SameName(member.params[k].name, name) ? member.params[k].name : nullptr;
                }
                if (hit) {
                    found.push_back({&type, member.dispid, hit});
                    break;
                }
            }
        }
        return found;
    }
};

class TypeInfo final : public ITypeInfo {
  public:
    explicit TypeInfo(const TypeDesc& type) : type_(type) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) {
            return E_POINTER;
        }
        *ppv = riid == IID_IUnknown || riid == IID_ITypeInfo ? this : nullptr;
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR** ppTypeAttr) override {
        if (!ppTypeAttr) {
            return E_POINTER;
        }
        auto* attr = new (std::nothrow) TYPEATTR{};
        if (!attr) {
            return E_OUTOFMEMORY;
        }
        const bool isClass = type_.kind == TKIND_COCLASS;
        attr->guid = type_.guid;
        attr->lcid = Library().lcid;
        attr->memidConstructor = MEMBERID_NIL;
        attr->memidDestructor = MEMBERID_NIL;
        attr->cbSizeInstance = isClass ? 0 : sizeof(void*);
        attr->typekind = ShownKind(type_);
        attr->cFuncs = static_cast<WORD>(type_.memberCount);
        attr->cImplTypes = static_cast<WORD>(ImplTypeCount());
        attr->cbSizeVft = isClass ? 0 : static_cast<WORD>(7 * sizeof(void*));  // IDispatch's
        attr->cbAlignment = sizeof(void*);
        attr->wTypeFlags = static_cast<WORD>(type_.flags | (isClass ? 0 : kDispatchFlags));
        attr->wMajorVerNum = Library().majorVersion;
        attr->wMinorVerNum = Library().minorVersion;
        attr->tdescAlias.vt = VT_EMPTY;
        *ppTypeAttr = attr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** ppTComp) override {
        if (ppTComp) {
            *ppTComp = nullptr;
        }
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) override;
    HRESULT STDMETHODCALLTYPE GetVarDesc(UINT, VARDESC** ppVarDesc) override {
        if (ppVarDesc) {
            *ppVarDesc = nullptr;
        }
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames,
                                       UINT* pcNames) override;
    HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) override {
        if (!pRefType) {
            return E_POINTER;
        }
        const TypeDesc* implemented = ImplType(index);
        if (!implemented) {
            return TYPE_E_ELEMENTNOTFOUND;
        }
        *pRefType = IndexOf(*implemented);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT index, INT* pImplTypeFlags) override {
        if (!pImplTypeFlags) {
            return E_POINTER;
        }
        if (!ImplType(index)) {
            return TYPE_E_ELEMENTNOTFOUND;
        }
        *pImplTypeFlags =
            index == 0 ? IMPLTYPEFLAG_FDEFAULT : IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames,
                                            MEMBERID* pMemId) override {
        return DispGetIDsOfNames(type_, IID_NULL, rgszNames, cNames, pMemId);
    }
    HRESULT STDMETHODCALLTYPE Invoke(void* pvInstance, MEMBERID memid, WORD wFlags,
                                     DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                     EXCEPINFO* pExcepInfo, UINT* puArgErr) override {
        if (type_.kind == TKIND_INTERFACE) {
            return DispInvoke(type_, pvInstance, memid, IID_NULL, wFlags, pDispParams, pVarResult,
                              pExcepInfo, puArgErr);
        }
        if (type_.kind == TKIND_DISPATCH && pvInstance) {
            return static_cast<IDispatch*>(pvInstance)
                ->Invoke(memid, IID_NULL, Library().lcid, wFlags, pDispParams, pVarResult,
                         pExcepInfo, puArgErr);
        }
        return pvInstance ? TYPE_E_WRONGTYPEKIND : E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID memid, BSTR* pBstrName,
                                               BSTR* pBstrDocString, DWORD* pdwHelpContext,
                                               BSTR* pBstrHelpFile) override {
        const OLECHAR* name = memid == MEMBERID_NIL ? type_.name : nullptr;
        for (UINT m = 0; !name && m < type_.memberCount; ++m) {
            if (type_.members[m].dispid == memid) {
                name = type_.members[m].name;
            }
        }
        if (!name) {
            return TYPE_E_ELEMENTNOTFOUND;
        }
        if (pBstrDocString) {
            *pBstrDocString = nullptr;
        }
        if (pdwHelpContext) {
            *pdwHelpContext = 0;
        }
        if (pBstrHelpFile) {
            *pBstrHelpFile = nullptr;
        }
        return GiveText(name, pBstrName);
    }
    HRESULT STDMETHODCALLTYPE GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) override {
        return TYPE_E_BADMODULEKIND;
    }
    HRESULT STDMETHODCALLTYPE GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) override {
        if (!ppTInfo) {
            return E_POINTER;
        }
        *ppTInfo = nullptr;
        return hRefType < Library().typeCount ? GiveTypeInfo(*Library().types[hRefType], ppTInfo)
                                              : TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE AddressOfMember(MEMBERID, INVOKEKIND, void** ppv) override {
        if (ppv) {
            *ppv = nullptr;
        }
        return TYPE_E_BADMODULEKIND;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                             void** ppvObj) override {
        if (!ppvObj) {
            return E_POINTER;
        }
        *ppvObj = nullptr;
        if (type_.kind != TKIND_COCLASS || !(type_.flags & TYPEFLAG_FCANCREATE)) {
            return TYPE_E_WRONGTYPEKIND;
        }
        return CoCreateInstance(type_.guid, pUnkOuter, CLSCTX_INPROC_SERVER, riid, ppvObj);
    }
    HRESULT STDMETHODCALLTYPE GetMops(MEMBERID, BSTR* pBstrMops) override {
        if (pBstrMops) {
            *pBstrMops = nullptr;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) override {
        if (pIndex) {
            *pIndex = IndexOf(type_);
        }
        return ppTLib ? GiveTypeLib(ppTLib) : S_OK;
    }
    void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR* pTypeAttr) override { delete pTypeAttr; }
    void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC* pFuncDesc) override {
        if (!pFuncDesc) {
            return;
        }
        auto* block = reinterpret_cast<FuncBlock*>(pFuncDesc);
        for (PARAMDESCEX& d : block->defaults) {
            VariantClear(&d.varDefaultValue);
        }
        delete block;
    }
    void STDMETHODCALLTYPE ReleaseVarDesc(VARDESC*) override {}

  private:
    // A class implements its default interface and, when it has one, its default source.
    UINT ImplTypeCount() const {
        return type_.kind != TKIND_COCLASS
                   ? 0
                   : (type_.defaultInterface ? 1 : 0) + (type_.defaultEvents ? 1 : 0);
    }
    const TypeDesc* ImplType(UINT index) const {
        if (index >= ImplTypeCount()) {
            return nullptr;
        }
        return index == 0 ? type_.defaultInterface : type_.defaultEvents;
    }

    const TypeDesc& type_;
};

HRESULT TypeInfo::GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) {
    if (!ppFuncDesc) {
        return E_POINTER;
    }
    *ppFuncDesc = nullptr;
    if (index >= type_.memberCount) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    const MemberDesc& member = type_.members[index];
    if (member.paramCount > FuncBlock::kMaxParams) {
        return E_UNEXPECTED;
    }
    auto* block = new (std::nothrow) FuncBlock{};
    if (!block) {
        return E_OUTOFMEMORY;
    }
    FUNCDESC& desc = block->desc;
    desc.memid = member.dispid;
    desc.funckind = FUNC_DISPATCH;
    desc.invkind = static_cast<INVOKEKIND>(member.invokeKind);
    desc.callconv = CC_STDCALL;
    desc.cParams = static_cast<SHORT>(member.paramCount);
    desc.lprgelemdescParam = member.paramCount ? block->params : nullptr;
    desc.wFuncFlags = member.funcFlags;
    Describe(member.resultType, &desc.elemdescFunc.tdesc, *block);
    for (UINT k = 0; k < member.paramCount; ++k) {
        const ParamDesc& param = member.params[k];
        const TypeSpec& type = ParamType(member, k);
        ELEMDESC& elem = block->params[k];
        Describe(type, &elem.tdesc, *block);
        USHORT flags = type.byRef ? PARAMFLAG_FIN | PARAMFLAG_FOUT : PARAMFLAG_FIN;
        if (param.optional) {
            flags |= PARAMFLAG_FOPT;
            if (param.defaultValue.vt != VT_EMPTY) {
                flags |= PARAMFLAG_FHASDEFAULT;
                block->defaults[k].cBytes = sizeof(PARAMDESCEX);
                FillDefault(param.defaultValue, &block->defaults[k].varDefaultValue);
                elem.paramdesc.pparamdescex = &block->defaults[k];
            } else if (type.vt == VT_VARIANT) {
                ++desc.cParamsOpt;  // left out, it arrives as "missing"
            }
        }
        elem.paramdesc.wParamFlags = flags;
    }
    *ppFuncDesc = &desc;
    return S_OK;
}

HRESULT TypeInfo::GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames) {
    if (!rgBstrNames || !pcNames) {
        return E_POINTER;
    }
    *pcNames = 0;
    // Of a property's accessors, the one with the most parameters names them all.
    const MemberDesc* named = nullptr;
    for (UINT m = 0; m < type_.memberCount; ++m) {
        const MemberDesc& member = type_.members[m];
        if (member.dispid == memid && (!named || member.paramCount > named->paramCount)) {
            named = &member;
        }
    }
    if (!named) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    for (UINT i = 0; i < cMaxNames && i <= named->paramCount; ++i) {
        const OLECHAR* name = i == 0 ? named->name : named->params[i - 1].name;
        if (FAILED(GiveText(name, &rgBstrNames[i]))) {
            for (UINT j = 0; j < i; ++j) {
                SysFreeString(rgBstrNames[j]);
            }
            return E_OUTOFMEMORY;
        }
        *pcNames = i + 1;
    }
    return S_OK;
}

HRESULT TypeLib::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) {
        return E_POINTER;
    }
    *ppv = riid == IID_IUnknown || riid == IID_ITypeLib ? this : nullptr;
    return *ppv ? S_OK : E_NOINTERFACE;
}

}  // namespace

HRESULT GiveTypeInfo(const TypeDesc& type, ITypeInfo** out) {
    if (!out) {
        return E_POINTER;
    }
    // Made once and kept for the life of the process.
    static TypeInfo* const* const infos = [] {
        auto** all = new TypeInfo*[Library().typeCount];
        for (UINT i = 0; i < Library().typeCount; ++i) {
            all[i] = new TypeInfo(*Library().types[i]);
        }
        return all;
    }();
    const UINT index = IndexOf(type);
    *out = index < Library().typeCount ? infos[index] : nullptr;
    return *out ? S_OK : TYPE_E_ELEMENTNOTFOUND;
}

HRESULT GiveTypeLib(ITypeLib** out) {
    if (!out) {
        return E_POINTER;
    }
    static TypeLib* const library = new TypeLib;
    *out = library;
    return S_OK;
}

}  // namespace quorvil
