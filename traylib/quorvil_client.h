// What the tests of quorvil share: a registered copy of the built library in a temporary
// per-user registry, and the calls a client makes (regsvr, CoCreateInstance, Invoke).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/com/com.h"
#include "tests/support/test_support.h"
#include "traylib/quorvil.h"

namespace quorvil_test {

using namespace platform::com;
using namespace quorvil;

// Runs the regsvr tool with these arguments; its exit status.
int RunRegsvr(const std::string& arguments);

// DllCanUnloadNow of the loaded library (S_OK when it is not loaded at all).
HRESULT CanUnloadNow();

// Calls Invoke with the arguments in declaration order (reversed here, as a client must),
// naming the first named.size() of the reversed arguments with those ids.
HRESULT Call(IDispatch* object, DISPID id, WORD flags, std::vector<VARIANT> args,
             VARIANT* result = nullptr, EXCEPINFO* excep = nullptr, UINT* argErr = nullptr,
             std::vector<DISPID> named = {});
// A property put through Invoke (the value named DISPID_PROPERTYPUT).
HRESULT PutProperty(IDispatch* object, DISPID id, const VARIANT& value);

std::u16string TextOf(BSTR b);

// The identity of an object: its IUnknown pointer.
IUnknown* Identity(IUnknown* object);

// Each test starts with the library registered in a fresh per-user registry and ends with
// every object of it released (DllCanUnloadNow answers S_OK).
class QuorvilTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    ComPtr<_SysTray> CreateTray();
    ComPtr<_MenuItems> MenuOf(_SysTray* tray);

    std::unique_ptr<testsupport::TempDir> home_;
    std::unique_ptr<testsupport::ScopedEnv> env_;
};

}  // namespace quorvil_test
