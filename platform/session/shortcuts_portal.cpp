#include "platform/session/shortcuts_portal.h"

#include "platform/session/key_sym.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QKeySequence>

#include <X11/Xlib.h>

#include <utility>

namespace {

// One shortcut as the portal takes and gives it: (sa{sv}), its id and its properties.
struct PortalShortcut {
    QString id;
    QVariantMap info;
};

QDBusArgument& operator<<(QDBusArgument& arg, const PortalShortcut& s) {
    arg.beginStructure();
    arg << s.id << s.info;
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, PortalShortcut& s) {
    arg.beginStructure();
    arg >> s.id >> s.info;
    arg.endStructure();
    return arg;
}

}  // namespace

Q_DECLARE_METATYPE(PortalShortcut)

namespace platform::session {

namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
const QString kId = QStringLiteral("start-stop");
// How long each answer may take: the version and the session at once; the binding may wait
// for the user, whom the desktop may ask to confirm or choose the trigger.
constexpr int kAskMs = 5000;
constexpr int kBindMs = 120000;

}  // namespace

ShortcutsPortal::ShortcutsPortal(QObject* parent) : QObject(parent) {
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    limit_.setSingleShot(true);
    connect(&limit_, &QTimer::timeout, this,
            [this] { Fail(tr("the desktop did not answer in time")); });
    // Taken as the whole message: QtDBus matched no slot with the signal's typed arguments.
    QDBusConnection::sessionBus().connect(kService, kPath, kInterface, QStringLiteral("Activated"),
                                          this, SLOT(ShortcutActivated(QDBusMessage)));
}

ShortcutsPortal::~ShortcutsPortal() {
    StopWaiting();
    CloseSession();
}

bool ShortcutsPortal::InWaylandSession() {
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland");
}

QString ShortcutsPortal::TriggerOf(const QString& key) {
    const QKeySequence sequence = QKeySequence::fromString(key, QKeySequence::PortableText);
    if (sequence.isEmpty()) {
        return {};
    }
    const char* name = XKeysymToString(KeySymOf(sequence[0].key()));
    if (name == nullptr) {
        return {};
    }
    const Qt::KeyboardModifiers mods = sequence[0].keyboardModifiers();
    QString trigger;
    for (const auto& [mod, text] :
         {std::pair{Qt::ControlModifier, "CTRL+"}, std::pair{Qt::AltModifier, "ALT+"},
          std::pair{Qt::ShiftModifier, "SHIFT+"}, std::pair{Qt::MetaModifier, "LOGO+"}}) {
        if (mods.testFlag(mod)) {
            trigger += QLatin1String(text);
        }
    }
    return trigger + QLatin1String(name);
}

void ShortcutsPortal::Bind(const QString& key) {
    ++generation_;
    StopWaiting();
    CloseSession();
    key_ = key;
    if (key_.isEmpty()) {
        return;
    }
    if (!QDBusConnection::sessionBus().isConnected()) {
        QTimer::singleShot(0, this, [this, g = generation_] {
            if (g == generation_) {
                emit Missing();
            }
        });
        return;
    }
    if (version_ >= 1) {
        CreateSession();
    } else {
        AskVersion();  // a portal started since the last answer is found now
    }
}

void ShortcutsPortal::AskVersion() {
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kInterface << QStringLiteral("version");
    auto* watcher =
        new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(get, kAskMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, g = generation_] {
        watcher->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *watcher;
        version_ = reply.isError() ? 0 : int(reply.value().variant().toUInt());
        if (g != generation_) {
            return;  // the key changed meanwhile; its Bind asked again
        }
        if (version_ >= 1) {
            CreateSession();
        } else {
            emit Missing();
        }
    });
}

