#include "traylib/quorvil_client.h"

#include <dlfcn.h>
#include <sys/wait.h>

#include <cstdlib>

namespace quorvil_test {

int RunRegsvr(const std::string& arguments) {
    const std::string command =
        std::string("\"") + KESTRANE_REGSVR + "\" -s " + arguments + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

HRESULT CanUnloadNow() {
    void* handle = dlopen(KESTRANE_QUORVIL_MODULE, RTLD_NOW | RTLD_NOLOAD);
    if (!handle) {
        return S_OK;
    }
    auto entry = reinterpret_cast<DllCanUnloadNowFn>(dlsym(handle, "DllCanUnloadNow"));
    const HRESULT hr = entry ? entry() : E_FAIL;
    dlclose(handle);  // only drops the count taken just now
    return hr;
}

HRESULT Call(IDispatch* object, DISPID id, WORD flags, std::vector<VARIANT> args, VARIANT* result,
             EXCEPINFO* excep, UINT* argErr, std::vector<DISPID> named) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS dp = {reversed.empty() ? nullptr : reversed.data(),
                     named.empty() ? nullptr : named.data(), static_cast<UINT>(reversed.size()),
                     static_cast<UINT>(named.size())};
    UINT dummy = 0;
    return object->Invoke(id, IID_NULL, kTypeLibLcid, flags, &dp, result, excep,
                          argErr ? argErr : &dummy);
}

HRESULT PutProperty(IDispatch* object, DISPID id, const VARIANT& value) {
    return Call(object, id, DISPATCH_PROPERTYPUT, {value}, nullptr, nullptr, nullptr,
                {DISPID_PROPERTYPUT});
}

std::u16string TextOf(BSTR b) {
    return b ? std::u16string(b, SysStringLen(b)) : u"";
}

IUnknown* Identity(IUnknown* object) {
    void* unknown = nullptr;
    if (FAILED(object->QueryInterface(IID_IUnknown, &unknown))) {
        return nullptr;
    }
    static_cast<IUnknown*>(unknown)->Release();
    return static_cast<IUnknown*>(unknown);
}

void QuorvilTest::SetUp() {
    home_ = std::make_unique<testsupport::TempDir>();
    env_ = std::make_unique<testsupport::ScopedEnv>("XDG_CONFIG_HOME", home_->path().string());
    ASSERT_EQ(RunRegsvr(std::string("\"") + KESTRANE_QUORVIL_MODULE + "\""), 0);
}

void QuorvilTest::TearDown() {
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(CanUnloadNow(), S_OK) << "an object of the library is still alive";
    env_.reset();
    home_.reset();
}

ComPtr<_SysTray> QuorvilTest::CreateTray() {
    ComPtr<_SysTray> tray;
    const HRESULT hr = CoCreateInstance(CLSID_SysTray, nullptr, CLSCTX_INPROC_SERVER, IID__SysTray,
                                        tray.PutVoid());
    EXPECT_EQ(hr, S_OK);
    return tray;
}

ComPtr<_MenuItems> QuorvilTest::MenuOf(_SysTray* tray) {
    ComPtr<_MenuItems> menu;
    EXPECT_EQ(tray->get_Menu(menu.Put()), S_OK);
    return menu;
}

}  // namespace quorvil_test
