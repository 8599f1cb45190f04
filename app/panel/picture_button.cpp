#include "app/panel/picture_button.h"

#include "app/store/text_file.h"

#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <exception>

namespace kestrane {

PictureButton::PictureButton(const QString& objectName, const QString& caption, QWidget* parent)
    : QAbstractButton(parent) {
    setObjectName(objectName);
    setText(caption);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);  // pictures take no focus, so the boxes keep theirs
}

bool PictureButton::LoadPicture(const std::filesystem::path& appFolder, const QString& suffix,
                                const QString& caption) {
    pictureName_ = suffix;
    QPixmap loaded;
    try {
        const std::filesystem::path file = ResolvePath(appFolder, suffix.toStdString());
        if (FileExists(file)) {
            loaded.load(QString::fromStdString(file.string()));
        }
    } catch (const std::exception&) {
        // A name that cannot be resolved loads nothing, like a missing file.
    }
    if (loaded.isNull()) {
        if (pixmap_.isNull()) {
            setText(caption);
        }
        update();
        return false;
    }
    pixmap_ = loaded;
    setText(caption);
    update();
    return true;
}

QSize PictureButton::sizeHint() const {
    return pixmap_.isNull() ? QSize(80, 24) : pixmap_.size();
}

void PictureButton::paintEvent(QPaintEvent*) {
    if (!pixmap_.isNull()) {
        QPainter p(this);
        p.drawPixmap(rect(), pixmap_);
        if (!isEnabled() && disabledWash_) {
            p.fillRect(rect(), QColor(255, 255, 255, 110));
        }
        return;
    }
    QStylePainter p(this);
    QStyleOptionButton opt;
    opt.initFrom(this);
    opt.text = text();
    if (isDown()) {
        opt.state |= QStyle::State_Sunken;
    } else {
        opt.state |= QStyle::State_Raised;
    }
    p.drawControl(QStyle::CE_PushButton, opt);
}

}  // namespace kestrane
