#include "platform/session/bus_property.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

#include <utility>

namespace platform::session {

namespace {

constexpr int kAnswerTimeoutMs = 5000;
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

}  // namespace

BusProperty::BusProperty(QString service, QString path, QString interface, QString name,
                         QObject* parent)
    : QObject(parent),
      service_(std::move(service)),
      path_(std::move(path)),
      interface_(std::move(interface)),
      name_(std::move(name)) {}

void BusProperty::Start() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (started_ || !bus.isConnected()) {
        return;
    }
    started_ = true;
    bus.connect(QString(), path_, kProperties, QStringLiteral("PropertiesChanged"), this,
                SLOT(OnProperties(QString, QVariantMap, QStringList)));
    auto* owners =
        new QDBusServiceWatcher(service_, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(owners, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& owner) {
                ++reports_;
                if (owner.isEmpty()) {
                    emit Changed(QVariant());  // the service left
                } else {
                    Ask();
                }
            });
    Ask();
}

void BusProperty::Ask() {
    QDBusMessage call =
        QDBusMessage::createMethodCall(service_, path_, kProperties, QStringLiteral("Get"));
    call << interface_ << name_;
    // A service that is not running is not started for this question.
    call.setAutoStartService(false);
    const int before = reports_;
    auto* watcher = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(call, kAnswerTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, before] {
        const QDBusPendingReply<QDBusVariant> reply = *watcher;
        watcher->deleteLater();
        if (reports_ == before) {
            emit Changed(reply.isError() ? QVariant() : reply.value().variant());
        }
    });
}

void BusProperty::OnProperties(const QString& interface, const QVariantMap& changed,
                               const QStringList& invalidated) {
    if (interface != interface_) {
        return;
    }
    const auto it = changed.constFind(name_);
    if (it != changed.constEnd()) {
        ++reports_;
        emit Changed(*it);
    } else if (invalidated.contains(name_)) {
        ++reports_;
        Ask();
    }
}

}  // namespace platform::session
