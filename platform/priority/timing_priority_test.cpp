// The timing thread's scheduling: realtime where the limits allow it (as root they do), never
// inherited by a child process, given back on request, and dropped by itself when the thread
// computes past its budget instead of the process being killed.
#include "platform/priority/timing_priority.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

namespace platform::priority {
namespace {

bool MayBeRealtime() {
    rlimit rt{};
    getrlimit(RLIMIT_RTPRIO, &rt);
    return geteuid() == 0 || rt.rlim_cur > 0;
}

TEST(TimingPriority, RealtimeIsGrantedNotInheritedAndGivenBack) {
    if (!MayBeRealtime()) {
        GTEST_SKIP() << "no realtime priority allowed here (not root, RLIMIT_RTPRIO 0)";
    }
    ASSERT_EQ(RaiseForTiming(), Granted::Realtime);
    EXPECT_TRUE(IsRealtime());
    rlimit budget{};
    getrlimit(RLIMIT_RTTIME, &budget);
    EXPECT_NE(budget.rlim_cur, RLIM_INFINITY) << "realtime without a CPU-time limit";

    const pid_t child = fork();
    if (child == 0) {
        _exit(IsRealtime() ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child was realtime";

    RestoreNormal();
    EXPECT_FALSE(IsRealtime());
    EXPECT_EQ(Describe(Granted::Realtime), "realtime");
}

TEST(TimingPriority, AThreadThatComputesPastItsBudgetFallsBackInsteadOfBeingKilled) {
    if (!MayBeRealtime()) {
        GTEST_SKIP() << "no realtime priority allowed here (not root, RLIMIT_RTPRIO 0)";
    }
    ASSERT_EQ(RaiseForTiming(), Granted::Realtime);
    // Busy without sleeping for up to ten budgets: the hard limit (two budgets) would kill the
    // process if the thread stayed realtime.
    const auto end = std::chrono::steady_clock::now() + 10 * kRealtimeBudget;
    volatile unsigned long spins = 0;
    while (IsRealtime() && std::chrono::steady_clock::now() < end) {
        spins = spins + 1;
    }
    EXPECT_FALSE(IsRealtime()) << "still realtime after " << spins << " spins";
    RestoreNormal();
    // Granted again afterwards.
    EXPECT_EQ(RaiseForTiming(), Granted::Realtime);
    RestoreNormal();
}

}  // namespace
}  // namespace platform::priority
