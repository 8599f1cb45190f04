// The tray library seen by a generic late-bound client that knows nothing but the program id
// and learns the rest from the type information: every type, member and event, the vtable
// views of the dual interfaces, the default source and its connection point, argument
// counts, and the library kept loaded while only type information is held. Part of the
// plain-host test program (plain_host_e2e.cpp has its main).
#include <gtest/gtest.h>

#include <cstdio>
#include <mutex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/com/type_info.h"
#include "traylib/quorvil_client.h"

namespace quorvil_test {
namespace {

std::string Narrow(std::u16string_view text) {
    return std::string(text.begin(), text.end());
}

std::string NameOf(ITypeInfo* info, MEMBERID id = MEMBERID_NIL) {
    Bstr name;
    info->GetDocumentation(id, name.Put(), nullptr, nullptr, nullptr);
    return Narrow(name.View());
}

std::string TypeText(ITypeInfo* info, const TYPEDESC& t) {
    switch (t.vt) {
        case VT_I4:
            return "Long";
        case VT_BOOL:
            return "Boolean";
        case VT_BSTR:
            return "String";
        case VT_VARIANT:
            return "Variant";
        case VT_DISPATCH:
            return "Object";
        case VT_UNKNOWN:
            return "Unknown";
        case VT_VOID:
            return "";
        case VT_PTR:
            return TypeText(info, *t.lptdesc) + "*";
        case VT_USERDEFINED: {
            ComPtr<ITypeInfo> named;
            info->GetRefTypeInfo(t.hreftype, named.Put());
            return named ? NameOf(named.get()) : "?";
        }
        default:
            return "vt" + std::to_string(t.vt);
    }
}

std::string ValueText(const VARIANT& v) {
    switch (v.vt) {
        case VT_I4:
            return std::to_string(v.lVal);
        case VT_BOOL:
            return v.boolVal ? "True" : "False";
        case VT_BSTR:
            return "\"" + Narrow(std::u16string_view(v.bstrVal, SysStringLen(v.bstrVal))) + "\"";
        default:
            return "?";
    }
}

// One type as its type information tells it: kind and flags, then each function with its
// dispatch id, kind, name, parameters and result, or a class's interfaces.
std::string Listing(ITypeInfo* info) {
    TYPEATTR* attr = nullptr;
    EXPECT_EQ(info->GetTypeAttr(&attr), S_OK);
    std::ostringstream out;
    static const char* const kKinds[] = {"enum",     "record", "module", "interface",
                                         "dispatch", "class",  "alias",  "union"};
    out << NameOf(info) << ' ' << kKinds[attr->typekind];
    for (auto [flag, name] : {std::pair{TYPEFLAG_FCANCREATE, " creatable"},
                              {TYPEFLAG_FHIDDEN, " hidden"},
                              {TYPEFLAG_FDUAL, " dual"}}) {
        out << ((attr->wTypeFlags & flag) ? name : "");
    }
    out << '\n';
    for (UINT i = 0; i < attr->cImplTypes; ++i) {
        HREFTYPE ref = 0;
        INT flags = 0;
        ComPtr<ITypeInfo> implemented;
        info->GetRefTypeOfImplType(i, &ref);
        info->GetImplTypeFlags(i, &flags);
        info->GetRefTypeInfo(ref, implemented.Put());
        out << "  " << ((flags & IMPLTYPEFLAG_FDEFAULT) ? "default " : "")
            << ((flags & IMPLTYPEFLAG_FSOURCE) ? "source " : "") << NameOf(implemented.get())
            << '\n';
    }
    for (UINT i = 0; i < attr->cFuncs; ++i) {
        FUNCDESC* f = nullptr;
        EXPECT_EQ(info->GetFuncDesc(i, &f), S_OK);
        BSTR names[8] = {};
        UINT count = 0;
        info->GetNames(f->memid, names, 8, &count);
        static const char* const kInvoke[] = {"", "method", "get", "", "put", "", "", "", "putref"};
        char id[16];
        std::snprintf(id, sizeof id, "%08X", static_cast<unsigned>(f->memid));
        out << "  " << id << ' ' << kInvoke[f->invkind] << ' '
            << Narrow(std::u16string_view(names[0], SysStringLen(names[0]))) << '(';
        for (SHORT k = 0; k < f->cParams; ++k) {
            const ELEMDESC& p = f->lprgelemdescParam[k];
            const USHORT flags = p.paramdesc.wParamFlags;
            out << (k ? ", " : "") << ((flags & PARAMFLAG_FOPT) ? "optional " : "")
                << ((flags & PARAMFLAG_FOUT) ? "byref " : "")
                << (k + 1u < count
                        ? Narrow(std::u16string_view(names[k + 1], SysStringLen(names[k + 1])))
                        : "?")
                << ' ' << TypeText(info, p.tdesc);
            if (flags & PARAMFLAG_FHASDEFAULT) {
                out << " = " << ValueText(p.paramdesc.pparamdescex->varDefaultValue);
            }
        }
        out << ')';
        const std::string result = TypeText(info, f->elemdescFunc.tdesc);
        out << (result.empty() ? "" : " " + result)
            << ((f->wFuncFlags & FUNCFLAG_FHIDDEN) ? " hidden" : "") << '\n';
        for (UINT k = 0; k < count; ++k) {
            SysFreeString(names[k]);
        }
        info->ReleaseFuncDesc(f);
    }
    info->ReleaseTypeAttr(attr);
    return out.str();
}

// The surface of the library as the tables of its interfaces give it.
constexpr const char* kExpectedLibrary = R"(_SysTray dispatch hidden dual
  IDispatch
  40030007 get MenuCheck() Boolean
  40030007 put MenuCheck(value Boolean)
  68030005 get Menu() _MenuItems*
  68030004 put Visible(value Boolean)
  68030004 get Visible() Boolean
  68030003 put EnableMenu(value Boolean)
  68030003 get EnableMenu() Boolean
  68030002 putref ImageList(value Object)
  68030002 get ImageList() Object
  68030001 put Icon(value Variant)
  68030001 get Icon() Variant
  68030000 put ToolTipText(value String)
  68030000 get ToolTipText() String
  6003000A method ShowMenu()
  6003000B method SendEvent(MouseEvent Long)
SysTray class creatable
  default _SysTray
  default source __SysTray
__SysTray dispatch hidden
  IDispatch
  00000001 method Click(Button Long)
  00000002 method MouseDown(Button Long)
  00000003 method MouseUp(Button Long)
  00000004 method MouseMove()
  00000005 method DoubleClick(Button Long)
  00000006 method MenuClick(byref Item _MenuItem**)
_MenuItems dispatch hidden dual
  IDispatch
  68030001 get Item(Index Variant) _MenuItem*
  68030000 get Count() Long
  60030002 method Add(Caption String, optional Key String = "", optional Tag Variant, optional ItemData Long = 0, optional byref Checked Boolean* = False, optional Enabled Boolean = True) _MenuItem*
  60030003 method Remove(Index Variant) Variant
  60030004 method Clear() Variant
  FFFFFFFC get NewEnum() Unknown hidden
MenuItems class
  default _MenuItems
_MenuItem dispatch hidden dual
  IDispatch
  68030005 put Caption(value String)
  68030005 get Caption() String
  68030004 put Key(value String)
  68030004 get Key() String
  68030003 put Tag(value Variant)
  68030003 get Tag() Variant
  68030002 put ItemData(value Long)
  68030002 get ItemData() Long
  68030001 put Checked(value Boolean)
  68030001 get Checked() Boolean
  68030000 put Enabled(value Boolean)
  68030000 get Enabled() Boolean
MenuItem class
  default _MenuItem
)";

TEST_F(QuorvilTest, AGenericClientFindsMembersEventsAndTheirSourceFromTypeInformation) {
    // Only the program id is known.
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(u"quorvil.SysTray", &clsid), S_OK);
    ComPtr<IDispatch> object;
    ASSERT_EQ(
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.PutVoid()),
        S_OK);
    UINT infoCount = 0;
    ASSERT_EQ(object->GetTypeInfoCount(&infoCount), S_OK);
    ASSERT_EQ(infoCount, 1u);
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(object->GetTypeInfo(0, 0x409, info.Put()), S_OK);

    // Every type of the library, every member and event.
    ComPtr<ITypeLib> library;
    UINT index = 99;
    ASSERT_EQ(info->GetContainingTypeLib(library.Put(), &index), S_OK);
    EXPECT_EQ(index, 0u);
    TLIBATTR* libAttr = nullptr;
    ASSERT_EQ(library->GetLibAttr(&libAttr), S_OK);
    EXPECT_EQ(libAttr->lcid, 0x409u);
    EXPECT_EQ(libAttr->guid, LIBID_quorvil);
    library->ReleaseTLibAttr(libAttr);
    std::string listing;
    for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
        ComPtr<ITypeInfo> type;
        ASSERT_EQ(library->GetTypeInfo(i, type.Put()), S_OK);
        listing += Listing(type.get());
    }
    EXPECT_EQ(listing, kExpectedLibrary);

    // Each dual interface hands over its vtable view (after IDispatch's seven slots, a
    // function per accessor returning HRESULT, a result as the last parameter), which leads
    // back to the dispatch view.
    for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
        ComPtr<ITypeInfo> dispatch, vtable, back;
        ASSERT_EQ(library->GetTypeInfo(i, dispatch.Put()), S_OK);
        TYPEATTR *d = nullptr, *v = nullptr, *b = nullptr;
        dispatch->GetTypeAttr(&d);
        HREFTYPE ref = 0;
        const HRESULT hr = dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref);
        if (d->wTypeFlags & TYPEFLAG_FDUAL) {
            ASSERT_EQ(hr, S_OK) << NameOf(dispatch.get());
            ASSERT_EQ(dispatch->GetRefTypeInfo(ref, vtable.Put()), S_OK);
            vtable->GetTypeAttr(&v);
            EXPECT_EQ(v->typekind, TKIND_INTERFACE);
            EXPECT_EQ(v->guid, d->guid);
            EXPECT_TRUE(v->wTypeFlags & TYPEFLAG_FDUAL);
            EXPECT_EQ(v->cFuncs, d->cFuncs);
            EXPECT_EQ(v->cImplTypes, 1);
            EXPECT_EQ(v->cbSizeVft, (7 + v->cFuncs) * sizeof(void*));
            FUNCDESC* f = nullptr;
            ASSERT_EQ(vtable->GetFuncDesc(1, &f), S_OK);
            EXPECT_EQ(f->funckind, FUNC_PUREVIRTUAL);
            EXPECT_EQ(f->oVft, 8 * static_cast<SHORT>(sizeof(void*)));
            EXPECT_EQ(f->elemdescFunc.tdesc.vt, VT_HRESULT);
            vtable->ReleaseFuncDesc(f);
            ASSERT_EQ(vtable->GetRefTypeOfImplType(static_cast<UINT>(-1), &ref), S_OK);
            ASSERT_EQ(vtable->GetRefTypeInfo(ref, back.Put()), S_OK);
            back->GetTypeAttr(&b);
            EXPECT_EQ(b->typekind, TKIND_DISPATCH);
            EXPECT_EQ(b->guid, d->guid);
            back->ReleaseTypeAttr(b);
            vtable->ReleaseTypeAttr(v);
        } else {
            EXPECT_EQ(hr, TYPE_E_ELEMENTNOTFOUND) << NameOf(dispatch.get());
        }
        dispatch->ReleaseTypeAttr(d);
    }

    // The default source, through the class information.
    ComPtr<IProvideClassInfo> provider;
    ASSERT_EQ(object->QueryInterface(IID_IProvideClassInfo, provider.PutVoid()), S_OK);
    ComPtr<ITypeInfo> classInfo;
    ASSERT_EQ(provider->GetClassInfo(classInfo.Put()), S_OK);
    ComPtr<ITypeInfo> events;
    for (UINT i = 0; !events; ++i) {
        INT flags = 0;
        HREFTYPE ref = 0;
        ASSERT_EQ(classInfo->GetImplTypeFlags(i, &flags), S_OK);
        if (flags == (IMPLTYPEFLAG_FDEFAULT | IMPLTYPEFLAG_FSOURCE)) {
            classInfo->GetRefTypeOfImplType(i, &ref);
            ASSERT_EQ(classInfo->GetRefTypeInfo(ref, events.Put()), S_OK);
        }
    }
    TYPEATTR* eventsAttr = nullptr;
    ASSERT_EQ(events->GetTypeAttr(&eventsAttr), S_OK);
    const IID source = eventsAttr->guid;
    events->ReleaseTypeAttr(eventsAttr);
    EXPECT_EQ(source, DIID___SysTray);

    // A sink connected to the point that the enumeration offers for that source.
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(object->QueryInterface(IID_IConnectionPointContainer, container.PutVoid()), S_OK);
    ComPtr<IEnumConnectionPoints> points;
    ASSERT_EQ(container->EnumConnectionPoints(points.Put()), S_OK);
    ComPtr<IConnectionPoint> point;
    for (IConnectionPoint* next = nullptr; !point && points->Next(1, &next, nullptr) == S_OK;) {
        IID offered{};
        next->GetConnectionInterface(&offered);
        if (offered == source) {
            point = ComPtr<IConnectionPoint>::Attach(next);
        } else {
            next->Release();
        }
    }
    ASSERT_TRUE(point);
    std::vector<std::string> seen;
    std::mutex seenMutex;
    ComPtr<EventSink> sink =
        EventSink::Create(source, [&](DISPID id, const std::vector<VARIANT*>& args) {
            BSTR names[4] = {};
            UINT count = 0;
            events->GetNames(id, names, 4, &count);
            std::string text = Narrow(std::u16string_view(names[0], SysStringLen(names[0])));
            text += '(';
            for (std::size_t k = 0; k < args.size(); ++k) {
                text += Narrow(std::u16string_view(names[k + 1], SysStringLen(names[k + 1])));
                text += '=' + std::to_string(args[k]->lVal);
            }
            for (UINT k = 0; k < count; ++k) {
                SysFreeString(names[k]);
            }
            std::lock_guard lock(seenMutex);
            seen.push_back(text + ')');
        });
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(sink.get(), &cookie), S_OK);
    ComPtr<IEnumConnections> connections;
    ASSERT_EQ(point->EnumConnections(connections.Put()), S_OK);
    CONNECTDATA connection{};
    ULONG fetched = 0;
    ASSERT_EQ(connections->Next(1, &connection, &fetched), S_OK);
    EXPECT_EQ(connection.dwCookie, cookie);
    EXPECT_EQ(Identity(connection.pUnk), Identity(sink.get()));
    connection.pUnk->Release();
    EXPECT_EQ(connections->Next(1, &connection, &fetched), S_FALSE);

    // SendEvent, found by its name, raises the events of its mouse messages.
    OLECHAR sendEventName[] = u"SendEvent";
    LPOLESTR names[] = {sendEventName};
    MEMBERID sendEvent = 0;
    ASSERT_EQ(info->GetIDsOfNames(names, 1, &sendEvent), S_OK);
    for (LONG message = 512; message <= 518; ++message) {
        ASSERT_EQ(Call(object.get(), sendEvent, DISPATCH_METHOD, {*Variant::Long(message).get()}),
                  S_OK);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"MouseMove()", "MouseDown(Button=1)",
                                              "MouseUp(Button=1)", "Click(Button=1)",
                                              "MouseDown(Button=2)", "DoubleClick(Button=2)"}));
    EXPECT_EQ(point->Unadvise(cookie), S_OK);

    // A property put with one positional argument too many: a wrong count, nothing changes.
    const std::vector<DISPID> put = {DISPID_PROPERTYPUT};
    for (DISPID id : {DISPID_SysTray_Visible, DISPID_SysTray_ToolTipText}) {
        EXPECT_EQ(Call(object.get(), id, DISPATCH_PROPERTYPUT,
                       {*Variant::Long(1).get(), *Variant::Text(u"-1").get()}, nullptr, nullptr,
                       nullptr, put),
                  DISP_E_BADPARAMCOUNT);
    }
    Variant visible;
    EXPECT_EQ(Call(object.get(), DISPID_SysTray_Visible, DISPATCH_PROPERTYGET, {}, visible.get()),
              S_OK);
    EXPECT_EQ(visible->boolVal, VARIANT_FALSE);

    // The library stays loaded while only its type information is held.
    sink.Reset();
    point.Reset();
    points.Reset();
    connections.Reset();
    container.Reset();
    provider.Reset();
    object.Reset();
    events.Reset();
    classInfo.Reset();
    EXPECT_EQ(CanUnloadNow(), S_FALSE) << "a type and the library are held";
    info.Reset();
    EXPECT_EQ(CanUnloadNow(), S_FALSE) << "the library is held";
    library.Reset();
}

}  // namespace
}  // namespace quorvil_test
