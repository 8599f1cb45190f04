// Strings, variants, error information, identifiers and the refusals of class creation.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/com/com.h"
#include "platform/registry/registry.h"
#include "tests/support/test_support.h"

namespace com = platform::com;
using namespace platform::com;

namespace {

// An object that only counts its references.
class Counted final : public IDispatch {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch) {
            *ppv = this;
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
        return E_NOTIMPL;
    }
    ULONG refs = 1;
};

std::u16string TextOf(const VARIANT& v) {
    return v.bstrVal ? std::u16string(v.bstrVal, SysStringLen(v.bstrVal)) : u"";
}

}  // namespace

TEST(Bstr, KeepsLengthEmbeddedNulAndTerminator) {
    BSTR b = SysAllocStringLen(u"a\0b", 3);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(SysStringLen(b), 3u);
    EXPECT_EQ(SysStringByteLen(b), 6u);
    EXPECT_EQ(b[1], u'\0');
    EXPECT_EQ(b[2], u'b');
    EXPECT_EQ(b[3], u'\0');
    SysFreeString(b);

    BSTR c = SysAllocString(u"Show");
    EXPECT_EQ(SysStringLen(c), 4u);
    EXPECT_EQ(std::u16string(c), u"Show");
    SysFreeString(c);

    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    SysFreeString(nullptr);

    BSTR zeros = SysAllocStringLen(nullptr, 2);
    EXPECT_EQ(SysStringLen(zeros), 2u);
    EXPECT_EQ(zeros[0], u'\0');
    SysFreeString(zeros);
}

TEST(Variant, CopyOwnsItsStringAndReference) {
    Counted object;
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_BSTR;
    source.bstrVal = SysAllocString(u"Tag");
    VARIANT copy;
    VariantInit(&copy);
    ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
    EXPECT_NE(copy.bstrVal, source.bstrVal);
    EXPECT_EQ(TextOf(copy), u"Tag");
    VariantClear(&source);
    EXPECT_EQ(TextOf(copy), u"Tag");

    // Copying over a string releases it; an object gains one reference per copy.
    source.vt = VT_DISPATCH;
    source.pdispVal = &object;
    object.AddRef();
    ASSERT_EQ(VariantCopy(&copy, &source), S_OK);
    EXPECT_EQ(copy.vt, VT_DISPATCH);
    EXPECT_EQ(object.refs, 3u);
    VariantClear(&copy);
    EXPECT_EQ(object.refs, 2u);
    EXPECT_EQ(copy.vt, VT_EMPTY);

    // A reference is copied as a reference and owns nothing.
    VARIANT byref;
    VariantInit(&byref);
    IDispatch* slot = &object;
    byref.vt = VT_BYREF | VT_DISPATCH;
    byref.ppdispVal = &slot;
    ASSERT_EQ(VariantCopy(&copy, &byref), S_OK);
    EXPECT_EQ(object.refs, 2u);
    VariantClear(&copy);
    // Copying indirectly takes the value and a reference to it.
    ASSERT_EQ(VariantCopyInd(&copy, &byref), S_OK);
    EXPECT_EQ(copy.vt, VT_DISPATCH);
    EXPECT_EQ(object.refs, 3u);
    VariantClear(&copy);
    VariantClear(&source);
    EXPECT_EQ(object.refs, 1u);
}

