#include "platform/session/quiet_hours.h"

#include <QTimeZone>

#include <gtest/gtest.h>

namespace platform::session {
namespace {

const QTimeZone kBerlin("Europe/Berlin");

QDateTime Berlin(int y, int mo, int d, int h, int mi) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi), kBerlin);
}

// 2026-12-07 is a Monday.
TEST(QuietHours, WeekdaysAndTheirEdges) {
    const Hours work{0x1F, 9 * 60, 17 * 60 + 30};  // Monday to Friday, 09:00 to 17:30

    HoursAnswer a = HoursAt(Berlin(2026, 12, 7, 8, 59), work);
    EXPECT_FALSE(a.inside);
    EXPECT_EQ(a.next, Berlin(2026, 12, 7, 9, 0));
    EXPECT_EQ(OutsideHoursReason(Berlin(2026, 12, 7, 8, 59), a), "Quiet until 09:00");

    a = HoursAt(Berlin(2026, 12, 7, 9, 0), work);  // the start belongs to the hours
    EXPECT_TRUE(a.inside);
    EXPECT_EQ(a.next, Berlin(2026, 12, 7, 17, 30));

    a = HoursAt(Berlin(2026, 12, 7, 17, 30), work);  // the end does not
    EXPECT_FALSE(a.inside);
    EXPECT_EQ(a.next, Berlin(2026, 12, 8, 9, 0));
    EXPECT_EQ(OutsideHoursReason(Berlin(2026, 12, 7, 17, 30), a), "Quiet until 09:00");

    // Friday evening: quiet over the weekend, until Monday morning.
    a = HoursAt(Berlin(2026, 12, 11, 17, 45), work);
    EXPECT_FALSE(a.inside);
    EXPECT_EQ(a.next, Berlin(2026, 12, 14, 9, 0));
    EXPECT_EQ(OutsideHoursReason(Berlin(2026, 12, 11, 17, 45), a), "Quiet until Mon 09:00");
    EXPECT_FALSE(HoursAt(Berlin(2026, 12, 13, 12, 0), work).inside);  // Sunday noon

    // No day chosen: never; every day, equal times: always.
    a = HoursAt(Berlin(2026, 12, 7, 12, 0), Hours{0, 540, 1050});
    EXPECT_FALSE(a.inside);
    EXPECT_FALSE(a.next.isValid());
    EXPECT_EQ(OutsideHoursReason(Berlin(2026, 12, 7, 12, 0), a), "Quiet");
    a = HoursAt(Berlin(2026, 12, 7, 12, 0), Hours{0x7F, 0, 0});
    EXPECT_TRUE(a.inside);
    EXPECT_FALSE(a.next.isValid());
}

TEST(QuietHours, PastMidnight) {
    const Hours night{1U << 4, 22 * 60, 6 * 60};  // Friday 22:00 to Saturday 06:00

    EXPECT_FALSE(HoursAt(Berlin(2026, 12, 11, 21, 59), night).inside);
    HoursAnswer a = HoursAt(Berlin(2026, 12, 11, 23, 0), night);
    EXPECT_TRUE(a.inside);
    EXPECT_EQ(a.next, Berlin(2026, 12, 12, 6, 0));
    // Saturday early morning is still Friday's night, Saturday night is not one.
    EXPECT_TRUE(HoursAt(Berlin(2026, 12, 12, 5, 59), night).inside);
    a = HoursAt(Berlin(2026, 12, 12, 6, 0), night);
    EXPECT_FALSE(a.inside);
    EXPECT_EQ(a.next, Berlin(2026, 12, 18, 22, 0));
    EXPECT_FALSE(HoursAt(Berlin(2026, 12, 12, 23, 0), night).inside);
    // Friday just after midnight belongs to Thursday's night, which is not chosen.
    EXPECT_FALSE(HoursAt(Berlin(2026, 12, 11, 1, 0), night).inside);

    // Ending at midnight.
    const Hours evening{0x7F, 18 * 60, 0};
    EXPECT_TRUE(HoursAt(Berlin(2026, 12, 7, 23, 59), evening).inside);
    EXPECT_EQ(HoursAt(Berlin(2026, 12, 7, 23, 59), evening).next, Berlin(2026, 12, 8, 0, 0));
    EXPECT_FALSE(HoursAt(Berlin(2026, 12, 8, 0, 0), evening).inside);
}

TEST(QuietHours, DaylightSavingChanges) {
    const Hours early{0x7F, 2 * 60 + 30, 8 * 60};  // every day, 02:30 to 08:00

    // Spring: 2027-03-28 02:00 becomes 03:00, so 02:30 never comes that day: the hours begin
    // as the gap ends, at 03:00 summer time (01:00 UTC), not a day later.
    HoursAnswer a = HoursAt(Berlin(2027, 3, 28, 1, 50), early);
    EXPECT_FALSE(a.inside);
    EXPECT_EQ(a.next.toUTC(), QDateTime(QDate(2027, 3, 28), QTime(1, 0), Qt::UTC));
    EXPECT_TRUE(HoursAt(a.next, early).inside);
    // The end comes at 08:00 summer time: 06:00 UTC.
    a = HoursAt(Berlin(2027, 3, 28, 7, 0), early);
    EXPECT_TRUE(a.inside);
    EXPECT_EQ(a.next.toUTC(), QDateTime(QDate(2027, 3, 28), QTime(6, 0), Qt::UTC));

    // Autumn: 2026-10-25 03:00 summer time becomes 02:00 again; the hours end at 08:00 winter
    // time (07:00 UTC), 24 hours plus one after the day before's 08:00.
    a = HoursAt(Berlin(2026, 10, 25, 7, 0), early);
    EXPECT_TRUE(a.inside);
    EXPECT_EQ(a.next.toUTC(), QDateTime(QDate(2026, 10, 25), QTime(7, 0), Qt::UTC));
    const Hours evening{0x7F, 20 * 60, 8 * 60};
    a = HoursAt(Berlin(2026, 10, 24, 21, 0), evening);
    EXPECT_TRUE(a.inside);
    EXPECT_EQ(Berlin(2026, 10, 24, 21, 0).secsTo(a.next), 12 * 3600);  // 11 h by the clock
}

}  // namespace
}  // namespace platform::session
