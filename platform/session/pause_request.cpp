#include "platform/session/pause_request.h"

#include <algorithm>

namespace platform::session {

namespace {

constexpr qint64 kMinuteMs = 60000;
constexpr qint64 kLongestWaitMs = 30000;  // a clock that jumps is followed within this

}  // namespace

PauseRequest::PauseRequest(WallClock clock, QObject* parent)
    : QuietSource(parent), clock_(std::move(clock)) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &PauseRequest::Check);
}

bool PauseRequest::Pause(int minutes) {
    if (minutes < 1 || minutes > kMostMinutes) {
        return false;
    }
    until_ = clock_().addSecs(qint64(minutes) * 60);
    Check();
    return true;
}

void PauseRequest::End() {
    until_ = QDateTime();
    Check();
}

void PauseRequest::Check() {
    QString reason;
    const qint64 left = until_.isValid() ? clock_().msecsTo(until_) : 0;
    if (left > 0) {
        const qint64 minutes = (left + kMinuteMs - 1) / kMinuteMs;
        reason = minutes == 1 ? QStringLiteral("Paused for 1 more minute")
                              : QStringLiteral("Paused for %1 more minutes").arg(minutes);
        // Looked at again when the minutes left drop by one (or the pause ends).
        const qint64 toNextMinute = left - (minutes - 1) * kMinuteMs;
        timer_.start(static_cast<int>(std::clamp<qint64>(toNextMinute + 1, 1, kLongestWaitMs)));
    } else {
        until_ = QDateTime();
        timer_.stop();
    }
    if (reason != reason_) {
        reason_ = reason;
        emit Changed();
    }
}

}  // namespace platform::session