void ShortcutsPortal::Request(const QString& method, QList<QVariant> args, const char* slot,
                              int limitMs) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    token_ = QStringLiteral("kestrane%1").arg(++serial_);
    QVariantMap options = args.takeLast().toMap();
    options.insert(QStringLiteral("handle_token"), token_);
    args.append(options);
    // The Request's path is known before the call (the bus name with '.' for '_', and the
    // token), so its Response cannot come before it is listened for.
    const QString sender = bus.baseService().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
    request_ = kPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token_;
    bus.connect(kService, request_, kRequest, QStringLiteral("Response"), this, slot);
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    call.setArguments(args);
    limit_.start(limitMs);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, limitMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, watcher, slot, g = generation_, asked = request_] {
                watcher->deleteLater();
                const QDBusPendingReply<QDBusObjectPath> reply = *watcher;
                if (g != generation_ || asked != request_) {
                    return;
                }
                if (reply.isError()) {
                    Fail(reply.error().message());
                } else if (reply.value().path() != request_) {
                    // A portal that names its Requests otherwise answers on the path it gave.
                    QDBusConnection bus = QDBusConnection::sessionBus();
                    bus.disconnect(kService, request_, kRequest, QStringLiteral("Response"), this,
                                   slot);
                    request_ = reply.value().path();
                    bus.connect(kService, request_, kRequest, QStringLiteral("Response"), this,
                                slot);
                }
            });
}

void ShortcutsPortal::CreateSession() {
    QVariantMap options;
    options.insert(QStringLiteral("session_handle_token"),
                   QStringLiteral("kestrane%1").arg(serial_ + 1));
    Request(QStringLiteral("CreateSession"), {options}, SLOT(SessionCreated(uint, QVariantMap)),
            kAskMs);
}

void ShortcutsPortal::SessionCreated(uint response, const QVariantMap& results) {
    StopWaiting();
    const QVariant handle = results.value(QStringLiteral("session_handle"));
    // A string by the interface's definition; some portals give an object path.
    session_ = handle.metaType() == QMetaType::fromType<QDBusObjectPath>()
                   ? handle.value<QDBusObjectPath>().path()
                   : handle.toString();
    if (response != 0 || session_.isEmpty()) {
        Fail(tr("no session was made for it"));
        return;
    }
    BindShortcut();
}

void ShortcutsPortal::BindShortcut() {
    QVariantMap info;
    info.insert(QStringLiteral("description"), tr("Start and stop flashing"));
    const QString trigger = TriggerOf(key_);
    if (!trigger.isEmpty()) {
        info.insert(QStringLiteral("preferred_trigger"), trigger);
    }
    const QList<PortalShortcut> shortcuts = {{kId, info}};
    Request(QStringLiteral("BindShortcuts"),
            {QVariant::fromValue(QDBusObjectPath(session_)), QVariant::fromValue(shortcuts),
             QString(), QVariantMap()},
            SLOT(ShortcutsBound(uint, QVariantMap)), kBindMs);
}

void ShortcutsPortal::ShortcutsBound(uint response, const QVariantMap& results) {
    StopWaiting();
    if (response != 0) {
        Fail(response == 1 ? tr("the binding was cancelled") : tr("the binding was refused"));
        return;
    }
    QList<PortalShortcut> bound;
    const QVariant list = results.value(QStringLiteral("shortcuts"));
    if (list.canConvert<QDBusArgument>()) {
        list.value<QDBusArgument>() >> bound;
    }
    for (const PortalShortcut& s : bound) {
        if (s.id == kId) {
            emit Bound(s.info.value(QStringLiteral("trigger_description")).toString());
            return;
        }
    }
    Fail(tr("it is not among the shortcuts bound"));
}

void ShortcutsPortal::ShortcutActivated(const QDBusMessage& signal) {
    // (o session_handle, s shortcut_id, t timestamp, a{sv} options)
    const QList<QVariant> args = signal.arguments();
    if (args.size() >= 2 && !session_.isEmpty() && request_.isEmpty() &&
        args[0].value<QDBusObjectPath>().path() == session_ && args[1].toString() == kId) {
        emit Activated();
    }
}

void ShortcutsPortal::StopWaiting() {
    limit_.stop();
    if (!request_.isEmpty()) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        for (const char* slot :
             {SLOT(SessionCreated(uint, QVariantMap)), SLOT(ShortcutsBound(uint, QVariantMap))}) {
            bus.disconnect(kService, request_, kRequest, QStringLiteral("Response"), this, slot);
        }
        request_.clear();
    }
}

void ShortcutsPortal::Fail(const QString& why) {
    ++generation_;  // what is still on its way is not waited for
    StopWaiting();
    CloseSession();
    emit Refused(why);
}

void ShortcutsPortal::CloseSession() {
    if (session_.isEmpty()) {
        return;
    }
    QDBusConnection::sessionBus().asyncCall(QDBusMessage::createMethodCall(
        kService, session_, QStringLiteral("org.freedesktop.portal.Session"),
        QStringLiteral("Close")));
    session_.clear();
}

}  // namespace platform::session
