#include "traylib/typelib/type_info.h"

#include <new>
#include <string_view>

#include "traylib/typelib/server_object.h"
#include "traylib/typelib/type_info_parts.h"

namespace quorvil {

namespace typeinfo {

const TypeLibDesc& Library() {
    return TypeLibrary();
}

UINT IndexOf(const TypeDesc& type) {
    for (UINT i = 0; i < Library().typeCount; ++i) {
        if (Library().types[i] == &type) {
            return i;
        }
    }
    return Library().typeCount;
}

bool IsDual(const TypeDesc& type) {
    return type.kind == TKIND_INTERFACE && (type.flags & TYPEFLAG_FDUAL);
}

TYPEKIND ShownKind(const TypeDesc& type) {
    return IsDual(type) ? TKIND_DISPATCH : type.kind;
}

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

ULONG HeldCount::AddRef() {
    const ULONG refs = ++refs_;
    if (refs == 1) {
        ObjectCreated();
    }
    return refs;
}

ULONG HeldCount::Release() {
    ULONG refs = refs_.load();
    while (refs > 0 && !refs_.compare_exchange_weak(refs, refs - 1)) {
    }
    if (refs == 1) {
        ObjectDestroyed();
    }
    return refs > 0 ? refs - 1 : 0;
}

}  // namespace typeinfo

namespace {

using namespace typeinfo;

constexpr WORD kDispatchFlags = TYPEFLAG_FDISPATCHABLE;

// The base interfaces of every interface of the library, named and placed (their vtable
// sizes) but without descriptions of their functions.
const TypeDesc kIUnknownType = {u"IUnknown", IID_IUnknown, TKIND_INTERFACE, 0, nullptr,
                                0,           nullptr,      nullptr};
const TypeDesc kIDispatchType = {u"IDispatch", IID_IDispatch, TKIND_INTERFACE, 0, nullptr, 0,
                                 nullptr,      nullptr};

bool IsBase(const TypeDesc& type) {
    return &type == &kIUnknownType || &type == &kIDispatchType;
}

HRESULT GiveView(HREFTYPE ref, ITypeInfo** out);

// One view of a type: as the library shows it (a dual interface as the dispatch interface
// that Invoke serves), or the vtable view of a dual interface.
class TypeInfo final : public ITypeInfo {
  public:
    TypeInfo(const TypeDesc& type, bool vtable) : type_(type), vtable_(vtable) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) {
            return E_POINTER;
        }
        *ppv = riid == IID_IUnknown || riid == IID_ITypeInfo ? this : nullptr;
        if (!*ppv) {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return refs_.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return refs_.Release(); }

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
        attr->typekind = vtable_ ? TKIND_INTERFACE : ShownKind(type_);
        attr->cFuncs = static_cast<WORD>(type_.memberCount);
        attr->cImplTypes = static_cast<WORD>(ImplTypeCount());
        // The slots: none for a class, IUnknown's three, IDispatch's seven (the dispatch view
        // calls nothing else), in the vtable view one more per function.
        const UINT slots = isClass                    ? 0
                           : &type_ == &kIUnknownType ? 3
                           : vtable_                  ? 7 + type_.memberCount
                                                      : 7;
        attr->cbSizeVft = static_cast<WORD>(slots * sizeof(void*));
        attr->cbAlignment = sizeof(void*);
        attr->wTypeFlags =
            static_cast<WORD>(type_.flags | (isClass || IsBase(type_) ? 0 : kDispatchFlags));
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
        if (index == static_cast<UINT>(-1) && IsDual(type_)) {
            // A dual interface's other view: the vtable view of the dispatch view and back.
            *pRefType = IndexOf(type_) + (vtable_ ? 0 : kVtableViewRef);
            return S_OK;
        }
        if (index >= ImplTypeCount()) {
            return TYPE_E_ELEMENTNOTFOUND;
        }
        if (type_.kind == TKIND_COCLASS) {
            *pRefType = IndexOf(*(index == 0 ? type_.defaultInterface : type_.defaultEvents));
        } else {
            *pRefType = &type_ == &kIDispatchType ? kIUnknownRef : kIDispatchRef;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT index, INT* pImplTypeFlags) override {
        if (!pImplTypeFlags) {
            return E_POINTER;
        }
        if (index >= ImplTypeCount() && !(index == static_cast<UINT>(-1) && IsDual(type_))) {
            return TYPE_E_ELEMENTNOTFOUND;
        }
        // A class's default interface and default source; an interface's base has no flags.
        *pImplTypeFlags = type_.kind != TKIND_COCLASS ? 0
                          : index == 0                ? IMPLTYPEFLAG_FDEFAULT
                                       : IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE;
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
        return GiveView(hRefType, ppTInfo);
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
        if (IsBase(type_)) {
            // They belong to the system's standard library, which is not described here.
            if (ppTLib) {
                *ppTLib = nullptr;
            }
            return E_NOTIMPL;
        }
        if (pIndex) {
            *pIndex = IndexOf(type_);
        }
        return ppTLib ? GiveTypeLib(ppTLib) : S_OK;
    }
    void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR* pTypeAttr) override { delete pTypeAttr; }
    void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC* pFuncDesc) override {
        FreeFuncDesc(pFuncDesc);
    }
    void STDMETHODCALLTYPE ReleaseVarDesc(VARDESC*) override {}

  private:
    // A class implements its default interface and, when it has one, its default source;
    // every interface but IUnknown is based on another (IDispatch, IUnknown for IDispatch).
    UINT ImplTypeCount() const {
        if (type_.kind == TKIND_COCLASS) {
            return (type_.defaultInterface ? 1 : 0) + (type_.defaultEvents ? 1 : 0);
        }
        return &type_ == &kIUnknownType ? 0 : 1;
    }

    const TypeDesc& type_;
    const bool vtable_;
    HeldCount refs_;
};

