#include "platform/session/quiet_source.h"

#include <gtest/gtest.h>

namespace platform::session {
namespace {

class StandIn : public QuietSource {
  public:
    QString Reason() const override { return reason; }
    void Say(const QString& text) {
        reason = text;
        emit Changed();
    }
    QString reason;
};

TEST(QuietSum, FirstEnabledSourceThatHoldsGivesTheReason) {
    StandIn lock, pause, hours;
    QuietSum sum;
    int changes = 0;
    QObject::connect(&sum, &QuietSum::Changed, [&] { ++changes; });
    sum.Add(&lock);
    sum.Add(&pause);
    sum.Add(&hours, false);
    EXPECT_FALSE(sum.Quiet());
    EXPECT_EQ(changes, 0);

    hours.Say("Quiet until 09:00");  // turned off: does not count
    EXPECT_FALSE(sum.Quiet());
    pause.Say("Paused for 12 more minutes");
    EXPECT_EQ(sum.Reason(), "Paused for 12 more minutes");
    lock.Say("Quiet: the screen is locked");  // the first source's reason wins
    EXPECT_EQ(sum.Reason(), "Quiet: the screen is locked");
    EXPECT_EQ(changes, 2);
    lock.Say("");
    pause.Say("");
    EXPECT_FALSE(sum.Quiet());
    sum.SetEnabled(&hours, true);  // turned on: its reason holds at once
    EXPECT_EQ(sum.Reason(), "Quiet until 09:00");
    sum.SetEnabled(&hours, false);
    EXPECT_FALSE(sum.Quiet());
    EXPECT_EQ(changes, 6);
}

}  // namespace
}  // namespace platform::session
