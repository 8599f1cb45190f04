#include "app/panel/picture_button.h"

#include "app/store/text_file.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <exception>

namespace kestrane {

namespace {

QPixmap LoadFile(const std::filesystem::path& appFolder, const QString& suffix) {
    QPixmap loaded;
    try {
        const std::filesystem::path file = ResolvePath(appFolder, suffix.toStdString());
        if (FileExists(file)) {
            loaded.load(QString::fromStdString(file.string()));
        }
    } catch (const std::exception&) {
        // A name that cannot be resolved loads nothing, like a missing file.
    }
    return loaded;
}

}  // namespace

QPixmap LoadAppPicture(const std::filesystem::path& appFolder, const QString& suffix) {
    // On a scaled screen the picture drawn at twice the size ("name@2x.jpg" beside it), made
    // to the screens' exact ratio (1.25, 1.5) so that it is drawn pixel for pixel.
    const qreal ratio = qApp != nullptr ? qApp->devicePixelRatio() : 1.0;
    if (ratio > 1.0) {
        const int dot = suffix.lastIndexOf(QLatin1Char('.'));
        const QString large = dot < 0 ? suffix + QStringLiteral("@2x")
                                      : suffix.left(dot) + QStringLiteral("@2x") + suffix.mid(dot);
        QPixmap pixmap = LoadFile(appFolder, large);
        if (!pixmap.isNull()) {
            if (ratio != 2.0) {
                const QSize size(qRound(pixmap.width() / 2.0 * ratio),
                                 qRound(pixmap.height() / 2.0 * ratio));
                pixmap = pixmap.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            }
            pixmap.setDevicePixelRatio(ratio);
            return pixmap;
        }
    }
    return LoadFile(appFolder, suffix);
}

namespace {

// What a plain button says while its picture file is missing.
QString CaptionFor(const QString& suffix, const QString& fallback) {
    const QString base = suffix.section(QLatin1Char('\\'), -1).section(QLatin1Char('.'), 0, 0);
    const QString key = base.toLower();
    if (key == QLatin1String("startbut"))
        return QStringLiteral("Start");
    if (key == QLatin1String("stopbut") || key == QLatin1String("stopbut2"))
        return QStringLiteral("Stop");
    if (key == QLatin1String("testbut"))
        return QStringLiteral("Test");
    return fallback;
}

}  // namespace

void SetPicture(PictureButton* button, const std::filesystem::path& appFolder,
                const QString& suffix) {
    button->LoadPicture(appFolder, suffix, CaptionFor(suffix, button->text()));
}

void SetBackground(QLabel* label, const std::filesystem::path& appFolder, const QString& suffix) {
    const QPixmap pixmap = LoadAppPicture(appFolder, suffix);
    if (!pixmap.isNull()) {
        label->setPixmap(pixmap);
    }
}

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
    const QPixmap loaded = LoadAppPicture(appFolder, suffix);
    if (loaded.isNull()) {
        if (pixmap_.isNull()) {
            setText(caption);
        }
        update();
        return false;
    }
    pixmap_ = loaded;
    hover_ = QPixmap();
    disabled_ = QPixmap();
    if (useVariants_) {
        const int dot = suffix.lastIndexOf(QLatin1Char('.'));
        const QString base = dot < 0 ? suffix : suffix.left(dot);
        hover_ = LoadAppPicture(appFolder, base + QStringLiteral("_mouse.jpg"));
        disabled_ = LoadAppPicture(appFolder, base + QStringLiteral("_disable.jpg"));
    }
    setText(caption);
    update();
    return true;
}

QSize PictureButton::sizeHint() const {
    return pixmap_.isNull() ? QSize(80, 24) : pixmap_.deviceIndependentSize().toSize();
}

void PictureButton::paintEvent(QPaintEvent*) {
    if (!pixmap_.isNull()) {
        QPainter p(this);
        // A picture not made for the screen's scale is drawn stretched, smoothly.
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        if (!isEnabled()) {
            if (!disabled_.isNull()) {
                p.drawPixmap(rect(), disabled_);
            } else {
                p.drawPixmap(rect(), pixmap_);
                if (disabledWash_) {
                    p.fillRect(rect(), QColor(255, 255, 255, 110));
                }
            }
        } else if (hovered_ && !hover_.isNull()) {
            p.drawPixmap(rect(), hover_);
        } else {
            p.drawPixmap(rect(), pixmap_);
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

void PictureButton::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void PictureButton::leaveEvent(QEvent* event) {
    hovered_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

}  // namespace kestrane
