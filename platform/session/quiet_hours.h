// The user's hours: messages flash only on the chosen weekdays between two times of the day,
// by the local clock. A range whose end is not after its start runs past midnight (22:00 to
// 06:00 starts on a chosen day and ends the next morning); equal times make it a whole day
// from that time on.
//
// HoursWatch follows the local clock: it looks again at the next moment the answer changes,
// found in the local time zone (so a change of daylight saving time moves it as the clock
// does), and at least every 30 s, so that a clock that jumps (a machine waking from suspend,
// the time set by hand) is followed within that time.
#pragma once

#include "platform/session/quiet_source.h"

#include <QDateTime>
#include <QTimer>

#include <functional>

namespace platform::session {

struct Hours {
    unsigned days = 0x1F;   // bit 0 Monday ... bit 6 Sunday
    int from = 9 * 60;      // minutes after midnight, 0 to 1439
    int to = 17 * 60 + 30;  // minutes after midnight, 0 to 1439
    bool operator==(const Hours&) const = default;
};

struct HoursAnswer {
    bool inside = true;  // within the hours at that moment
    QDateTime next;      // the first later moment the answer changes; invalid when never
};

// Within the hours at `now` (a local date and time, in the zone it carries), and when that
// next changes.
HoursAnswer HoursAt(const QDateTime& now, const Hours& hours);

// What the user reads while outside the hours: "Quiet until 09:00" when the hours begin within
// a day, "Quiet until Mon 09:00" when later, "Quiet" when they never begin (no day chosen).
QString OutsideHoursReason(const QDateTime& now, const HoursAnswer& answer);

// The local time now; a test build can set it (see the program's start-up).
using WallClock = std::function<QDateTime()>;

class HoursWatch : public QuietSource {
    Q_OBJECT
  public:
    explicit HoursWatch(WallClock clock, QObject* parent = nullptr);

    void Start() override;
    QString Reason() const override { return reason_; }

    // The hours that count from now on.
    void SetHours(const Hours& hours);

  private:
    void Check();

    WallClock clock_;
    Hours hours_;
    bool started_ = false;
    QString reason_;
    QTimer timer_;
};

}  // namespace platform::session
