#include "platform/session/do_not_disturb.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

// GLib's headers name a member "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

namespace platform::session {

namespace {

constexpr int kAnswerTimeoutMs = 5000;
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
constexpr const char* kGnomeSchema = "org.gnome.desktop.notifications";
constexpr const char* kGnomeKey = "show-banners";

}  // namespace

DoNotDisturb::DoNotDisturb(QObject* parent) : QuietSource(parent) {}

DoNotDisturb::~DoNotDisturb() {
    if (settings_ != nullptr) {
        g_signal_handler_disconnect(settings_, handler_);
        g_object_unref(settings_);
    }
}

QString DoNotDisturb::Reason() const {
    return quiet_ ? QStringLiteral("Quiet: Do Not Disturb") : QString();
}

void DoNotDisturb::Start() {
    WatchGnome();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    // Heard from any sender: a notification service that takes its name only after this program
    // started is not yet known by its owner here.
    bus.connect(QString(), kPath, kProperties, QStringLiteral("PropertiesChanged"), this,
                SLOT(OnProperties(QString, QVariantMap, QStringList)));
    auto* owners =
        new QDBusServiceWatcher(kService, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(owners, &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& owner) {
                ++reports_;
                if (owner.isEmpty()) {
                    SetInhibited(false);  // the service left
                } else {
                    AskInhibited();
                }
            });
    AskInhibited();
}

void DoNotDisturb::AskInhibited() {
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kProperties, QStringLiteral("Get"));
    call << kService << QStringLiteral("Inhibited");
    // A notification service that is not running is not started for this question.
    call.setAutoStartService(false);
    const int before = reports_;
    auto* watcher = new QDBusPendingCallWatcher(
        QDBusConnection::sessionBus().asyncCall(call, kAnswerTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, before] {
        const QDBusPendingReply<QDBusVariant> reply = *watcher;
        watcher->deleteLater();
        // No such property (a service that has no Do Not Disturb) or no service: off. A change
        // announced meanwhile is newer than this answer.
        if (reports_ == before) {
            SetInhibited(!reply.isError() && reply.value().variant().toBool());
        }
    });
}

void DoNotDisturb::OnProperties(const QString& interface, const QVariantMap& changed,
                                const QStringList& invalidated) {
    if (interface != kService) {
        return;
    }
    const auto it = changed.constFind(QStringLiteral("Inhibited"));
    if (it != changed.constEnd()) {
        ++reports_;
        SetInhibited(it->toBool());
    } else if (invalidated.contains(QStringLiteral("Inhibited"))) {
        ++reports_;
        AskInhibited();
    }
}

void DoNotDisturb::SetInhibited(bool inhibited) {
    inhibited_ = inhibited;
    Report();
}

void DoNotDisturb::WatchGnome() {
    if (settings_ != nullptr) {
        return;
    }
    // Only where the schema is installed: GSettings ends the program for a missing one.
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    GSettingsSchema* schema =
        source != nullptr ? g_settings_schema_source_lookup(source, kGnomeSchema, TRUE) : nullptr;
    if (schema == nullptr) {
        return;
    }
    const bool hasKey = g_settings_schema_has_key(schema, kGnomeKey);
    g_settings_schema_unref(schema);
    if (!hasKey) {
        return;
    }
    settings_ = g_settings_new(kGnomeSchema);
    handler_ = g_signal_connect(settings_, "changed::show-banners",
                                G_CALLBACK(+[](GSettings*, gchar*, gpointer self) {
                                    static_cast<DoNotDisturb*>(self)->ReadGnome();
                                }),
                                this);
    ReadGnome();
}

void DoNotDisturb::ReadGnome() {
    noBanners_ = !g_settings_get_boolean(static_cast<GSettings*>(settings_), kGnomeKey);
    Report();
}

void DoNotDisturb::Report() {
    const bool quiet = inhibited_ || noBanners_;
    if (quiet != quiet_) {
        quiet_ = quiet;
        emit Changed();
    }
}

}  // namespace platform::session
