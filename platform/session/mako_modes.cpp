#include "platform/session/mako_modes.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QStringList>

namespace platform::session {

namespace {

constexpr int kEveryMs = 1000;
constexpr int kAnswerTimeoutMs = 5000;
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kMode = QStringLiteral("do-not-disturb");

// No answer in time: a mako that is slow this once, asked again. Any other error is the answer
// of a service that is not mako (no such object or method) or of no service at all.
bool Slow(QDBusError::ErrorType error) {
    return error == QDBusError::NoReply || error == QDBusError::Timeout ||
           error == QDBusError::TimedOut;
}

}  // namespace

MakoModes::MakoModes(QObject* parent) : QObject(parent) {
    every_.setInterval(kEveryMs);
    connect(&every_, &QTimer::timeout, this, &MakoModes::Ask);
}

void MakoModes::Start() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (started_ || !bus.isConnected()) {
        return;
    }
    started_ = true;
    auto* owners =
        new QDBusServiceWatcher(kService, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(owners, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& owner) {
                ++owners_;
                asking_ = false;
                every_.stop();
                Set(false);
                if (!owner.isEmpty()) {
                    Ask();
                }
            });
    Ask();
}

void MakoModes::Ask() {
    if (asking_) {
        return;  // the last question is still out: never more than one
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        kService, QStringLiteral("/fr/emersion/Mako"), QStringLiteral("fr.emersion.Mako"),
        QStringLiteral("ListModes"));
    // mako's bus activation file would start it for this question otherwise.
    call.setAutoStartService(false);
    asking_ = true;
    const int owner = owners_;
    auto* watcher = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(call, kAnswerTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, owner] {
        const QDBusPendingReply<QStringList> reply = *watcher;
        watcher->deleteLater();
        if (owner != owners_) {
            return;
        }
        asking_ = false;
        if (reply.isError() && !Slow(reply.error().type())) {
            every_.stop();
            Set(false);
            return;
        }
        every_.start();
        Set(!reply.isError() && reply.value().contains(kMode));
    });
}

void MakoModes::Set(bool doNotDisturb) {
    if (doNotDisturb != doNotDisturb_) {
        doNotDisturb_ = doNotDisturb;
        emit Changed(doNotDisturb);
    }
}

}  // namespace platform::session
