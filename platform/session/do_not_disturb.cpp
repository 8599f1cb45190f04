#include "platform/session/do_not_disturb.h"

#include "platform/session/bus_property.h"
#include "platform/session/mako_modes.h"

// GLib's headers name a member "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

namespace platform::session {

namespace {

constexpr const char* kGnomeSchema = "org.gnome.desktop.notifications";
constexpr const char* kGnomeKey = "show-banners";

}  // namespace

DoNotDisturb::DoNotDisturb(QObject* parent)
    : QuietSource(parent),
      inhibited_(new BusProperty(QStringLiteral("org.freedesktop.Notifications"),
                                 QStringLiteral("/org/freedesktop/Notifications"),
                                 QStringLiteral("org.freedesktop.Notifications"),
                                 QStringLiteral("Inhibited"), this)),
      paused_(new BusProperty(QStringLiteral("org.freedesktop.Notifications"),
                              QStringLiteral("/org/freedesktop/Notifications"),
                              QStringLiteral("org.dunstproject.cmd0"), QStringLiteral("paused"),
                              this)),
      mako_(new MakoModes(this)) {
    // No such property (a service that has no Do Not Disturb) or no service: off.
    connect(inhibited_, &BusProperty::Changed, this, [this](const QVariant& value) {
        serviceInhibited_ = value.toBool();
        Report();
    });
    connect(paused_, &BusProperty::Changed, this, [this](const QVariant& value) {
        dunstPaused_ = value.toBool();
        Report();
    });
    connect(mako_, &MakoModes::Changed, this, [this](bool doNotDisturb) {
        makoDoNotDisturb_ = doNotDisturb;
        Report();
    });
}

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
    inhibited_->Start();
    paused_->Start();
    mako_->Start();
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
    const bool quiet = serviceInhibited_ || noBanners_ || dunstPaused_ || makoDoNotDisturb_;
    if (quiet != quiet_) {
        quiet_ = quiet;
        emit Changed();
    }
}

}  // namespace platform::session
