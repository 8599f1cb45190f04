#include "platform/imagelist/image_list.h"

#include <QFileInfo>
#include <QImage>

#include <vector>

#include "platform/imagelist/image_list_types.h"
#include "platform/win/icon.h"

namespace platform::imagelist {

namespace {

constexpr const char16_t* kSource = u"ImageList";

using namespace detail;

// --- objects ---

class Picture final : public DualObject<IPictureDisp, IID_IPictureDisp, kPictureType> {
  public:
    explicit Picture(const QIcon& icon) : handle_(platform::win::CreateIconFromQIcon(icon)) {
        const QList<QSize> sizes = icon.availableSizes();
        size_ = sizes.isEmpty() ? QSize(16, 16) : sizes.first();
    }
    explicit Picture(const QImage& image)
        : handle_(platform::win::CreateIconFromImage(image)), size_(image.size()) {}
    bool Valid() const { return handle_ != 0; }

    HRESULT STDMETHODCALLTYPE get_Handle(LONG* handle) override { return Out(handle, handle_); }
    HRESULT STDMETHODCALLTYPE get_Type(LONG* type) override { return Out(type, PICTYPE_ICON); }
    HRESULT STDMETHODCALLTYPE get_Width(LONG* pixels) override {
        return Out(pixels, size_.width());
    }
    HRESULT STDMETHODCALLTYPE get_Height(LONG* pixels) override {
        return Out(pixels, size_.height());
    }

  private:
    ~Picture() override {
        if (handle_ != 0) {
            platform::win::DestroyIcon(handle_);
        }
    }
    static HRESULT Out(LONG* out, LONG value) {
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = value;
        return S_OK;
    }
    platform::win::HICON handle_;
    QSize size_;
};

class ListImage final : public DualObject<IListImage, IID_IListImage, kListImageType> {
  public:
    ListImage(LONG index, std::u16string key, ComPtr<IPictureDisp> picture)
        : index_(index), key_(std::move(key)), picture_(std::move(picture)) {}

    void SetIndex(LONG index) { index_ = index; }
    const std::u16string& Key() const { return key_; }

