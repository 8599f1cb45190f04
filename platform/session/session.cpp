#include "platform/session/session.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

#include <X11/Xlib.h>

#include <cstdlib>
#include <memory>

namespace platform::session {

namespace {

// The option's value when the command line carries it ("-name value" or "--name value", as
// Qt reads its options), else nullptr.
const char* OptionValue(int argc, char** argv, const std::string& name) {
    for (int i = 1; i + 1 < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-" + name || arg == "--" + name) {
            return argv[i + 1];
        }
    }
    return nullptr;
}

// Why Qt's xcb platform could not connect to the X server it would use, or "".
std::string XServerProblem(const char* displayOption) {
    const char* display = displayOption != nullptr ? displayOption : std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
        return "DISPLAY is not set";
    }
    Display* connection = XOpenDisplay(display);
    if (connection == nullptr) {
        return std::string("the X server of display ") + display + " does not answer";
    }
    XCloseDisplay(connection);
    return {};
}

}  // namespace

QtCommandLine::QtCommandLine(int argc, char** argv) {
    const bool chosen = !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
                        OptionValue(argc, argv, "platform") != nullptr;
    for (int i = 0; i < argc; ++i) {
        args_.emplace_back(argv[i]);
        if (i == 0 && !chosen) {
            args_.emplace_back("-platform");
            args_.emplace_back("xcb");
        }
    }
    for (std::string& arg : args_) {
        argv_.push_back(arg.data());
    }
    argv_.push_back(nullptr);
    argc_ = static_cast<int>(args_.size());
    if (!chosen) {
        problem_ = XServerProblem(OptionValue(argc, argv, "display"));
    }
}

bool NotifyUser(const std::string& appName, const std::string& desktopEntry,
                const std::string& summary, const std::string& body) {
    std::unique_ptr<QCoreApplication> app;
    static int argc = 1;
    static char name[] = "kestrane";
    static char* argv[] = {name, nullptr};
    if (QCoreApplication::instance() == nullptr) {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return false;
    }
    QDBusMessage notify = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.Notifications"),
        QStringLiteral("/org/freedesktop/Notifications"),
        QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QString::fromStdString(desktopEntry));
    hints.insert(QStringLiteral("urgency"), QVariant::fromValue<uchar>(2));  // critical
    notify << QString::fromStdString(appName) << 0U << QString() << QString::fromStdString(summary)
           << QString::fromStdString(body) << QStringList() << hints << -1;
    const QDBusMessage reply = bus.call(notify, QDBus::Block, 3000);
    return reply.type() == QDBusMessage::ReplyMessage;
}

}  // namespace platform::session
