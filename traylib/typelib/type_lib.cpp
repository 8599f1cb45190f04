// The library's ITypeLib: language 0x409, version 1.0, its seven types (a dual interface
// listed as its dispatch view), names found by IsName and FindName without regard to letter
// case. One object for the whole process, counted as a live object while a client holds it.
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include "traylib/typelib/type_info.h"
#include "traylib/typelib/type_info_parts.h"

namespace quorvil {

namespace {

using namespace typeinfo;

class TypeLib final : public ITypeLib {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override { return refs_.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return refs_.Release(); }

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

    HeldCount refs_;
};

HRESULT TypeLib::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) {
        return E_POINTER;
    }
    *ppv = riid == IID_IUnknown || riid == IID_ITypeLib ? this : nullptr;
    if (!*ppv) {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

}  // namespace

HRESULT GiveTypeLib(ITypeLib** out) {
    if (!out) {
        return E_POINTER;
    }
    static TypeLib* const library = new TypeLib;
    library->AddRef();
    *out = library;
    return S_OK;
}

}  // namespace quorvil
