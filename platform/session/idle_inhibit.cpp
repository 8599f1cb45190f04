#include "platform/session/idle_inhibit.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

namespace platform::session {

namespace {

constexpr int kAnswerTimeoutMs = 5000;
constexpr unsigned kIdleInhibited = 8;
const QString kService = QStringLiteral("org.gnome.SessionManager");
const QString kPath = QStringLiteral("/org/gnome/SessionManager");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

}  // namespace

IdleInhibitWatch::IdleInhibitWatch(QObject* parent) : QuietSource(parent) {}

QString IdleInhibitWatch::Reason() const {
    return quiet_ ? QStringLiteral("Quiet: a full-screen window") : QString();
}

void IdleInhibitWatch::Start() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    // Heard from any sender: a session manager that takes its name only after this program started
    // is not yet known by its owner here.
    bus.connect(QString(), kPath, kProperties, QStringLiteral("PropertiesChanged"), this,
                SLOT(OnProperties(QString, QVariantMap, QStringList)));
    auto* owners =
        new QDBusServiceWatcher(kService, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(owners, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& owner) {
                ++reports_;
                if (owner.isEmpty()) {
                    Set(0);
                } else {
                    Ask();
                }
            });
    Ask();
}

void IdleInhibitWatch::Ask() {
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kProperties, QStringLiteral("Get"));
    call << kService << QStringLiteral("InhibitedActions");
    call.setAutoStartService(false);
    const int before = reports_;
    auto* watcher = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(call, kAnswerTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, before] {
        const QDBusPendingReply<QDBusVariant> reply = *watcher;
        watcher->deleteLater();
        if (reports_ == before) {
            Set(reply.isError() ? 0 : reply.value().variant().toUInt());
        }
    });
}

void IdleInhibitWatch::OnProperties(const QString& interface, const QVariantMap& changed,
                                    const QStringList& invalidated) {
    if (interface != kService) {
        return;
    }
    const auto it = changed.constFind(QStringLiteral("InhibitedActions"));
    if (it != changed.constEnd()) {
        ++reports_;
        Set(it->toUInt());
    } else if (invalidated.contains(QStringLiteral("InhibitedActions"))) {
        ++reports_;
        Ask();
    }
}

void IdleInhibitWatch::Set(unsigned actions) {
    const bool quiet = (actions & kIdleInhibited) != 0;
    if (quiet != quiet_) {
        quiet_ = quiet;
        emit Changed();
    }
}

}  // namespace platform::session
