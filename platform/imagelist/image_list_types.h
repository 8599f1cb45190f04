// The image list's objects as automation sees them: IUnknown and IDispatch of a dual
// interface, and the description of each interface's members. Used by image_list.cpp only.
#pragma once

#include <iterator>

#include "platform/imagelist/image_list.h"

namespace platform::imagelist::detail {

// IUnknown and IDispatch for a dual interface described by Type.
template <typename I, const IID& Iid, const TypeDesc& Type>
class DualObject : public I {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == Iid) {
            *ppv = static_cast<I*>(this);
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
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        return DispGetIDsOfNames(Type, riid, names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* excep, UINT* argErr) override {
        return DispInvoke(Type, static_cast<I*>(this), id, riid, flags, params, result, excep,
                          argErr);
    }

  protected:
    virtual ~DualObject() = default;

  private:
    ULONG refs_ = 1;
};

// The interfaces as late binding sees them.

inline constexpr MemberDesc kPictureMembers[] = {
    DispMember<&IPictureDisp::get_Handle>(u"Handle", 0, DISPATCH_PROPERTYGET),
    DispMember<&IPictureDisp::get_Type>(u"Type", 5, DISPATCH_PROPERTYGET),
    DispMember<&IPictureDisp::get_Width>(u"Width", 3, DISPATCH_PROPERTYGET),
    DispMember<&IPictureDisp::get_Height>(u"Height", 4, DISPATCH_PROPERTYGET),
};
inline constexpr TypeDesc kPictureType = {
    u"Picture",      IID_IPictureDisp,           TKIND_INTERFACE, TYPEFLAG_FDUAL,
    kPictureMembers, std::size(kPictureMembers), nullptr,         nullptr};

inline constexpr MemberDesc kListImageMembers[] = {
    DispMember<&IListImage::get_Index>(u"Index", 1, DISPATCH_PROPERTYGET),
    DispMember<&IListImage::get_Key>(u"Key", 2, DISPATCH_PROPERTYGET),
    DispMember<&IListImage::get_Picture>(u"Picture", 3, DISPATCH_PROPERTYGET),
};
inline constexpr TypeDesc kListImageType = {u"ListImage",      IID_IListImage,
                                            TKIND_INTERFACE,   TYPEFLAG_FDUAL,
                                            kListImageMembers, std::size(kListImageMembers),
                                            nullptr,           nullptr};

inline constexpr ParamDesc kIndexParams[] = {{u"Index"}};
inline constexpr ParamDesc kAddParams[] = {
    {u"Index", true, NoDefault()}, {u"Key", true, NoDefault()}, {u"Picture", true, NoDefault()}};
inline constexpr MemberDesc kListImagesMembers[] = {
    DispMember<&IListImages::get_Item>(u"Item", 0, DISPATCH_PROPERTYGET, kIndexParams),
    DispMember<&IListImages::get_Count>(u"Count", 1, DISPATCH_PROPERTYGET),
    DispMember<&IListImages::Add>(u"Add", 2, DISPATCH_METHOD, kAddParams),
    DispMember<&IListImages::Remove>(u"Remove", 3, DISPATCH_METHOD, kIndexParams),
    DispMember<&IListImages::Clear>(u"Clear", 4, DISPATCH_METHOD),
};
inline constexpr TypeDesc kListImagesType = {u"ListImages",
                                             IID_IListImages,
                                             TKIND_INTERFACE,
                                             TYPEFLAG_FDUAL,
                                             kListImagesMembers,
                                             std::size(kListImagesMembers),
                                             nullptr,
                                             nullptr};

inline constexpr MemberDesc kImageListMembers[] = {
    DispMember<&IImageList::get_ListImages>(u"ListImages", 1, DISPATCH_PROPERTYGET),
};
inline constexpr TypeDesc kImageListType = {u"ImageList",      IID_IImageList,
                                            TKIND_INTERFACE,   TYPEFLAG_FDUAL,
                                            kImageListMembers, std::size(kImageListMembers),
                                            nullptr,           nullptr};

}  // namespace platform::imagelist::detail