TEST(Variant, ChangeTypeConvertsOrRefusesWithoutTouchingTheDestination) {
    com::Variant text = com::Variant::Text(u" 42 ");
    VARIANT out;
    VariantInit(&out);
    ASSERT_EQ(VariantChangeType(&out, text.get(), 0, VT_I4), S_OK);
    EXPECT_EQ(out.vt, VT_I4);
    EXPECT_EQ(out.lVal, 42);

    com::Variant word = com::Variant::Text(u"abc");
    EXPECT_EQ(VariantChangeType(&out, word.get(), 0, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(out.vt, VT_I4);
    EXPECT_EQ(out.lVal, 42);

    // Fractions round half to even; values beyond the range overflow.
    VARIANT real;
    VariantInit(&real);
    real.vt = VT_R8;
    real.dblVal = 2.5;
    ASSERT_EQ(VariantChangeType(&out, &real, 0, VT_I4), S_OK);
    EXPECT_EQ(out.lVal, 2);
    real.dblVal = 3.5;
    ASSERT_EQ(VariantChangeType(&out, &real, 0, VT_I4), S_OK);
    EXPECT_EQ(out.lVal, 4);
    real.dblVal = 3e9;
    EXPECT_EQ(VariantChangeType(&out, &real, 0, VT_I4), DISP_E_OVERFLOW);
    com::Variant big = com::Variant::Long(40000);
    EXPECT_EQ(VariantChangeType(&out, big.get(), 0, VT_I2), DISP_E_OVERFLOW);

    com::Variant yes = com::Variant::Text(u"TRUE");
    ASSERT_EQ(VariantChangeType(&out, yes.get(), 0, VT_BOOL), S_OK);
    EXPECT_EQ(out.vt, VT_BOOL);
    EXPECT_EQ(out.boolVal, VARIANT_TRUE);
    com::Variant five = com::Variant::Short(5);
    ASSERT_EQ(VariantChangeType(&out, five.get(), 0, VT_BOOL), S_OK);
    EXPECT_EQ(out.boolVal, VARIANT_TRUE);

    com::Variant flag = com::Variant::Bool(false);
    ASSERT_EQ(VariantChangeType(&out, flag.get(), 0, VT_BSTR), S_OK);
    EXPECT_EQ(TextOf(out), u"False");
    ASSERT_EQ(VariantChangeType(&out, five.get(), 0, VT_BSTR), S_OK);
    EXPECT_EQ(TextOf(out), u"5");

    // A reference is followed; a conversion in place replaces the value.
    LONG number = 7;
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_BYREF | VT_I4;
    ref.plVal = &number;
    ASSERT_EQ(VariantChangeType(&out, &ref, 0, VT_BSTR), S_OK);
    EXPECT_EQ(TextOf(out), u"7");
    ASSERT_EQ(VariantChangeType(&out, &out, 0, VT_I4), S_OK);
    EXPECT_EQ(out.lVal, 7);

    Counted object;
    com::Variant holder = com::Variant::Object(&object);
    EXPECT_EQ(VariantChangeType(&out, holder.get(), 0, VT_I4), DISP_E_TYPEMISMATCH);
    com::Variant missing = com::Variant::Missing();
    EXPECT_EQ(VariantChangeType(&out, missing.get(), 0, VT_BSTR), DISP_E_TYPEMISMATCH);
    VariantClear(&out);
}

TEST(ErrorInfo, TravelsThroughTheThreadSlotOnce) {
    EXPECT_EQ(HResultFromLibraryError(35610), static_cast<HRESULT>(0x800A8B1A));
    const HRESULT hr = ReportError(HResultFromLibraryError(9), u"MenuItems", u"Out of range");
    EXPECT_EQ(hr, static_cast<HRESULT>(0x800A0009));

    IErrorInfo* info = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
    ASSERT_NE(info, nullptr);
    com::Bstr source;
    com::Bstr description;
    info->GetSource(source.Put());
    info->GetDescription(description.Put());
    EXPECT_EQ(source.Text(), u"MenuItems");
    EXPECT_EQ(description.Text(), u"Out of range");
    info->Release();
    // Taking it empties the slot.
    EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);
    EXPECT_EQ(info, nullptr);

    ReportError(E_FAIL, u"A", u"first");
    ReportError(E_FAIL, u"B", u"second");
    const ErrorDetails details = TakeErrorDetails(E_FAIL);
    EXPECT_EQ(details.source, u"B");
    EXPECT_EQ(details.description, u"second");
    EXPECT_TRUE(TakeErrorDetails(E_FAIL).description.empty());

    ReportError(E_FAIL, u"C", u"cleared");
    SetErrorInfo(0, nullptr);
    EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);
}

TEST(Guid, TextFormRoundTripsAndRejectsMalformedText) {
    const GUID g = {0x813EA4EB, 0xF8E1, 0x49AF, {0x92, 0x4D, 0xAB, 0x5F, 0x54, 0xD1, 0xFE, 0x44}};
    EXPECT_EQ(GuidToString(g), "{813EA4EB-F8E1-49AF-924D-AB5F54D1FE44}");
    GUID back{};
    ASSERT_TRUE(GuidFromString("{813ea4eb-f8e1-49af-924d-ab5f54d1fe44}", &back));
    EXPECT_EQ(back, g);
    EXPECT_FALSE(GuidFromString("813EA4EB-F8E1-49AF-924D-AB5F54D1FE44", &back));
    EXPECT_FALSE(GuidFromString("{813EA4EB-F8E1-49AF-924D-AB5F54D1FE4G}", &back));
    EXPECT_FALSE(GuidFromString("{813EA4EBF-8E1-49AF-924D-AB5F54D1FE44}", &back));

    OLECHAR text[39];
    EXPECT_EQ(StringFromGUID2(g, text, 38), 0);
    ASSERT_EQ(StringFromGUID2(g, text, 39), 39);
    CLSID parsed{};
    ASSERT_EQ(CLSIDFromString(text, &parsed), S_OK);
    EXPECT_EQ(parsed, g);
    EXPECT_EQ(CLSIDFromString(u"{nonsense}", &parsed), CO_E_CLASSSTRING);

    GUID a{};
    GUID b{};
    ASSERT_EQ(CoCreateGuid(&a), S_OK);
    ASSERT_EQ(CoCreateGuid(&b), S_OK);
    EXPECT_FALSE(a == b);
    EXPECT_EQ(a.Data3 & 0xF000, 0x4000);
    EXPECT_EQ(a.Data4[0] & 0xC0, 0x80);
}

