#include "platform/session/control_service.h"

#include "platform/session/control_adaptor.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusReply>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

namespace platform::session {

ControlService::ControlService(ControlHandlers handlers, QObject* parent)
    : QObject(parent), h_(std::move(handlers)) {
    new ControlAdaptor(this);
}

ControlService::~ControlService() {
    if (published_) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterObject(QString::fromLatin1(kControlPath));
        bus.unregisterService(QString::fromLatin1(kControlName));
    }
}

bool ControlService::Publish() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || bus.interface() == nullptr) {
        return false;
    }
    if (!bus.registerObject(QString::fromLatin1(kControlPath), this,
                            QDBusConnection::ExportAdaptors)) {
        return false;
    }
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        bus.interface()->registerService(QString::fromLatin1(kControlName),
                                         QDBusConnectionInterface::QueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() == QDBusConnectionInterface::ServiceNotRegistered) {
        bus.unregisterObject(QString::fromLatin1(kControlPath));
        return false;
    }
    published_ = true;
    running_ = Running();
    visible_ = Visible();
    quiet_ = Quiet();
    return true;
}

bool ControlService::Running() const {
    return h_.running && h_.running();
}

bool ControlService::Visible() const {
    return h_.visible && h_.visible();
}

QString ControlService::Quiet() const {
    return h_.quiet ? h_.quiet() : QString();
}

void ControlService::RequestPause(int minutes) {
    if (minutes < 1 || minutes > 24 * 60) {
        if (calledFromDBus()) {
            sendErrorReply(QDBusError::InvalidArgs,
                           QStringLiteral("a pause is 1 to 1440 minutes, not %1").arg(minutes));
        }
        return;
    }
    QTimer::singleShot(0, this, [this, minutes] {
        if (h_.pause) {
            h_.pause(minutes);
        }
        Touch();
    });
}

std::string ControlService::FlashPath() const {
    return h_.flashPath ? h_.flashPath() : std::string();
}

void ControlService::Touch() {
    if (touched_ || !published_) {
        return;
    }
    touched_ = true;
    QTimer::singleShot(0, this, [this] {
        touched_ = false;
        Refresh();
    });
}

void ControlService::Request(std::function<void()> ControlHandlers::*handler) {
    QTimer::singleShot(0, this, [this, handler] {
        const std::function<void()>& run = h_.*handler;
        if (run) {
            run();
        }
        Touch();
    });
}

void ControlService::Refresh() {
    QVariantMap changed;
    if (const bool running = Running(); running != running_) {
        running_ = running;
        changed.insert(QStringLiteral("Running"), running);
    }
    if (const bool visible = Visible(); visible != visible_) {
        visible_ = visible;
        changed.insert(QStringLiteral("Visible"), visible);
    }
    if (const QString quiet = Quiet(); quiet != quiet_) {
        quiet_ = quiet;
        changed.insert(QStringLiteral("Quiet"), quiet);
    }
    if (changed.isEmpty()) {
        return;
    }
    QDBusMessage signal = QDBusMessage::createSignal(
        QString::fromLatin1(kControlPath), QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("PropertiesChanged"));
    signal << QString::fromLatin1(kControlInterface) << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

}  // namespace platform::session
