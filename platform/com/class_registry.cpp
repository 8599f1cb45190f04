// Class creation through the registry: the class's InprocServer32 key, the user's before the
// machine's, names the library; the library is loaded once per process and asked for the
// class factory.
#include <dlfcn.h>

#include <QString>

#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>
#include <new>
#include <optional>
#include <string>

#include "platform/com/com_api.h"
#include "platform/registry/registry.h"

namespace platform::com {

namespace {

constexpr std::u16string_view kSource = u"CoCreateInstance";

struct LoadedModule {
    void* handle = nullptr;
    DllGetClassObjectFn getClassObject = nullptr;
};

// Libraries stay loaded for the life of the process: objects they made may live anywhere,
// and a library that was loaded once is found here again without touching the loader.
std::mutex& CacheMutex() {
    static std::mutex mutex;
    return mutex;
}
std::map<std::string, LoadedModule>& Cache() {
    static std::map<std::string, LoadedModule> cache;
    return cache;
}

std::u16string Utf16(const std::string& utf8) {
    const QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    return text.toStdU16String();
}

// A value under the classes root: the user's registry first, then the machine's.
std::optional<std::string> ClassesValue(const std::string& subkey) {
    for (std::string_view root : {kClassesRoot, kMachineClassesRoot}) {
        auto value = registry::GetValue(std::string(root) + "\\" + subkey, "");
        if (value && !value->empty()) {
            return value;
        }
    }
    return std::nullopt;
}

std::atomic<RegistrationScope> g_registrationScope{RegistrationScope::CurrentUser};

HRESULT LoadModule(const std::string& path, LoadedModule* out) {
    std::lock_guard lock(CacheMutex());
    auto found = Cache().find(path);
    if (found != Cache().end()) {
        *out = found->second;
        return S_OK;
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::path(path), ec)) {
        return ReportError(CO_E_DLLNOTFOUND, kSource,
                           u"The library registered for the class does not exist: " + Utf16(path));
    }
    dlerror();
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        return ReportError(HResultFromWin32(ERROR_MOD_NOT_FOUND), kSource,
                           u"The library " + Utf16(path) + u" cannot be loaded: " +
                               Utf16(why ? why : "unknown reason"));
    }
    auto entry = reinterpret_cast<DllGetClassObjectFn>(dlsym(handle, "DllGetClassObject"));
    if (!entry) {
        // Nothing of the library is in use yet, so it can go again.
        dlclose(handle);
        return ReportError(CO_E_ERRORINDLL, kSource,
                           u"The library " + Utf16(path) +
                               u" is not a component server: it has no DllGetClassObject");
    }
    LoadedModule module{handle, entry};
    Cache().emplace(path, module);
    *out = module;
    return S_OK;
}

}  // namespace

void SetRegistrationScope(RegistrationScope scope) {
    g_registrationScope = scope;
}

std::string_view RegistrationClassesRoot() {
    return g_registrationScope == RegistrationScope::AllUsers ? kMachineClassesRoot : kClassesRoot;
}

HRESULT CoInitialize(void*) {
    return S_OK;
}

void CoUninitialize() {}

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, void*, REFIID riid, void** ppv) {
    if (!ppv) {
        return E_POINTER;
    }
    *ppv = nullptr;
    try {
        const auto path = ClassesValue("CLSID\\" + GuidToString(rclsid) + "\\InprocServer32");
        if (!(dwClsContext & CLSCTX_INPROC_SERVER) || !path || path->empty()) {
            return ReportError(REGDB_E_CLASSNOTREG, kSource,
                               u"Class not registered: " + Utf16(GuidToString(rclsid)));
        }
        LoadedModule module;
        const HRESULT hr = LoadModule(*path, &module);
        if (FAILED(hr)) {
            return hr;
        }
        return module.getClassObject(rclsid, riid, ppv);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid,
                         void** ppv) {
    if (!ppv) {
        return E_POINTER;
    }
    *ppv = nullptr;
    IClassFactory* factory = nullptr;
    HRESULT hr = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory,
                                  reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) {
        return hr;
    }
    if (!factory) {
        return E_UNEXPECTED;
    }
    hr = factory->CreateInstance(pUnkOuter, riid, ppv);
    factory->Release();
    return hr;
}

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* lpclsid) {
    if (!lpszProgID || !lpclsid) {
        return E_INVALIDARG;
    }
    *lpclsid = GUID_NULL;
    try {
        const QString progId = QString::fromUtf16(lpszProgID);
        if (progId.isEmpty() || progId.contains(u'\\')) {
            return CO_E_CLASSSTRING;
        }
        const auto value = ClassesValue(progId.toStdString() + "\\CLSID");
        if (!value || !GuidFromString(*value, lpclsid)) {
            *lpclsid = GUID_NULL;
            return CO_E_CLASSSTRING;
        }
        return S_OK;
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace platform::com
