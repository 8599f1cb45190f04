// quorvil as a component server, seen from a client: registration, creation, interfaces and
// reference counts, unloading, the connection point and the refusals.
#include <dlfcn.h>

#include <cstdio>
#include <set>
#include <string>

#include "platform/registry/registry.h"
#include "traylib/quorvil_client.h"

namespace quorvil_test {
namespace {

const std::string kClsidKey = std::string(kClassesRoot) + "\\CLSID\\" + GuidToString(CLSID_SysTray);
const std::string kProgIdKey = std::string(kClassesRoot) + "\\quorvil.SysTray";

TEST(QuorvilModule, ExportsExactlyTheFourEntryPoints) {
    FILE* pipe =
        popen((std::string("nm -D --defined-only \"") + KESTRANE_QUORVIL_MODULE + "\" 2>/dev/null")
                  .c_str(),
              "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> names;
    char line[1024];
    while (fgets(line, sizeof line, pipe)) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
            text.pop_back();
        }
        names.insert(text.substr(text.rfind(' ') + 1));
    }
    const int status = pclose(pipe);
    if (names.empty() && status != 0) {
        GTEST_SKIP() << "nm is not available";
    }
    EXPECT_EQ(names, (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject",
                                            "DllRegisterServer", "DllUnregisterServer"}));
}

TEST_F(QuorvilTest, RegistrationWritesTheClassAndProgramIdAndUnregistrationRemovesThem) {
    namespace registry = platform::registry;
    const auto path = registry::GetValue(kClsidKey + "\\InprocServer32", "");
    ASSERT_TRUE(path.has_value());
    EXPECT_EQ(std::filesystem::path(*path),
              std::filesystem::weakly_canonical(KESTRANE_QUORVIL_MODULE));
    CLSID byProgId{};
    ASSERT_EQ(CLSIDFromProgID(kSysTrayProgId, &byProgId), S_OK);
    EXPECT_EQ(byProgId, CLSID_SysTray);

    // Keys of others stay where they are.
    const std::string otherKey =
        std::string(kClassesRoot) + "\\CLSID\\{00000000-1111-2222-3333-444444444444}";
    ASSERT_TRUE(registry::SetValue(otherKey + "\\InprocServer32", "", "/elsewhere/lib.so"));
    ASSERT_EQ(RunRegsvr(std::string("-u \"") + KESTRANE_QUORVIL_MODULE + "\""), 0);
    EXPECT_FALSE(registry::KeyExists(kClsidKey));
    EXPECT_FALSE(registry::KeyExists(kProgIdKey));
    EXPECT_TRUE(registry::KeyExists(otherKey + "\\InprocServer32"));
    EXPECT_TRUE(registry::KeyExists(std::string(kClassesRoot) + "\\CLSID"));

    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(CLSID_SysTray, nullptr, CLSCTX_INPROC_SERVER, IID__SysTray, &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CLSIDFromProgID(kSysTrayProgId, &byProgId), CO_E_CLASSSTRING);

    // Registering again makes the class creatable again; unregistering twice is no failure.
    ASSERT_EQ(RunRegsvr(std::string("\"") + KESTRANE_QUORVIL_MODULE + "\""), 0);
    EXPECT_TRUE(CreateTray());
    ASSERT_EQ(RunRegsvr(std::string("-u \"") + KESTRANE_QUORVIL_MODULE + "\""), 0);
    EXPECT_EQ(RunRegsvr(std::string("-u \"") + KESTRANE_QUORVIL_MODULE + "\""), 0);
}

