// A picture that reacts to clicks, the kind every button of the control panel is. Pictures are
// files of the application folder named by suffixes such as "\images\startbut.jpg", found
// without regard to letter case. A picture that cannot be loaded leaves the one shown before;
// a button that has never had a picture is drawn as a plain button with its caption.
//
// A button may show variants of its picture: "<name>_mouse.jpg" while the pointer is over it
// and "<name>_disable.jpg" while it is disabled, each looked up beside the picture when it is
// loaded. Without a disabled variant a disabled picture is drawn greyed.
#pragma once

#include <QAbstractButton>
#include <QPixmap>
#include <QString>

#include <filesystem>

class QLabel;

namespace kestrane {

// A picture of the application folder named by a suffix such as "\Images\background.jpg",
// found without regard to letter case; a null pixmap when the file is missing, not a picture
// or its name cannot be resolved. On a scaled screen (a device pixel ratio above 1) the same
// picture drawn at twice the size, "\Images\background@2x.jpg", is taken where it exists,
// resized to the ratio and marked with it, so that it has the size of the plain picture in
// the window and is drawn sharp.
QPixmap LoadAppPicture(const std::filesystem::path& appFolder, const QString& suffix);

class PictureButton;

// Loads a picture of the application folder into a picture button. While the file is missing
// the plain button says what the picture would: "Start", "Stop" or "Test" for those pictures,
// else the caption it had.
void SetPicture(PictureButton* button, const std::filesystem::path& appFolder,
                const QString& suffix);
// Loads a picture of the application folder into a label; a missing one leaves the label as it
// was.
void SetBackground(QLabel* label, const std::filesystem::path& appFolder, const QString& suffix);

class PictureButton : public QAbstractButton {
    Q_OBJECT
  public:
    PictureButton(const QString& objectName, const QString& caption, QWidget* parent);

    // Loads appFolder + suffix; the caption is what the plain button shows instead while no
    // picture has been loaded. Returns whether the picture was loaded.
    bool LoadPicture(const std::filesystem::path& appFolder, const QString& suffix,
                     const QString& caption);

    // Whether the hover and disabled variants are looked up (off by default).
    void SetUseVariants(bool use) { useVariants_ = use; }

    // The suffix of the picture last asked for, and whether a picture file is shown.
    const QString& PictureName() const { return pictureName_; }
    bool HasPicture() const { return !pixmap_.isNull(); }
    bool HasHoverPicture() const { return !hover_.isNull(); }
    bool HasDisabledPicture() const { return !disabled_.isNull(); }

    // A disabled button is drawn washed out, unless it shows a picture made for its disabled
    // state (then off).
    void SetDisabledWash(bool on) { disabledWash_ = on; }

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    QPixmap pixmap_;
    QPixmap hover_;
    QPixmap disabled_;
    bool useVariants_ = false;
    bool hovered_ = false;
    QString pictureName_;
    bool disabledWash_ = true;
};

}  // namespace kestrane
