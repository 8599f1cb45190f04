// A pause on request (kestrane --pause MINUTES, the session bus's Pause): the messages stay
// away until the time is up or the pause is ended early. The end is a moment of the wall
// clock, so that a machine that sleeps through it wakes up unpaused; the minutes left are told
// as they count down ("Paused for 12 more minutes").
#pragma once

#include "platform/session/quiet_hours.h"
#include "platform/session/quiet_source.h"

#include <QDateTime>
#include <QTimer>

namespace platform::session {

class PauseRequest : public QuietSource {
    Q_OBJECT
  public:
    // The longest pause taken: a day.
    static constexpr int kMostMinutes = 24 * 60;

    explicit PauseRequest(WallClock clock, QObject* parent = nullptr);

    QString Reason() const override { return reason_; }
    bool Paused() const { return !reason_.isEmpty(); }

    // Holds the messages for minutes (1 to kMostMinutes) from now, replacing a pause that
    // runs; false (and nothing changed) for another number.
    bool Pause(int minutes);
    // Ends a pause that runs.
    void End();

  private:
    void Check();

    WallClock clock_;
    QDateTime until_;  // invalid while not paused
    QString reason_;
    QTimer timer_;
};

}  // namespace platform::session
