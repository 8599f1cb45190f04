#include "platform/imagelist/image_list.h"

#include <gtest/gtest.h>

#include <QPixmap>

#include "platform/win/icon.h"
#include "tests/support/test_support.h"

namespace platform::imagelist {
namespace {

QIcon Filled(Qt::GlobalColor color) {
    QPixmap pixmap(16, 16);
    pixmap.fill(color);
    return QIcon(pixmap);
}

ComPtr<IPictureDisp> NewPicture(Qt::GlobalColor color) {
    ComPtr<IPictureDisp> picture;
    EXPECT_EQ(CreatePictureFromIcon(Filled(color), picture.Put()), S_OK);
    return picture;
}

QColor ColorOf(IListImages* images, const Variant& index) {
    ComPtr<IListImage> image;
    if (FAILED(images->get_Item(*index.get(), image.Put()))) {
        return {};
    }
    ComPtr<IPictureDisp> picture;
    image->get_Picture(picture.Put());
    LONG handle = 0;
    picture->get_Handle(&handle);
    return platform::win::IconFromHandle(handle).pixmap(16, 16).toImage().pixelColor(4, 4);
}

TEST(ImageListTest, ImagesByPositionAndKey) {
    ComPtr<IImageList> list;
    ASSERT_EQ(CreateImageList(list.Put()), S_OK);
    ComPtr<IListImages> images;
    ASSERT_EQ(list->get_ListImages(images.Put()), S_OK);

    Variant redPicture = Variant::Object(NewPicture(Qt::red).get());
    Variant bluePicture = Variant::Object(NewPicture(Qt::blue).get());
    ComPtr<IListImage> added;
    ASSERT_EQ(images->Add(*Variant::Missing().get(), *Variant::Text(u"Tray").get(),
                          *redPicture.get(), added.Put()),
              S_OK);
    // A second image put in front moves the first to position 2.
    ASSERT_EQ(images->Add(*Variant::Long(1).get(), *Variant::Missing().get(), *bluePicture.get(),
                          nullptr),
              S_OK);
    LONG count = 0;
    images->get_Count(&count);
    EXPECT_EQ(count, 2);
    LONG index = 0;
    added->get_Index(&index);
    EXPECT_EQ(index, 2);

    EXPECT_EQ(ColorOf(images.get(), Variant::Short(1)), QColor(Qt::blue));
    EXPECT_EQ(ColorOf(images.get(), Variant::Long(2)), QColor(Qt::red));
    EXPECT_EQ(ColorOf(images.get(), Variant::Text(u"tRAY")), QColor(Qt::red));

    ComPtr<IListImage> missing;
    EXPECT_EQ(images->get_Item(*Variant::Long(3).get(), missing.Put()),
              HResultFromLibraryError(kErrIndexOutOfBounds));
    EXPECT_EQ(TakeErrorDetails(S_OK).description, u"Index out of bounds");
    EXPECT_EQ(images->get_Item(*Variant::Text(u"Other").get(), missing.Put()),
              HResultFromLibraryError(kErrElementNotFound));
    EXPECT_EQ(TakeErrorDetails(S_OK).description, u"Element not found");
    EXPECT_EQ(images->get_Item(*Variant::Long(0).get(), missing.Put()),
              HResultFromLibraryError(kErrIndexOutOfBounds));
    TakeErrorDetails(S_OK);
    EXPECT_EQ(missing.get(), nullptr);

    // A key is unique in any letter case; anything but a picture is refused.
    EXPECT_TRUE(FAILED(images->Add(*Variant::Missing().get(), *Variant::Text(u"TRAY").get(),
                                   *bluePicture.get(), nullptr)));
    EXPECT_TRUE(FAILED(images->Add(*Variant::Missing().get(), *Variant::Missing().get(),
                                   *Variant::Object(list.get()).get(), nullptr)));
    TakeErrorDetails(S_OK);
    images->get_Count(&count);
    EXPECT_EQ(count, 2);

    EXPECT_EQ(images->Remove(*Variant::Long(1).get()), S_OK);
    added->get_Index(&index);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(images->Clear(), S_OK);
    images->get_Count(&count);
    EXPECT_EQ(count, 0);
}

TEST(ImageListTest, PictureHandleLivesWithThePicture) {
    LONG handle = 0;
    {
        ComPtr<IPictureDisp> picture = NewPicture(Qt::green);
        picture->get_Handle(&handle);
        LONG type = 0;
        picture->get_Type(&type);
        EXPECT_EQ(type, PICTYPE_ICON);
        EXPECT_FALSE(platform::win::IconFromHandle(handle).isNull());
    }
    EXPECT_TRUE(platform::win::IconFromHandle(handle).isNull());

    ComPtr<IPictureDisp> picture;
    EXPECT_EQ(LoadPicture("/nonexistent/x.png", picture.Put()), HResultFromLibraryError(53));
    testsupport::TempDir dir;
    testsupport::WriteBytes(dir / "bad.png", "not a picture");
    EXPECT_EQ(LoadPicture(QString::fromStdString((dir / "bad.png").string()), picture.Put()),
              HResultFromLibraryError(481));
    TakeErrorDetails(S_OK);
    QPixmap pixmap(8, 8);
    pixmap.fill(Qt::yellow);
    const QString path = QString::fromStdString((dir / "icon.png").string());
    ASSERT_TRUE(pixmap.save(path));
    ASSERT_EQ(LoadPicture(path, picture.Put()), S_OK);
    LONG width = 0;
    picture->get_Width(&width);
    EXPECT_EQ(width, 8);
}

TEST(ImageListTest, ReachableByName) {
    ComPtr<IImageList> list;
    CreateImageList(list.Put());
    std::u16string name = u"listimages";
    LPOLESTR names[] = {name.data()};
    DISPID id = 0;
    ASSERT_EQ(list->GetIDsOfNames(IID_NULL, names, 1, 0x409, &id), S_OK);
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    Variant result;
    ASSERT_EQ(list->Invoke(id, IID_NULL, 0x409, DISPATCH_PROPERTYGET, &none, result.Put(), nullptr,
                           nullptr),
              S_OK);
    ASSERT_EQ(result->vt, VT_DISPATCH);
    ComPtr<IListImages> images;
    EXPECT_EQ(result->pdispVal->QueryInterface(IID_IListImages, images.PutVoid()), S_OK);
}

}  // namespace
}  // namespace platform::imagelist
