#include "platform/session/lock_watch.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QFileInfo>

namespace platform::session {

namespace {

constexpr int kAnswerTimeoutMs = 5000;

const QString kLogind = QStringLiteral("org.freedesktop.login1");
const QString kSessionInterface = QStringLiteral("org.freedesktop.login1.Session");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

struct Saver {
    const char* service;
    const char* path;
};
// Service, object and interface (named as the service) of the two screen savers.
constexpr Saver kSavers[2] = {
    {"org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver"},
    {"org.gnome.ScreenSaver", "/org/gnome/ScreenSaver"},
};

// Connecting to a system bus that does not exist costs memory the bus library keeps for good;
// without its socket (or an address of its own) there is nothing to ask.
bool SystemBusMayExist() {
    return !qEnvironmentVariableIsEmpty("DBUS_SYSTEM_BUS_ADDRESS") ||
           QFileInfo::exists(QStringLiteral("/run/dbus/system_bus_socket")) ||
           QFileInfo::exists(QStringLiteral("/var/run/dbus/system_bus_socket"));
}

// Sends a call and runs done with its answer (an error or a reply) once it comes.
template <typename Done>
void AskLater(QObject* owner, QDBusConnection bus, const QDBusMessage& call, Done done) {
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kAnswerTimeoutMs), owner);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, owner,
                     [watcher, done](QDBusPendingCallWatcher*) {
                         done(*watcher);
                         watcher->deleteLater();
                     });
}

}  // namespace

LockWatch::LockWatch(QObject* parent) : QuietSource(parent) {}

QString LockWatch::Reason() const {
    return locked_ ? QStringLiteral("Quiet: the screen is locked") : QString();
}

void LockWatch::Start() {
    WatchLogind();
    WatchSavers();
}

void LockWatch::WatchLogind() {
    if (!SystemBusMayExist() || !QDBusConnection::systemBus().isConnected()) {
        return;
    }
    QStringList ids;
    if (const QString own = qEnvironmentVariable("XDG_SESSION_ID"); !own.isEmpty()) {
        ids << own;
    }
    ids << QStringLiteral("auto");
    FindSession(ids);
}

// GetSession with each id in turn until logind names a session object.
void LockWatch::FindSession(const QStringList& ids) {
    if (ids.isEmpty()) {
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        kLogind, QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("GetSession"));
    call << ids.first();
    AskLater(this, QDBusConnection::systemBus(), call, [this, ids](QDBusPendingCall& answer) {
        const QDBusPendingReply<QDBusObjectPath> reply = answer;
        if (reply.isError()) {
            FindSession(ids.mid(1));
            return;
        }
        sessionPath_ = reply.value().path();
        QDBusConnection bus = QDBusConnection::systemBus();
        bus.connect(kLogind, sessionPath_, kProperties, QStringLiteral("PropertiesChanged"), this,
                    SLOT(OnSessionProperties(QString, QVariantMap, QStringList)));
        bus.connect(kLogind, sessionPath_, kSessionInterface, QStringLiteral("Lock"), this,
                    SLOT(OnLock()));
        bus.connect(kLogind, sessionPath_, kSessionInterface, QStringLiteral("Unlock"), this,
                    SLOT(OnUnlock()));
        ReadLockedHint();
    });
}

void LockWatch::ReadLockedHint() {
    QDBusMessage call =
        QDBusMessage::createMethodCall(kLogind, sessionPath_, kProperties, QStringLiteral("Get"));
    call << kSessionInterface << QStringLiteral("LockedHint");
    const int reportsBefore = hintReports_;
    AskLater(this, QDBusConnection::systemBus(), call,
             [this, reportsBefore](QDBusPendingCall& answer) {
                 const QDBusPendingReply<QDBusVariant> reply = answer;
                 // A change announced meanwhile is newer than this answer.
                 if (reply.isError() || hintReports_ != reportsBefore) {
                     return;
                 }
                 hint_ = reply.value().variant().toBool();
                 Report();
             });
}

void LockWatch::OnSessionProperties(const QString& interface, const QVariantMap& changed,
                                    const QStringList& invalidated) {
    if (interface != kSessionInterface) {
        return;
    }
    const auto hint = changed.constFind(QStringLiteral("LockedHint"));
    if (hint != changed.constEnd()) {
        ++hintReports_;
        hint_ = hint->toBool();
        requested_ = false;  // the locker reports for itself
        Report();
    } else if (invalidated.contains(QStringLiteral("LockedHint"))) {
        ++hintReports_;
        requested_ = false;
        ReadLockedHint();
    }
}

void LockWatch::OnLock() {
    requested_ = true;
    Report();
}

void LockWatch::OnUnlock() {
    requested_ = false;
    Report();
}

void LockWatch::WatchSavers() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    // Heard from any sender: a screen saver that has only just taken its name may announce a
    // change before this program has learnt who owns the name (see SaverSaid).
    bus.connect(QString(), QString::fromLatin1(kSavers[0].path),
                QString::fromLatin1(kSavers[0].service), QStringLiteral("ActiveChanged"), this,
                SLOT(OnFreedesktopSaver(bool)));
    bus.connect(QString(), QString::fromLatin1(kSavers[1].path),
                QString::fromLatin1(kSavers[1].service), QStringLiteral("ActiveChanged"), this,
                SLOT(OnGnomeSaver(bool)));
    // A screen saver that starts later is asked then; one that ends no longer counts.
    auto* owners = new QDBusServiceWatcher(this);
    owners->setConnection(bus);
    for (const Saver& saver : kSavers) {
        owners->addWatchedService(QString::fromLatin1(saver.service));
    }
    auto which = [](const QString& service) {
        return service == QString::fromLatin1(kSavers[0].service) ? 0 : 1;
    };
    connect(owners, &QDBusServiceWatcher::serviceRegistered, this,
            [this, which](const QString& service) { AskSaver(which(service)); });
    connect(owners, &QDBusServiceWatcher::serviceUnregistered, this,
            [this, which](const QString& service) {
                savers_[which(service)] = false;
                Report();
            });
    AskSaver(0);
    AskSaver(1);
}

void LockWatch::AskSaver(int which) {
    const Saver& saver = kSavers[which];
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(saver.service), QString::fromLatin1(saver.path),
        QString::fromLatin1(saver.service), QStringLiteral("GetActive"));
    // A screen saver that is not running is not started for this question.
    call.setAutoStartService(false);
    AskLater(this, QDBusConnection::sessionBus(), call, [this, which](QDBusPendingCall& answer) {
        const QDBusPendingReply<bool> reply = answer;
        // No screen saver answering (none there) is an inactive one.
        SetSaver(which, !reply.isError() && reply.value());
    });
}

void LockWatch::OnFreedesktopSaver(bool active) {
    SaverSaid(0, active);
}

void LockWatch::OnGnomeSaver(bool active) {
    SaverSaid(1, active);
}

// A lock is taken at its word at once, which is the safe way to err; either way the screen
// saver that owns the name is asked, and its answer is what counts.
void LockWatch::SaverSaid(int which, bool active) {
    if (active) {
        SetSaver(which, true);
    }
    AskSaver(which);
}

void LockWatch::SetSaver(int which, bool active) {
    if (savers_[which] != active) {
        requested_ = false;  // the screen saver reports for itself
    }
    savers_[which] = active;
    Report();
}

void LockWatch::Report() {
    const bool locked = hint_ || requested_ || savers_[0] || savers_[1];
    if (locked == locked_) {
        return;
    }
    locked_ = locked;
    emit Changed();
}

}  // namespace platform::session
