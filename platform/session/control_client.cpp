#include "platform/session/control_client.h"

#include "platform/session/control_service.h"

#include <QDBusConnection>
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

// A connection of the client's own, closed when it goes.
constexpr const char* kConnectionName = "kestrane-control-client";

int g_argc = 1;
char g_name[] = "kestrane";
char* g_argv[] = {g_name, nullptr};

QDBusMessage ControlCall(const char* interface, const char* method) {
    return QDBusMessage::createMethodCall(
        QString::fromLatin1(kControlName), QString::fromLatin1(kControlPath),
        QString::fromLatin1(interface), QString::fromLatin1(method));
}

// Qt's table of registered types must outlive the bus's thread. Both are made on first use
// and taken down at the process's end in the reverse order, and the bus's thread may still
// handle a last message then (the bus closing), which needs the types that QtDBus registers:
// with the table made first it is taken down last.
int MakeTypeTable() {
    return QMetaType::fromType<ControlClient::State>().id();
}

}  // namespace

ControlClient::ControlClient()
    : typeTable_(MakeTypeTable()),
      app_(QCoreApplication::instance() == nullptr
               ? std::make_unique<QCoreApplication>(g_argc, g_argv)
               : nullptr),
      bus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                         QString::fromLatin1(kConnectionName))) {}

ControlClient::~ControlClient() {
    // Closed while the client's application object is still there.
    bus_ = QDBusConnection(QString());
    QDBusConnection::disconnectFromBus(QString::fromLatin1(kConnectionName));
}

bool ControlClient::Connected() const {
    return bus_.isConnected();
}

std::string ControlClient::Owner() const {
    if (!Connected()) {
        return {};
    }
    QDBusMessage ask = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetNameOwner"));
    ask << QString::fromLatin1(kControlName);
    const QDBusMessage reply = bus_.call(ask, QDBus::Block, kCallTimeoutMs);
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
    return Answer(bus_.call(ControlCall(kControlInterface, method), QDBus::Block, kCallTimeoutMs));
}

std::string ControlClient::Pause(int minutes) const {
    QDBusMessage call = ControlCall(kControlInterface, "Pause");
    call << minutes;
    return Answer(bus_.call(call, QDBus::Block, kCallTimeoutMs));
}

std::string ControlClient::Answer(const QDBusMessage& reply) {
    if (reply.type() == QDBusMessage::ReplyMessage) {
        return {};
    }
    return reply.errorMessage().isEmpty() ? reply.errorName().toStdString()
                                          : reply.errorMessage().toStdString();
}

std::optional<ControlClient::State> ControlClient::Read(std::string& error) const {
    QDBusMessage get = ControlCall("org.freedesktop.DBus.Properties", "GetAll");
    get << QString::fromLatin1(kControlInterface);
    const QDBusReply<QVariantMap> reply = bus_.call(get, QDBus::Block, kCallTimeoutMs);
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
                 values.value(QStringLiteral("Visible")).toBool(),
                 values.value(QStringLiteral("Quiet")).toString().toStdString(),
                 values.value(QStringLiteral("FlashPath")).toString().toStdString()};
}

}  // namespace platform::session