TEST_F(QuorvilTest, AllUsersRegistrationIsFoundAfterTheUsersOwn) {
    namespace registry = platform::registry;
    const std::string module = std::string("\"") + KESTRANE_QUORVIL_MODULE + "\"";
    const std::string machineKey =
        std::string(kMachineClassesRoot) + "\\CLSID\\" + GuidToString(CLSID_SysTray);
    ASSERT_EQ(RunRegsvr("-u " + module), 0);
    ASSERT_EQ(RunRegsvr("-s --all-users " + module), 0);
    EXPECT_FALSE(registry::KeyExists(kClsidKey));
    EXPECT_EQ(
        std::filesystem::path(registry::GetValue(machineKey + "\\InprocServer32", "").value()),
        std::filesystem::weakly_canonical(KESTRANE_QUORVIL_MODULE));
    EXPECT_TRUE(CreateTray());
    CLSID byProgId{};
    EXPECT_EQ(CLSIDFromProgID(kSysTrayProgId, &byProgId), S_OK);

    // The user's own registration comes first, even one naming a library that is no server.
    ASSERT_TRUE(registry::SetValue(kClsidKey + "\\InprocServer32", "", KESTRANE_TEST_PLAIN_MODULE));
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(CLSID_SysTray, nullptr, CLSCTX_INPROC_SERVER, IID__SysTray, &object),
              CO_E_ERRORINDLL);
    ASSERT_TRUE(registry::DeleteKeyTree(kClsidKey));

    ASSERT_EQ(RunRegsvr("-u --all-users " + module), 0);
    EXPECT_FALSE(registry::KeyExists(machineKey));
    EXPECT_EQ(CoCreateInstance(CLSID_SysTray, nullptr, CLSCTX_INPROC_SERVER, IID__SysTray, &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
}

TEST_F(QuorvilTest, ALibraryWithoutTheEntryPointsIsRefusedCleanly) {
    EXPECT_EQ(RunRegsvr(std::string("\"") + KESTRANE_TEST_PLAIN_MODULE + "\""), 4);
    EXPECT_EQ(RunRegsvr(std::string("-u \"") + KESTRANE_TEST_PLAIN_MODULE + "\""), 4);
    EXPECT_EQ(RunRegsvr("\"" + (home_->path() / "missing.so").string() + "\""), 3);
    EXPECT_EQ(RunRegsvr(""), 1);

    // A class whose registration names such a library cannot be created.
    const CLSID other = {
        0x00000000, 0x1111, 0x2222, {0x33, 0x33, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44}};
    ASSERT_TRUE(platform::registry::SetValue(
        std::string(kClassesRoot) + "\\CLSID\\" + GuidToString(other) + "\\InprocServer32", "",
        KESTRANE_TEST_PLAIN_MODULE));
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(other, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              CO_E_ERRORINDLL);
    EXPECT_EQ(object, nullptr);
}

TEST_F(QuorvilTest, RegistrationThatCannotBeWrittenIsReportedAsAFailure) {
    ASSERT_EQ(RunRegsvr(std::string("-u \"") + KESTRANE_QUORVIL_MODULE + "\""), 0);
    // A per-user configuration folder that is a file: the store cannot be written.
    testsupport::WriteBytes(home_->path() / "not-a-folder", "x");
    {
        testsupport::ScopedEnv blocked("XDG_CONFIG_HOME",
                                       (home_->path() / "not-a-folder").string());
        EXPECT_EQ(RunRegsvr(std::string("\"") + KESTRANE_QUORVIL_MODULE + "\""), 5);
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(
            CoCreateInstance(CLSID_SysTray, nullptr, CLSCTX_INPROC_SERVER, IID__SysTray, &object),
            REGDB_E_CLASSNOTREG);
        EXPECT_EQ(object, nullptr);
    }
}

TEST_F(QuorvilTest, InterfacesFollowTheRulesOfIdentityAndCounting) {
    ComPtr<_SysTray> tray = CreateTray();
    ASSERT_TRUE(tray);

    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(tray.As(IID_IConnectionPointContainer, &container), S_OK);
    ComPtr<IDispatch> dispatch;
    ASSERT_EQ(tray.As(IID_IDispatch, &dispatch), S_OK);
    EXPECT_EQ(Identity(tray.get()), Identity(container.get()));
    EXPECT_EQ(Identity(tray.get()), Identity(dispatch.get()));

    // A refused interface leaves a null pointer behind.
    void* wrong = reinterpret_cast<void*>(1);
    EXPECT_EQ(tray->QueryInterface(IID__MenuItems, &wrong), E_NOINTERFACE);
    EXPECT_EQ(wrong, nullptr);

    // Counts go up and down by one; the object has the references taken above.
    const ULONG up = tray->AddRef();
    EXPECT_EQ(tray->Release(), up - 1);

    // Menu is the same collection every time, a counted reference that outlives the tray.
    ComPtr<_MenuItems> menu = MenuOf(tray.get());
    ComPtr<_MenuItems> again = MenuOf(tray.get());
    EXPECT_EQ(Identity(menu.get()), Identity(again.get()));
    EXPECT_NE(Identity(menu.get()), Identity(tray.get()));
    container.Reset();
    dispatch.Reset();
    again.Reset();
    tray.Reset();
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    ComPtr<_MenuItem> item;
    ASSERT_EQ(menu->Add(nullptr, nullptr, *Variant::Missing().get(), 0, nullptr, VARIANT_TRUE,
                        item.Put()),
              S_OK);
    LONG count = 0;
    ASSERT_EQ(menu->get_Count(&count), S_OK);
    EXPECT_EQ(count, 1);

    // Every object of the library answers ISupportErrorInfo for its own interface.
    ComPtr<ISupportErrorInfo> support;
    ASSERT_EQ(menu.As(IID_ISupportErrorInfo, &support), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID__MenuItems), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID__SysTray), S_FALSE);
}

