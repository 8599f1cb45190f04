// The function descriptions (FUNCDESC) of the library's types, in their dispatch and vtable
// views.
#include <new>

#include "traylib/typelib/type_info_parts.h"

namespace quorvil::typeinfo {

namespace {

// A FUNCDESC with everything it points at in one block, freed by FreeFuncDesc.
struct FuncBlock {
    static constexpr UINT kMaxParams = 8;  // with the retval parameter of the vtable view
    FUNCDESC desc;                         // first, so that the block is found from the FUNCDESC
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

}  // namespace

HRESULT NewFuncDesc(const MemberDesc& member, UINT index, bool vtable, FUNCDESC** out) {
    const bool retval = vtable && member.resultType.vt != VT_VOID;
    const UINT count = member.paramCount + (retval ? 1 : 0);
    if (count > FuncBlock::kMaxParams) {
        return E_UNEXPECTED;
    }
    auto* block = new (std::nothrow) FuncBlock{};
    if (!block) {
        return E_OUTOFMEMORY;
    }
    FUNCDESC& desc = block->desc;
    desc.memid = member.dispid;
    desc.funckind = vtable ? FUNC_PUREVIRTUAL : FUNC_DISPATCH;
    desc.invkind = static_cast<INVOKEKIND>(member.invokeKind);
    desc.callconv = CC_STDCALL;
    desc.cParams = static_cast<SHORT>(count);
    desc.lprgelemdescParam = count ? block->params : nullptr;
    desc.wFuncFlags = member.funcFlags;
    if (vtable) {
        desc.oVft = static_cast<SHORT>((7 + index) * sizeof(void*));  // after IDispatch's slots
        desc.elemdescFunc.tdesc.vt = VT_HRESULT;
    } else {
        Describe(member.resultType, &desc.elemdescFunc.tdesc, *block);
    }
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
    if (retval) {
        // The result, written through a pointer to the caller's variable.
        TypeSpec result = member.resultType;
        result.byRef = true;
        ELEMDESC& elem = block->params[member.paramCount];
        Describe(result, &elem.tdesc, *block);
        elem.paramdesc.wParamFlags = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
    }
    *out = &desc;
    return S_OK;
}

void FreeFuncDesc(FUNCDESC* desc) {
    if (!desc) {
        return;
    }
    auto* block = reinterpret_cast<FuncBlock*>(desc);
    for (PARAMDESCEX& d : block->defaults) {
        VariantClear(&d.varDefaultValue);
    }
    delete block;
}

}  // namespace quorvil::typeinfo