    HRESULT STDMETHODCALLTYPE get_Index(LONG* index) override {
        if (index == nullptr) {
            return E_POINTER;
        }
        *index = index_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Key(BSTR* key) override {
        if (key == nullptr) {
            return E_POINTER;
        }
        *key = SysAllocStringLen(key_.data(), static_cast<UINT>(key_.size()));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Picture(IPictureDisp** picture) override {
        if (picture == nullptr) {
            return E_POINTER;
        }
        *picture = ComPtr<IPictureDisp>(picture_).Detach();
        return S_OK;
    }

  private:
    ~ListImage() override = default;
    LONG index_;
    std::u16string key_;
    ComPtr<IPictureDisp> picture_;
};

bool SameKey(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (QChar(a[i]).toCaseFolded() != QChar(b[i]).toCaseFolded()) {
            return false;
        }
    }
    return true;
}

bool IsMissing(const VARIANT& v) {
    return v.vt == VT_EMPTY || (v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND);
}

class ListImages final : public DualObject<IListImages, IID_IListImages, kListImagesType> {
  public:
    HRESULT STDMETHODCALLTYPE get_Item(VARIANT Index, IListImage** image) override {
        if (image == nullptr) {
            return E_POINTER;
        }
        *image = nullptr;
        std::size_t position = 0;
        const HRESULT hr = Find(Index, &position);
        if (FAILED(hr)) {
            return hr;
        }
        *image = ComPtr<IListImage>(images_[position].get()).Detach();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = static_cast<LONG>(images_.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Add(VARIANT Index, VARIANT Key, VARIANT Picture,
                                  IListImage** image) override {
        if (image != nullptr) {
            *image = nullptr;
        }
        std::size_t at = images_.size();
        if (!IsMissing(Index)) {
            Variant number;
            if (FAILED(VariantChangeType(number.get(), &Index, 0, VT_I4))) {
                return DISP_E_TYPEMISMATCH;
            }
            const LONG n = number->lVal;
            if (n < 1 || static_cast<std::size_t>(n) > images_.size() + 1) {
                return ReportError(HResultFromLibraryError(kErrIndexOutOfBounds), kSource,
                                   u"Index out of bounds");
            }
            at = static_cast<std::size_t>(n - 1);
        }
        std::u16string key;
        if (!IsMissing(Key)) {
            Variant text;
            if (FAILED(VariantChangeType(text.get(), &Key, 0, VT_BSTR))) {
                return DISP_E_TYPEMISMATCH;
            }
            if (text->bstrVal != nullptr) {
                key.assign(text->bstrVal, SysStringLen(text->bstrVal));
            }
            for (const auto& existing : images_) {
                if (!key.empty() && SameKey(existing->Key(), key)) {
                    return ReportError(HResultFromLibraryError(kErrKeyNotUnique), kSource,
                                       u"Key is not unique in collection");
                }
            }
        }
        ComPtr<IPictureDisp> picture;
        Variant object;
        if (IsMissing(Picture) ||
            FAILED(VariantChangeType(object.get(), &Picture, 0, VT_UNKNOWN)) ||
            object->punkVal == nullptr ||
            FAILED(object->punkVal->QueryInterface(IID_IPictureDisp, picture.PutVoid()))) {
            return ReportError(HResultFromLibraryError(481), kSource, u"Invalid picture");
        }
        auto* created = new ListImage(static_cast<LONG>(at + 1), std::move(key), picture);
        images_.insert(images_.begin() + static_cast<std::ptrdiff_t>(at),
                       ComPtr<ListImage>::Attach(created));
        Renumber();
        if (image != nullptr) {
            *image = ComPtr<IListImage>(created).Detach();
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Remove(VARIANT Index) override {
        std::size_t position = 0;
        const HRESULT hr = Find(Index, &position);
        if (FAILED(hr)) {
            return hr;
        }
        images_.erase(images_.begin() + static_cast<std::ptrdiff_t>(position));
        Renumber();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clear() override {
        images_.clear();
        return S_OK;
    }

  private:
    ~ListImages() override = default;

    // The position (0-based) that Index names.
    HRESULT Find(const VARIANT& Index, std::size_t* position) {
        Variant value;
        if (FAILED(VariantCopyInd(value.get(), &Index))) {
            return DISP_E_TYPEMISMATCH;
        }
        if (value->vt == VT_BSTR) {
            const std::u16string_view key(value->bstrVal != nullptr ? value->bstrVal : u"",
                                          SysStringLen(value->bstrVal));
            for (std::size_t i = 0; i < images_.size(); ++i) {
                if (!key.empty() && SameKey(images_[i]->Key(), key)) {
                    *position = i;
                    return S_OK;
                }
            }
            return ReportError(HResultFromLibraryError(kErrElementNotFound), kSource,
                               u"Element not found");
        }
        Variant number;
        if (IsMissing(*value.get()) ||
            FAILED(VariantChangeType(number.get(), value.get(), 0, VT_I4))) {
            return DISP_E_TYPEMISMATCH;
        }
        const LONG n = number->lVal;
        if (n < 1 || static_cast<std::size_t>(n) > images_.size()) {
            return ReportError(HResultFromLibraryError(kErrIndexOutOfBounds), kSource,
                               u"Index out of bounds");
        }
        *position = static_cast<std::size_t>(n - 1);
        return S_OK;
    }

    void Renumber() {
        for (std::size_t i = 0; i < images_.size(); ++i) {
            images_[i]->SetIndex(static_cast<LONG>(i + 1));
        }
    }

    std::vector<ComPtr<ListImage>> images_;
};

class ImageList final : public DualObject<IImageList, IID_IImageList, kImageListType> {
  public:
    ImageList() : images_(ComPtr<ListImages>::Attach(new ListImages)) {}
    HRESULT STDMETHODCALLTYPE get_ListImages(IListImages** images) override {
        if (images == nullptr) {
            return E_POINTER;
        }
        *images = ComPtr<IListImages>(images_.get()).Detach();
        return S_OK;
    }

  private:
    ~ImageList() override = default;
    ComPtr<ListImages> images_;
};

}  // namespace

HRESULT CreateImageList(IImageList** imageList) {
    if (imageList == nullptr) {
        return E_POINTER;
    }
    *imageList = new ImageList;
    return S_OK;
}

namespace {

template <typename Source>
HRESULT NewPicture(const Source& source, IPictureDisp** picture) {
    if (picture == nullptr) {
        return E_POINTER;
    }
    *picture = nullptr;
    if (source.isNull()) {
        return E_INVALIDARG;
    }
    auto created = ComPtr<Picture>::Attach(new Picture(source));
    if (!created->Valid()) {
        return E_OUTOFMEMORY;
    }
    *picture = created.Detach();
    return S_OK;
}

}  // namespace

HRESULT CreatePictureFromIcon(const QIcon& icon, IPictureDisp** picture) {
    return NewPicture(icon, picture);
}

HRESULT LoadPicture(const QString& path, IPictureDisp** picture) {
    if (picture == nullptr) {
        return E_POINTER;
    }
    *picture = nullptr;
    if (!QFileInfo::exists(path)) {
        return ReportError(HResultFromLibraryError(53), u"LoadPicture", u"File not found");
    }
    // An image, not a pixmap: it can be read in any process, also one without a Qt GUI
    // application, and becomes an icon where it is shown.
    const QImage image(path);
    if (image.isNull()) {
        return ReportError(HResultFromLibraryError(481), u"LoadPicture", u"Invalid picture");
    }
    return NewPicture(image, picture);
}

}  // namespace platform::imagelist
