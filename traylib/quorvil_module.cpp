// The entry points of the quorvil library, an in-process component server: the class
// factory of SysTray, the answer to "may the library be unloaded?", and its registration in
// the registry (the user's, or the machine's when the registering process asks for all
// users). These four functions are all the library exports.
#include <dlfcn.h>

#include <exception>
#include <filesystem>
#include <string>

#include "platform/registry/registry.h"
#include "traylib/quorvil.h"
#include "traylib/systray/sys_tray.h"
#include "traylib/typelib/server_object.h"

namespace quorvil {

namespace {

constexpr std::u16string_view kRegistrationSource = u"quorvil";

// The class factory of SysTray. It counts as a live object, so the library stays loaded
// while a client holds it.
class SysTrayFactory final : public IClassFactory {
  public:
    SysTrayFactory() { ObjectCreated(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --refs_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                             void** ppvObject) override {
        if (!ppvObject) {
            return E_POINTER;
        }
        *ppvObject = nullptr;
        if (pUnkOuter) {
            return CLASS_E_NOAGGREGATION;
        }
        return Guarded(kSysTrayErrorSource, [&] { return SysTray::Create(riid, ppvObject); });
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override {
        LockModule(fLock != 0);
        return S_OK;
    }

  private:
    ~SysTrayFactory() { ObjectDestroyed(); }
    ULONG refs_ = 1;
};

std::string ClsidKey() {
    return std::string(RegistrationClassesRoot()) + "\\CLSID\\" + GuidToString(CLSID_SysTray);
}

std::string ProgIdText() {
    std::string out;
    for (const char16_t* p = kSysTrayProgId; *p; ++p) {
        out += static_cast<char>(*p);
    }
    return out;
}

std::string ProgIdKey() {
    return std::string(RegistrationClassesRoot()) + "\\" + ProgIdText();
}

// The file this library was loaded from.
std::string LibraryPath() {
    Dl_info info{};
    if (!dladdr(reinterpret_cast<void*>(&ClsidKey), &info) || !info.dli_fname) {
        return {};
    }
    std::error_code ec;
    const auto path = std::filesystem::weakly_canonical(info.dli_fname, ec);
    return ec ? std::string(info.dli_fname) : path.string();
}

std::u16string Utf16(const std::string& text) {
    return std::u16string(text.begin(), text.end());  // the registry's messages are ASCII
}

HRESULT Unregister() {
    std::string error;
    if (!platform::registry::DeleteKeyTree(ClsidKey(), &error)) {
        return ReportError(REGDB_E_WRITEREGDB, kRegistrationSource, Utf16(error));
    }
    // The program id goes only while it still names this class (or names none).
    const auto clsid = platform::registry::GetValue(ProgIdKey() + "\\CLSID", "");
    GUID registered{};
    const bool ours =
        !clsid || (GuidFromString(*clsid, &registered) && registered == CLSID_SysTray);
    if (ours && !platform::registry::DeleteKeyTree(ProgIdKey(), &error)) {
        return ReportError(REGDB_E_WRITEREGDB, kRegistrationSource, Utf16(error));
    }
    return S_OK;
}

HRESULT Register() {
    const std::string path = LibraryPath();
    if (path.empty()) {
        return ReportError(SELFREG_E_CLASS, kRegistrationSource,
                           u"The library cannot tell where it was loaded from");
    }
    const std::string clsid = GuidToString(CLSID_SysTray);
    const std::string progId = ProgIdText();
    struct Value {
        std::string key;
        const char* name;
        std::string data;
    };
    const Value values[] = {
        {ClsidKey(), "", progId},
        {ClsidKey() + "\\InprocServer32", "", path},
        {ClsidKey() + "\\InprocServer32", "ThreadingModel", "Apartment"},
        {ClsidKey() + "\\ProgID", "", progId},
        {ProgIdKey(), "", progId},
        {ProgIdKey() + "\\CLSID", "", clsid},
    };
    for (const Value& v : values) {
        std::string error;
        bool written = false;
        try {
            written = platform::registry::SetValue(v.key, v.name, v.data, &error);
        } catch (const std::exception& e) {
            error = e.what();
        }
        if (!written) {
            // Nothing half-registered stays behind.
            try {
                Unregister();
            } catch (...) {
            }
            SetErrorInfo(0, nullptr);
            return ReportError(SELFREG_E_CLASS, kRegistrationSource,
                               u"The class cannot be registered: " + Utf16(error));
        }
    }
    return S_OK;
}

}  // namespace

}  // namespace quorvil

using namespace quorvil;

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID rclsid,
                                                                            REFIID riid,
                                                                            void** ppv) {
    if (!ppv) {
        return E_POINTER;
    }
    *ppv = nullptr;
    if (!(rclsid == CLSID_SysTray)) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return Guarded(kSysTrayErrorSource, [&]() -> HRESULT {
        auto* factory = new SysTrayFactory();
        const HRESULT hr = factory->QueryInterface(riid, ppv);
        factory->Release();
        return hr;
    });
}

extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow() {
    return LiveObjects() == 0 && ServerLocks() == 0 ? S_OK : S_FALSE;
}

extern "C" __attribute__((visibility("default"))) HRESULT DllRegisterServer() {
    return Guarded(kRegistrationSource, [] { return Register(); });
}

extern "C" __attribute__((visibility("default"))) HRESULT DllUnregisterServer() {
    return Guarded(kRegistrationSource, [] { return Unregister(); });
}
