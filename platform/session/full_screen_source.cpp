#include "platform/session/full_screen_source.h"

namespace platform::session {

FullScreenSource::FullScreenSource(std::function<bool(QScreen*)> counts, QObject* parent)
    : QuietSource(parent), counts_(std::move(counts)) {}

QString FullScreenSource::Reason() const {
    return quiet_ ? QStringLiteral("Quiet: a full-screen window") : QString();
}

void FullScreenSource::SetScreen(QScreen* screen) {
    const bool moved = screen != screen_;
    screen_ = screen;
    const bool before = quiet_;
    Recheck();
    if (moved && quiet_ == before) {
        emit Changed();  // the same answer, but for another screen
    }
}

void FullScreenSource::Recheck() {
    const bool quiet = screen_ != nullptr && (!counts_ || counts_(screen_));
    if (quiet != quiet_) {
        quiet_ = quiet;
        emit Changed();
    }
}

}  // namespace platform::session