TEST_F(QuorvilTest, CanUnloadNowFollowsLiveObjectsAndServerLocks) {
    EXPECT_EQ(CanUnloadNow(), S_OK);
    ComPtr<_SysTray> tray = CreateTray();
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    ComPtr<_MenuItem> item;
    ASSERT_EQ(MenuOf(tray.get())
                  ->Add(nullptr, nullptr, *Variant::Missing().get(), 0, nullptr, VARIANT_TRUE,
                        item.Put()),
              S_OK);
    tray.Reset();
    // The entry alone still keeps the library in use.
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    item.Reset();
    EXPECT_EQ(CanUnloadNow(), S_OK);

    ComPtr<IClassFactory> factory;
    ASSERT_EQ(CoGetClassObject(CLSID_SysTray, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               factory.PutVoid()),
              S_OK);
    EXPECT_EQ(factory->LockServer(1), S_OK);
    factory.Reset();
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    ASSERT_EQ(CoGetClassObject(CLSID_SysTray, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               factory.PutVoid()),
              S_OK);
    EXPECT_EQ(factory->LockServer(0), S_OK);
    // Aggregation is not supported.
    IUnknown* outer = factory.get();
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(outer, IID_IUnknown, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    factory.Reset();
    EXPECT_EQ(CanUnloadNow(), S_OK);
}

TEST_F(QuorvilTest, OnlySysTrayIsCreatable) {
    void* handle = dlopen(KESTRANE_QUORVIL_MODULE, RTLD_NOW);
    ASSERT_NE(handle, nullptr);
    auto getClassObject = reinterpret_cast<DllGetClassObjectFn>(dlsym(handle, "DllGetClassObject"));
    ASSERT_NE(getClassObject, nullptr);
    for (const CLSID& clsid : {CLSID_MenuItems, CLSID_MenuItem, IID__SysTray}) {
        void* factory = reinterpret_cast<void*>(1);
        EXPECT_EQ(getClassObject(clsid, IID_IClassFactory, &factory), CLASS_E_CLASSNOTAVAILABLE);
        EXPECT_EQ(factory, nullptr);
    }
    void* factory = reinterpret_cast<void*>(1);
    EXPECT_EQ(getClassObject(CLSID_SysTray, IID__SysTray, &factory), E_NOINTERFACE);
    EXPECT_EQ(factory, nullptr);
    dlclose(handle);

    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(
        CoCreateInstance(CLSID_MenuItems, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
        REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
}

// An event sink that only counts its references.
class Sink final : public IDispatch {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == DIID___SysTray) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return S_OK;
    }
    ULONG refs = 1;
};

// An object that offers neither the event interface nor IDispatch.
class NotASink final : public IUnknown {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        *ppv = riid == IID_IUnknown ? this : nullptr;
        return *ppv ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
};

TEST_F(QuorvilTest, EventSinksConnectThroughTheConnectionPoint) {
    ComPtr<_SysTray> tray = CreateTray();
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(tray.As(IID_IConnectionPointContainer, &container), S_OK);
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(container->FindConnectionPoint(IID__SysTray, point.Put()), CONNECT_E_NOCONNECTION);
    EXPECT_FALSE(point);
    ASSERT_EQ(container->FindConnectionPoint(DIID___SysTray, point.Put()), S_OK);
    IID iid{};
    ASSERT_EQ(point->GetConnectionInterface(&iid), S_OK);
    EXPECT_EQ(iid, DIID___SysTray);

    Sink sink;
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
    EXPECT_NE(cookie, 0u);
    EXPECT_EQ(sink.refs, 2u);
    NotASink stranger;
    DWORD none = 7;
    EXPECT_EQ(point->Advise(&stranger, &none), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(none, 0u);
    EXPECT_EQ(point->Unadvise(cookie + 100), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(point->Unadvise(cookie), S_OK);
    EXPECT_EQ(sink.refs, 1u);
    EXPECT_EQ(point->Unadvise(cookie), CONNECT_E_NOCONNECTION);

    // The connection point keeps its container alive; a sink still connected when the
    // object goes is released with it.
    ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
    container.Reset();
    tray.Reset();
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    ComPtr<IConnectionPointContainer> back;
    ASSERT_EQ(point->GetConnectionPointContainer(back.Put()), S_OK);
    ComPtr<_SysTray> trayAgain;
    ASSERT_EQ(back.As(IID__SysTray, &trayAgain), S_OK);
    back.Reset();
    trayAgain.Reset();
    point.Reset();
    EXPECT_EQ(sink.refs, 1u);

    // The client's sink object connects the same way; its connection keeps the tray alive
    // until it disconnects.
    ComPtr<_SysTray> another = CreateTray();
    ComPtr<EventSink> events = EventSink::Create(DIID___SysTray, nullptr);
    ASSERT_EQ(events->Connect(another.get()), S_OK);
    another.Reset();
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    EXPECT_EQ(events->Disconnect(), S_OK);
    EXPECT_EQ(CanUnloadNow(), S_OK);
}

TEST_F(QuorvilTest, LateBoundCallsGiveTheStandardDispatchErrors) {
    ComPtr<_SysTray> tray = CreateTray();
    std::u16string name = u"menu";
    LPOLESTR names[] = {name.data()};
    DISPID id = 0;
    ASSERT_EQ(tray->GetIDsOfNames(IID_NULL, names, 1, kTypeLibLcid, &id), S_OK);
    EXPECT_EQ(id, DISPID_SysTray_Menu);
    std::u16string unknown = u"Flash";
    names[0] = unknown.data();
    EXPECT_EQ(tray->GetIDsOfNames(IID_NULL, names, 1, kTypeLibLcid, &id), DISP_E_UNKNOWNNAME);

    Variant result;
    ASSERT_EQ(Call(tray.get(), DISPID_SysTray_Menu, DISPATCH_PROPERTYGET, {}, result.Put()), S_OK);
    ASSERT_EQ(result->vt, VT_DISPATCH);
    ComPtr<_MenuItems> menu;
    ASSERT_EQ(result->pdispVal->QueryInterface(IID__MenuItems, menu.PutVoid()), S_OK);
    result.Put();

    EXPECT_EQ(Call(tray.get(), 0x12345, DISPATCH_METHOD, {}, result.Put()), DISP_E_MEMBERNOTFOUND);
    // Menu has no put, and takes no arguments.
    EXPECT_EQ(PutProperty(tray.get(), DISPID_SysTray_Menu, *Variant::Long(1).get()),
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Call(tray.get(), DISPID_SysTray_Menu, DISPATCH_PROPERTYGET, {*Variant::Long(1).get()},
                   result.Put()),
              DISP_E_BADPARAMCOUNT);
    UINT argErr = 99;
    Variant text = Variant::Text(u"left button");
    EXPECT_EQ(Call(tray.get(), DISPID_SysTray_SendEvent, DISPATCH_METHOD, {*text.get()},
                   result.Put(), nullptr, &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 0u);
    EXPECT_EQ(Call(tray.get(), DISPID_SysTray_Menu, DISPATCH_PROPERTYGET, {}, result.Put()), S_OK);
    EXPECT_EQ(tray->Invoke(DISPID_SysTray_Menu, IID__SysTray, kTypeLibLcid, DISPATCH_PROPERTYGET,
                           nullptr, result.Put(), nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);
}

}  // namespace
}  // namespace quorvil_test