HRESULT TypeInfo::GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) {
    if (!ppFuncDesc) {
        return E_POINTER;
    }
    *ppFuncDesc = nullptr;
    if (index >= type_.memberCount) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    return NewFuncDesc(type_.members[index], index, vtable_, ppFuncDesc);
}

HRESULT TypeInfo::GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames) {
    if (!rgBstrNames || !pcNames) {
        return E_POINTER;
    }
    *pcNames = 0;
    // Of a property's accessors, the one with the most parameters names them all (in the
    // vtable view a result is the last parameter, "retval").
    const auto count = [&](const MemberDesc& member) {
        return member.paramCount + (vtable_ && member.resultType.vt != VT_VOID ? 1 : 0);
    };
    const MemberDesc* named = nullptr;
    for (UINT m = 0; m < type_.memberCount; ++m) {
        const MemberDesc& member = type_.members[m];
        if (member.dispid == memid && (!named || count(member) > count(*named))) {
            named = &member;
        }
    }
    if (!named) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    for (UINT i = 0; i < cMaxNames && i <= count(*named); ++i) {
        const OLECHAR* name = i == 0                   ? named->name
                              : i <= named->paramCount ? named->params[i - 1].name
                                                       : u"retval";
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

HRESULT GiveView(HREFTYPE ref, ITypeInfo** out) {
    // Made once and kept for the life of the process.
    struct Views {
        TypeInfo* shown[16] = {};
        TypeInfo* vtable[16] = {};
        TypeInfo* iunknown = new TypeInfo(kIUnknownType, false);
        TypeInfo* idispatch = new TypeInfo(kIDispatchType, false);
        Views() {
            for (UINT i = 0; i < Library().typeCount && i < 16; ++i) {
                const TypeDesc& type = *Library().types[i];
                shown[i] = new TypeInfo(type, false);
                vtable[i] = IsDual(type) ? new TypeInfo(type, true) : nullptr;
            }
        }
    };
    static const Views* const views = new Views;
    TypeInfo* view = nullptr;
    if (ref < Library().typeCount) {
        view = views->shown[ref];
    } else if (ref >= kVtableViewRef && ref - kVtableViewRef < Library().typeCount) {
        view = views->vtable[ref - kVtableViewRef];
    } else if (ref == kIDispatchRef) {
        view = views->idispatch;
    } else if (ref == kIUnknownRef) {
        view = views->iunknown;
    }
    *out = view;
    if (!view) {
        return TYPE_E_ELEMENTNOTFOUND;
    }
    view->AddRef();
    return S_OK;
}

}  // namespace

HRESULT GiveTypeInfo(const TypeDesc& type, ITypeInfo** out) {
    if (!out) {
        return E_POINTER;
    }
    return GiveView(IndexOf(type), out);
}

}  // namespace quorvil
