// A picture that reacts to clicks, the kind every button of the control panel is. Pictures are
// files of the application folder named by suffixes such as "\images\startbut.jpg", found
// without regard to letter case. A picture that cannot be loaded leaves the one shown before;
// a button that has never had a picture is drawn as a plain button with its caption.
#pragma once

#include <QAbstractButton>
#include <QPixmap>
#include <QString>

#include <filesystem>

namespace kestrane {

class PictureButton : public QAbstractButton {
    Q_OBJECT
  public:
    PictureButton(const QString& objectName, const QString& caption, QWidget* parent);

    // Loads appFolder + suffix; the caption is what the plain button shows instead while no
    // picture has been loaded. Returns whether the picture was loaded.
    bool LoadPicture(const std::filesystem::path& appFolder, const QString& suffix,
                     const QString& caption);

    // The suffix of the picture last asked for, and whether a picture file is shown.
    const QString& PictureName() const { return pictureName_; }
    bool HasPicture() const { return !pixmap_.isNull(); }

    // A disabled button is drawn washed out, unless it shows a picture made for its disabled
    // state (then off).
    void SetDisabledWash(bool on) { disabledWash_ = on; }

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QPixmap pixmap_;
    QString pictureName_;
    bool disabledWash_ = true;
};

}  // namespace kestrane
