#include "platform/session/idle_inhibit.h"

#include "platform/session/bus_property.h"

namespace platform::session {

namespace {

constexpr unsigned kIdleInhibited = 8;

}  // namespace

IdleInhibitWatch::IdleInhibitWatch(QObject* parent)
    : QuietSource(parent),
      actions_(new BusProperty(
          QStringLiteral("org.gnome.SessionManager"), QStringLiteral("/org/gnome/SessionManager"),
          QStringLiteral("org.gnome.SessionManager"), QStringLiteral("InhibitedActions"), this)) {
    connect(actions_, &BusProperty::Changed, this, [this](const QVariant& value) {
        const bool quiet = (value.toUInt() & kIdleInhibited) != 0;  // none: not inhibited
        if (quiet != quiet_) {
            quiet_ = quiet;
            emit Changed();
        }
    });
}

QString IdleInhibitWatch::Reason() const {
    return quiet_ ? QStringLiteral("Quiet: a full-screen window") : QString();
}

void IdleInhibitWatch::Start() {
    actions_->Start();
}

}  // namespace platform::session
