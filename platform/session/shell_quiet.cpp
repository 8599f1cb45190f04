#include "platform/session/shell_quiet.h"

#include "platform/session/bus_property.h"

#include <QDBusArgument>
#include <QGuiApplication>

#include <utility>

namespace platform::session {

namespace {

BusProperty* ExtensionProperty(const QString& name, QObject* parent) {
    return new BusProperty(QStringLiteral("org.kestrane.Flash"),
                           QStringLiteral("/org/kestrane/Flash"),
                           QStringLiteral("org.kestrane.Flash"), name, parent);
}

// The screen at a monitor's place: the same top left corner, else the one its middle is on.
QScreen* ScreenAt(const QRect& monitor) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    for (QScreen* s : screens) {
        if (s->geometry().topLeft() == monitor.topLeft()) {
            return s;
        }
    }
    for (QScreen* s : screens) {
        if (s->geometry().contains(monitor.center())) {
            return s;
        }
    }
    return nullptr;
}

}  // namespace

ShellFullScreenWatch::ShellFullScreenWatch(std::function<bool(QScreen*)> counts, QObject* parent)
    : FullScreenSource(counts, parent),
      counts_(std::move(counts)),
      monitors_(ExtensionProperty(QStringLiteral("FullScreen"), this)) {
    connect(monitors_, &BusProperty::Changed, this, [this](const QVariant& value) {
        // a(iiii) arrives unread; anything else (no extension, an older one) is no monitor.
        monitorRects_.clear();
        if (value.canConvert<QDBusArgument>()) {
            const QDBusArgument arg = value.value<QDBusArgument>();
            if (arg.currentSignature() == QLatin1String("a(iiii)")) {
                arg >> monitorRects_;
            }
        }
        Look();
    });
}

void ShellFullScreenWatch::Start() {
    // The screens are matched again when they change (a monitor plugged in or out).
    connect(qGuiApp, &QGuiApplication::screenAdded, this, &ShellFullScreenWatch::Look,
            Qt::UniqueConnection);
    connect(qGuiApp, &QGuiApplication::screenRemoved, this, &ShellFullScreenWatch::Look,
            Qt::UniqueConnection);
    monitors_->Start();
}

void ShellFullScreenWatch::Look() {
    QScreen* first = nullptr;
    for (const QRect& monitor : std::as_const(monitorRects_)) {
        QScreen* s = ScreenAt(monitor);
        if (s == nullptr) {
            continue;
        }
        if (!counts_ || counts_(s)) {
            SetScreen(s);
            return;
        }
        if (first == nullptr) {
            first = s;
        }
    }
    SetScreen(first);
}

ShellFlagWatch::ShellFlagWatch(const QString& property, QString reason, QObject* parent)
    : QuietSource(parent), flag_(ExtensionProperty(property, this)), reason_(std::move(reason)) {
    connect(flag_, &BusProperty::Changed, this, [this](const QVariant& value) {
        const bool on = value.toBool();  // none: off
        if (on != on_) {
            on_ = on;
            emit Changed();
        }
    });
}

void ShellFlagWatch::Start() {
    flag_->Start();
}

QString ShellFlagWatch::Reason() const {
    return on_ ? reason_ : QString();
}

}  // namespace platform::session
