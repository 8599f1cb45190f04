#include "platform/session/control_client.h"

#include "platform/session/control_service.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QThread>
#include <QVariantMap>

namespace platform::session {

namespace {

// How long the running program has to answer a request: it answers before it acts, so only
// a program that hangs takes this long.
constexpr int kCallTimeoutMs = 10000;

int g_argc = 1;
char g_name[] = "kestrane";
char* g_argv[] = {g_name, nullptr};

QDBusMessage ControlCall(const char* interface, const char* method) {
    return QDBusMessage::createMethodCall(
        QString::fromLatin1(kControlName), QString::fromLatin1(kControlPath),
        QString::fromLatin1(interface), QString::fromLatin1(method));
}

}  // namespace

ControlClient::ControlClient() {
    if (QCoreApplication::instance() == nullptr) {
        app_ = std::make_unique<QCoreApplication>(g_argc, g_argv);
    }
}

ControlClient::~ControlClient() = default;

bool ControlClient::Connected() const {
    QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface() != nullptr;
}

std::string ControlClient::Owner() const {
    if (!Connected()) {
        return {};
    }
    QDBusMessage ask = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetNameOwner"));
    ask << QString::fromLatin1(kControlName);
    const QDBusMessage reply =
        QDBusConnection::sessionBus().call(ask, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return {};  // no owner (or no answer)
    }
    return reply.arguments().constFirst().toString().toStdString();
}

std::string ControlClient::WaitForOwner(int timeoutMs) const {
    const QDeadlineTimer deadline(timeoutMs);
    std::string owner = Owner();
    while (owner.empty() && !deadline.hasExpired()) {
        QThread::msleep(50);
        owner = Owner();
    }
    return owner;
}

bool ControlClient::WaitUntilGone(const std::string& owner, int timeoutMs) const {
    const QDeadlineTimer deadline(timeoutMs);
    while (Owner() == owner) {
        if (deadline.hasExpired()) {
            return false;
        }
        QThread::msleep(50);
    }
    return true;
}

std::string ControlClient::Call(const char* method) const {
    const QDBusMessage reply = QDBusConnection::sessionBus().call(
        ControlCall(kControlInterface, method), QDBus::Block, kCallTimeoutMs);
    if (reply.type() == QDBusMessage::ReplyMessage) {
        return {};
    }
    return reply.errorMessage().isEmpty() ? reply.errorName().toStdString()
                                          : reply.errorMessage().toStdString();
}

std::optional<ControlClient::State> ControlClient::Read(std::string& error) const {
    QDBusMessage get = ControlCall("org.freedesktop.DBus.Properties", "GetAll");
    get << QString::fromLatin1(kControlInterface);
    const QDBusReply<QVariantMap> reply =
        QDBusConnection::sessionBus().call(get, QDBus::Block, kCallTimeoutMs);
    if (!reply.isValid()) {
        error = reply.error().message().toStdString();
        return std::nullopt;
    }
    const QVariantMap values = reply.value();
    if (!values.contains(QStringLiteral("Running")) ||
        !values.contains(QStringLiteral("Visible"))) {
        error = "the running program does not say whether it runs and shows its window";
        return std::nullopt;
    }
    return State{values.value(QStringLiteral("Running")).toBool(),
                 values.value(QStringLiteral("Visible")).toBool()};
}

}  // namespace platform::session