TEST(ClassCreation, RefusesWhatCannotBeCreated) {
    testsupport::TempDir home;
    testsupport::ScopedEnv env("XDG_CONFIG_HOME", home.path().string());
    const CLSID clsid = {0x11111111, 0x2222, 0x3333, {4, 4, 5, 5, 5, 5, 5, 5}};
    const std::string key =
        std::string(kClassesRoot) + "\\CLSID\\" + GuidToString(clsid) + "\\InprocServer32";

    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);

    // A key without a library path is no registration either.
    ASSERT_TRUE(platform::registry::CreateKey(key));
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG);

    ASSERT_TRUE(platform::registry::SetValue(key, "", (home.path() / "gone.so").string()));
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              CO_E_DLLNOTFOUND);
    EXPECT_EQ(object, nullptr);

    testsupport::WriteBytes(home.path() / "text.so", "not a library\n");
    ASSERT_TRUE(platform::registry::SetValue(key, "", (home.path() / "text.so").string()));
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              HResultFromWin32(ERROR_MOD_NOT_FOUND));
    EXPECT_FALSE(TakeErrorDetails(E_FAIL).description.empty());

    ASSERT_TRUE(platform::registry::SetValue(key, "", KESTRANE_TEST_PLAIN_MODULE));
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              CO_E_ERRORINDLL);
    EXPECT_EQ(object, nullptr);
    const std::u16string why = TakeErrorDetails(CO_E_ERRORINDLL).description;
    EXPECT_NE(why.find(u"DllGetClassObject"), std::u16string::npos);

    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr),
              E_POINTER);
}

TEST(ClassCreation, FindsTheClassOfAProgramId) {
    testsupport::TempDir home;
    testsupport::ScopedEnv env("XDG_CONFIG_HOME", home.path().string());
    ASSERT_TRUE(platform::registry::SetValue(std::string(kClassesRoot) + "\\quorvil.Thing\\CLSID",
                                             "", "{813EA4EB-F8E1-49AF-924D-AB5F54D1FE44}"));
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(u"QUORVIL.THING", &clsid), S_OK);
    EXPECT_EQ(GuidToString(clsid), "{813EA4EB-F8E1-49AF-924D-AB5F54D1FE44}");
    EXPECT_EQ(CLSIDFromProgID(u"quorvil.Other", &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(clsid, GUID_NULL);
}

// Calls posted to a thread run there, in order, while it waits or pumps; a thread that has
// ended refuses them and they are dropped at once.
TEST(Apartment, PostedCallsRunInOrderOnTheirThreadAndAnEndedThreadRefusesThem) {
    const ApartmentRef here = CurrentApartment();
    const std::thread::id self = std::this_thread::get_id();
    std::vector<int> order;
    std::atomic<bool> done = false;
    std::atomic<bool> waited = false;
    std::thread other([&] {
        for (int i : {1, 2}) {
            EXPECT_TRUE(PostToApartment(here, [&, i] {
                EXPECT_EQ(std::this_thread::get_id(), self);
                order.push_back(i);
            }));
        }
        done = true;
        WakeApartment(here);
        while (!waited) {
            std::this_thread::yield();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        PostToApartment(here, [&] { order.push_back(3); });
    });
    CoWaitForCalls([&] { return done.load(); });
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    waited = true;
    EXPECT_EQ(CoPumpCalls(5000), 1u);
    other.join();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(CoPumpCalls(0), 0u);

    ApartmentRef ended;
    std::thread([&] { ended = CurrentApartment(); }).join();
    const auto held = std::make_shared<int>(0);
    EXPECT_FALSE(PostToApartment(ended, [held] {}));
    EXPECT_EQ(held.use_count(), 1);
}
