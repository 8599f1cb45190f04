// The description-driven IDispatch: argument order, named arguments, defaults, conversions,
// references and the standard dispatch errors.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/com/com.h"

namespace com = platform::com;
using namespace platform::com;

namespace {

struct ISample : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE put_Name(BSTR value) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Name(BSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE Combine(BSTR text, LONG number, VARIANT tag,
                                              VARIANT_BOOL* flag, VARIANT_BOOL enabled,
                                              BSTR* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE Fail() = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Self(IDispatch** result) = 0;
};

const IID IID_ISample = {0x0A1B2C3D, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};

constexpr ParamDesc kNameParams[] = {{u"Value"}};
constexpr ParamDesc kCombineParams[] = {
    {u"Text"},
    {u"Number", true, DefaultNumber(7)},
    {u"Tag", true, NoDefault()},
    {u"Flag", true, DefaultBool(false)},
    {u"Enabled", true, DefaultBool(true)},
};
constexpr MemberDesc kSampleMembers[] = {
    DispMember<&ISample::put_Name>(u"Name", 1, DISPATCH_PROPERTYPUT, kNameParams),
    DispMember<&ISample::get_Name>(u"Name", 1, DISPATCH_PROPERTYGET),
    DispMember<&ISample::Combine>(u"Combine", 2, DISPATCH_METHOD, kCombineParams),
    DispMember<&ISample::Fail>(u"Fail", 3, DISPATCH_METHOD),
    DispMember<&ISample::get_Self>(u"Self", 4, DISPATCH_PROPERTYGET),
};
constexpr TypeDesc kSampleType = {u"_Sample",     IID_ISample,    TKIND_INTERFACE,
                                  TYPEFLAG_FDUAL, kSampleMembers, std::size(kSampleMembers),
                                  nullptr,        nullptr};

class Sample final : public ISample {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_ISample) {
            *ppv = static_cast<ISample*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        return DispGetIDsOfNames(kSampleType, riid, names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* excep, UINT* argErr) override {
        return DispInvoke(kSampleType, static_cast<ISample*>(this), id, riid, flags, params, result,
                          excep, argErr);
    }

    HRESULT STDMETHODCALLTYPE put_Name(BSTR value) override {
        name = value ? value : u"";
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Name(BSTR* value) override {
        *value = SysAllocString(name.c_str());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Combine(BSTR text, LONG number, VARIANT tag, VARIANT_BOOL* flag,
                                      VARIANT_BOOL enabled, BSTR* result) override {
        std::u16string out = text ? text : u"";
        const std::string digits = std::to_string(number);
        out += u"|" + std::u16string(digits.begin(), digits.end());
        if (tag.vt == VT_ERROR && tag.scode == DISP_E_PARAMNOTFOUND) {
            out += u"|missing";
        } else if (tag.vt == VT_BSTR) {
            out += u"|" + std::u16string(tag.bstrVal);
        } else {
            out += u"|vt" + std::u16string(1, static_cast<char16_t>(u'0' + tag.vt));
        }
        out += *flag ? u"|flag" : u"|noflag";
        out += enabled ? u"|on" : u"|off";
        *flag = VARIANT_TRUE;  // an in/out argument: the caller's variable sees this
        *result = SysAllocString(out.c_str());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Fail() override {
        return ReportError(HResultFromLibraryError(1234), u"Sample", u"It broke");
    }
    HRESULT STDMETHODCALLTYPE get_Self(IDispatch** result) override {
        AddRef();
        *result = this;
        return S_OK;
    }

    ULONG refs = 1;
    std::u16string name;
};

// Calls Invoke with the arguments given in declaration order (they are reversed here, as a
// client must).
HRESULT Call(IDispatch* object, DISPID id, WORD flags, std::vector<VARIANT> args, VARIANT* result,
             UINT* argErr = nullptr, EXCEPINFO* excep = nullptr, std::vector<DISPID> named = {}) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS dp = {reversed.data(), named.empty() ? nullptr : named.data(),
                     static_cast<UINT>(reversed.size()), static_cast<UINT>(named.size())};
    UINT dummy = 0;
    return object->Invoke(id, IID_NULL, 0x409, flags, &dp, result, excep, argErr ? argErr : &dummy);
}

std::u16string Text(const VARIANT& v) {
    return v.vt == VT_BSTR && v.bstrVal ? std::u16string(v.bstrVal) : u"<not a string>";
}

}  // namespace

TEST(Dispatch, NamesMapToIdsWithoutRegardToCase) {
    Sample s;
    std::u16string member = u"cOMBINE";
    std::u16string param = u"enabled";
    std::u16string unknown = u"Nope";
    LPOLESTR names[] = {member.data(), param.data(), unknown.data()};
    DISPID ids[3] = {};
    EXPECT_EQ(s.GetIDsOfNames(IID_NULL, names, 3, 0x409, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], 2);
    EXPECT_EQ(ids[1], 4);
    EXPECT_EQ(ids[2], DISPID_UNKNOWN);
    LPOLESTR only[] = {unknown.data()};
    EXPECT_EQ(s.GetIDsOfNames(IID_NULL, only, 1, 0x409, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], DISPID_UNKNOWN);
    EXPECT_EQ(s.GetIDsOfNames(IID_ISample, names, 1, 0x409, ids), DISP_E_UNKNOWNINTERFACE);
}

TEST(Dispatch, ArgumentsArriveInDeclarationOrderWithDefaultsForOmittedOnes) {
    Sample s;
    com::Variant result;
    com::Variant text = com::Variant::Text(u"a");
    com::Variant number = com::Variant::Text(u"12");  // converted to a number
    com::Variant tag = com::Variant::Text(u"t");
    com::Variant flag = com::Variant::Bool(true);
    com::Variant enabled = com::Variant::Long(0);  // converted to False
    ASSERT_EQ(
        Call(&s, 2, DISPATCH_METHOD,
             {*text.get(), *number.get(), *tag.get(), *flag.get(), *enabled.get()}, result.Put()),
        S_OK);
    EXPECT_EQ(Text(*result.get()), u"a|12|t|flag|off");

    // Only the required argument: every other one takes its default, the variant is missing.
    ASSERT_EQ(Call(&s, 2, DISPATCH_METHOD, {*text.get()}, result.Put()), S_OK);
    EXPECT_EQ(Text(*result.get()), u"a|7|missing|noflag|on");

    // An argument passed as "missing" in the middle is omitted as well.
    com::Variant missing = com::Variant::Missing();
    ASSERT_EQ(Call(&s, 2, DISPATCH_METHOD,
                   {*text.get(), *missing.get(), *missing.get(), *missing.get(), *missing.get()},
                   result.Put()),
              S_OK);
    EXPECT_EQ(Text(*result.get()), u"a|7|missing|noflag|on");
}

TEST(Dispatch, ByReferenceBooleanWritesBackToTheCallersVariable) {
    Sample s;
    VARIANT_BOOL variable = VARIANT_FALSE;
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_BYREF | VT_BOOL;
    ref.pboolVal = &variable;
    com::Variant text = com::Variant::Text(u"x");
    com::Variant missing = com::Variant::Missing();
    com::Variant result;
    ASSERT_EQ(Call(&s, 2, DISPATCH_METHOD, {*text.get(), *missing.get(), *missing.get(), ref},
                   result.Put()),
              S_OK);
    EXPECT_EQ(Text(*result.get()), u"x|7|missing|noflag|on");
    EXPECT_EQ(variable, VARIANT_TRUE);

    // A reference to a string is read through as well.
    BSTR held = SysAllocString(u"held");
    VARIANT sref;
    VariantInit(&sref);
    sref.vt = VT_BYREF | VT_BSTR;
    sref.pbstrVal = &held;
    ASSERT_EQ(Call(&s, 2, DISPATCH_METHOD, {sref}, result.Put()), S_OK);
    EXPECT_EQ(Text(*result.get()), u"held|7|missing|noflag|on");
    SysFreeString(held);
}

TEST(Dispatch, PropertiesTakeTheValueAsANamedArgument) {
    Sample s;
    com::Variant value = com::Variant::Text(u"Tray");
    com::Variant none;
    ASSERT_EQ(Call(&s, 1, DISPATCH_PROPERTYPUT, {*value.get()}, none.Put(), nullptr, nullptr,
                   {DISPID_PROPERTYPUT}),
              S_OK);
    EXPECT_EQ(s.name, u"Tray");
    com::Variant result;
    ASSERT_EQ(Call(&s, 1, DISPATCH_PROPERTYGET, {}, result.Put()), S_OK);
    EXPECT_EQ(Text(*result.get()), u"Tray");
    // Clients that cannot tell a method from a property ask for both.
    ASSERT_EQ(Call(&s, 1, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}, result.Put()), S_OK);
    EXPECT_EQ(Text(*result.get()), u"Tray");

    // An object comes back as a new reference in the result.
    ASSERT_EQ(Call(&s, 4, DISPATCH_PROPERTYGET, {}, result.Put()), S_OK);
    EXPECT_EQ(result->vt, VT_DISPATCH);
    EXPECT_EQ(s.refs, 2u);
    result.Put();
    EXPECT_EQ(s.refs, 1u);
}

TEST(Dispatch, StandardErrorsForBadCalls) {
    Sample s;
    com::Variant result;
    com::Variant text = com::Variant::Text(u"a");
    com::Variant word = com::Variant::Text(u"twelve");
    UINT argErr = 99;

    EXPECT_EQ(Call(&s, 77, DISPATCH_METHOD, {}, result.Put()), DISP_E_MEMBERNOTFOUND);
    // The property has no put by reference, and Fail is no property.
    EXPECT_EQ(Call(&s, 1, DISPATCH_PROPERTYPUTREF, {*text.get()}, result.Put()),
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(Call(&s, 3, DISPATCH_PROPERTYGET, {}, result.Put()), DISP_E_MEMBERNOTFOUND);

    EXPECT_EQ(Call(&s, 2, DISPATCH_METHOD, {}, result.Put()), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(&s, 2, DISPATCH_METHOD,
                   {*text.get(), *text.get(), *text.get(), *text.get(), *text.get(), *text.get()},
                   result.Put()),
              DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call(&s, 3, DISPATCH_METHOD, {*text.get()}, result.Put()), DISP_E_BADPARAMCOUNT);
    com::Variant missing = com::Variant::Missing();
    EXPECT_EQ(Call(&s, 2, DISPATCH_METHOD, {*missing.get()}, result.Put(), &argErr),
              DISP_E_PARAMNOTOPTIONAL);

    // The second argument (index 2 of 3 in the reversed array) is not a number.
    EXPECT_EQ(Call(&s, 2, DISPATCH_METHOD, {*text.get(), *word.get(), *text.get()}, result.Put(),
                   &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 1u);
    com::Variant huge = com::Variant::Text(u"99999999999");
    EXPECT_EQ(Call(&s, 2, DISPATCH_METHOD, {*text.get(), *huge.get()}, result.Put(), &argErr),
              DISP_E_OVERFLOW);
    EXPECT_EQ(argErr, 0u);

    EXPECT_EQ(
        Call(&s, 1, DISPATCH_PROPERTYPUT, {*text.get()}, result.Put(), &argErr, nullptr, {42}),
        DISP_E_PARAMNOTFOUND);
    EXPECT_EQ(argErr, 0u);

    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    EXPECT_EQ(s.Invoke(1, IID_ISample, 0x409, DISPATCH_PROPERTYGET, &none, result.Put(), nullptr,
                       nullptr),
              DISP_E_UNKNOWNINTERFACE);
    EXPECT_EQ(s.refs, 1u);
}

TEST(Dispatch, AMemberFailureArrivesAsAnException) {
    Sample s;
    com::Variant result;
    EXCEPINFO excep{};
    EXPECT_EQ(Call(&s, 3, DISPATCH_METHOD, {}, result.Put(), nullptr, &excep), DISP_E_EXCEPTION);
    EXPECT_EQ(excep.scode, HResultFromLibraryError(1234));
    EXPECT_EQ(std::u16string(excep.bstrSource), u"Sample");
    EXPECT_EQ(std::u16string(excep.bstrDescription), u"It broke");
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);

    // Without a place for the exception the member's own HRESULT and error information come.
    EXPECT_EQ(Call(&s, 3, DISPATCH_METHOD, {}, result.Put()), HResultFromLibraryError(1234));
    EXPECT_EQ(TakeErrorDetails(E_FAIL).description, u"It broke");
}

namespace {

// A sink that records the arguments of the calls it receives.
class RecordingSink final : public IDispatch {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
        *ppv = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* dp, VARIANT*,
                                     EXCEPINFO*, UINT*) override {
        lastId = id;
        lastFlags = flags;
        seen.clear();
        for (UINT i = 0; i < dp->cArgs; ++i) {
            seen.push_back(dp->rgvarg[i].lVal);
        }
        return S_OK;
    }
    DISPID lastId = 0;
    WORD lastFlags = 0;
    std::vector<LONG> seen;
};

}  // namespace

TEST(Dispatch, InvokeMethodHandsArgumentsOverInReverseOrder) {
    RecordingSink sink;
    com::Variant first = com::Variant::Long(1);
    com::Variant second = com::Variant::Long(2);
    VARIANT args[] = {*first.get(), *second.get()};
    ASSERT_EQ(InvokeMethod(&sink, 6, args, 2), S_OK);
    EXPECT_EQ(sink.lastId, 6);
    EXPECT_EQ(sink.lastFlags, DISPATCH_METHOD);
    EXPECT_EQ(sink.seen, (std::vector<LONG>{2, 1}));
}
