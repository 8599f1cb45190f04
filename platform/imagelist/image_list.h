// The image list: a small COM object that holds pictures by position and key, the form in
// which the program hands its tray-icon picture to the tray library. Its shape follows the
// image list of the Windows common controls as far as the tray library uses it:
//
//     ImageList.ListImages            the collection of images
//     ListImages.Item(Index)          the image at a position (1-based) or with a key
//     ListImage.Picture               the image's picture
//     Picture.Handle                  an icon handle (HICON, see platform/win/icon.h)
//
// All four are dual interfaces, so clients may also call them by name through IDispatch.
// Keys compare without regard to letter case. A failing look-up reports error 35600 "Index
// out of bounds" (a position outside 1..Count) or 35601 "Element not found" (no such key),
// source "ImageList"; an index that is neither a number nor a text is a type mismatch. Add
// refuses a key that is taken (35602 "Key is not unique in collection") and anything but a
// picture (481 "Invalid picture").
#pragma once

#include <QIcon>
#include <QString>

#include "platform/com/com.h"

namespace platform::imagelist {

using namespace platform::com;

inline constexpr LONG kErrIndexOutOfBounds = 35600;
inline constexpr LONG kErrElementNotFound = 35601;
inline constexpr LONG kErrKeyNotUnique = 35602;

inline constexpr IID IID_IPictureDisp = {
    0x3C1F5A10, 0x6B2E, 0x4D7A, {0x9E, 0x41, 0x52, 0x0B, 0x7C, 0x11, 0xA3, 0x01}};
inline constexpr IID IID_IListImage = {
    0x3C1F5A11, 0x6B2E, 0x4D7A, {0x9E, 0x41, 0x52, 0x0B, 0x7C, 0x11, 0xA3, 0x01}};
inline constexpr IID IID_IListImages = {
    0x3C1F5A12, 0x6B2E, 0x4D7A, {0x9E, 0x41, 0x52, 0x0B, 0x7C, 0x11, 0xA3, 0x01}};
inline constexpr IID IID_IImageList = {
    0x3C1F5A13, 0x6B2E, 0x4D7A, {0x9E, 0x41, 0x52, 0x0B, 0x7C, 0x11, 0xA3, 0x01}};

// PICTYPE_ICON: every picture here is an icon.
inline constexpr LONG PICTYPE_ICON = 3;

// A picture. Its icon handle lives as long as the picture.
struct IPictureDisp : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Handle(LONG* handle) = 0;  // dispatch id 0
    virtual HRESULT STDMETHODCALLTYPE get_Type(LONG* type) = 0;      // dispatch id 5
    virtual HRESULT STDMETHODCALLTYPE get_Width(LONG* pixels) = 0;   // dispatch id 3
    virtual HRESULT STDMETHODCALLTYPE get_Height(LONG* pixels) = 0;  // dispatch id 4

  protected:
    ~IPictureDisp() = default;
};

struct IListImage : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_Index(LONG* index) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Key(BSTR* key) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Picture(IPictureDisp** picture) = 0;

  protected:
    ~IListImage() = default;
};

struct IListImages : IDispatch {
    // Index: a number (position) or a text (key).
    virtual HRESULT STDMETHODCALLTYPE get_Item(VARIANT Index, IListImage** image) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* count) = 0;
    // Index (optional: at the end) and Key (optional) place the new image; Picture must be a
    // picture object.
    virtual HRESULT STDMETHODCALLTYPE Add(VARIANT Index, VARIANT Key, VARIANT Picture,
                                          IListImage** image) = 0;
    virtual HRESULT STDMETHODCALLTYPE Remove(VARIANT Index) = 0;
    virtual HRESULT STDMETHODCALLTYPE Clear() = 0;

  protected:
    ~IListImages() = default;
};

struct IImageList : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_ListImages(IListImages** images) = 0;

  protected:
    ~IImageList() = default;
};

// A new, empty image list.
HRESULT CreateImageList(IImageList** imageList);

// A new picture showing the icon; E_INVALIDARG for a null icon.
HRESULT CreatePictureFromIcon(const QIcon& icon, IPictureDisp** picture);

// A new picture from an image file (any format Qt reads); error 53 "File not found" when
// the file does not exist, 481 "Invalid picture" when it cannot be read as a picture. Works
// in any process, also one without a Qt application (see platform/win/icon.h).
HRESULT LoadPicture(const QString& path, IPictureDisp** picture);

}  // namespace platform::imagelist
