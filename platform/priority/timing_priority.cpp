#include "platform/priority/timing_priority.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QFileInfo>
#include <QVariant>

#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

#ifndef SCHED_RESET_ON_FORK
#define SCHED_RESET_ON_FORK 0x40000000
#endif

namespace platform::priority {
namespace {

// A low realtime priority: above every ordinary thread, below audio servers and the like.
constexpr int kRealtimePriority = 5;
constexpr int kRaisedNice = -10;

std::atomic<pid_t> g_realtimeThread{0};
int g_niceBefore = 0;
bool g_niceRaised = false;

pid_t ThreadId() {
    return static_cast<pid_t>(syscall(SYS_gettid));
}

// SIGXCPU: the realtime thread computed for longer than its budget without sleeping. It goes
// back to ordinary scheduling (a plain system call, safe in a signal handler).
void OnCpuBudgetSpent(int) {
    const pid_t tid = g_realtimeThread.exchange(0);
    if (tid != 0) {
        sched_param normal{};
        syscall(SYS_sched_setscheduler, tid, SCHED_OTHER, &normal);
    }
}

// The CPU-time limit of realtime threads: SIGXCPU at the budget, the process killed at twice
// that (never reached, since the handler ends realtime scheduling at the first signal).
bool LimitRealtimeCpu(std::uint64_t hardMaxUsec) {
    struct sigaction sa {};
    sa.sa_handler = OnCpuBudgetSpent;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    if (sigaction(SIGXCPU, &sa, nullptr) != 0) {
        return false;
    }
    const auto budget = static_cast<rlim_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(kRealtimeBudget).count());
    rlimit current{};
    getrlimit(RLIMIT_RTTIME, &current);
    rlimit wanted{budget, std::min<rlim_t>(2 * budget, static_cast<rlim_t>(hardMaxUsec))};
    if (current.rlim_max != RLIM_INFINITY && current.rlim_max < wanted.rlim_max) {
        wanted.rlim_max = current.rlim_max;
    }
    wanted.rlim_cur = std::min(wanted.rlim_cur, wanted.rlim_max);
    return setrlimit(RLIMIT_RTTIME, &wanted) == 0;
}

bool RealtimeOnOwn(pid_t tid) {
    sched_param param{};
    param.sched_priority = kRealtimePriority;
    return syscall(SYS_sched_setscheduler, tid, SCHED_RR | SCHED_RESET_ON_FORK, &param) == 0;
}

// RealtimeKit, where the desktop runs it; its answers come within a fraction of a second, and
// no system bus at all fails at once.
QDBusInterface* RealtimeKit() {
    // Without a system bus there is nobody to ask (and a failed connection costs memory that
    // the bus library keeps for good).
    const QByteArray address = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
    if (address.isEmpty() && !QFileInfo::exists(QStringLiteral("/run/dbus/system_bus_socket")) &&
        !QFileInfo::exists(QStringLiteral("/var/run/dbus/system_bus_socket"))) {
        return nullptr;
    }
    static QDBusInterface* kit = [] {
        auto* i = new QDBusInterface(QStringLiteral("org.freedesktop.RealtimeKit1"),
                                     QStringLiteral("/org/freedesktop/RealtimeKit1"),
                                     QStringLiteral("org.freedesktop.RealtimeKit1"),
                                     QDBusConnection::systemBus());
        i->setTimeout(500);
        return i;
    }();
    return kit->isValid() ? kit : nullptr;
}

bool RealtimeThroughKit(pid_t tid) {
    QDBusInterface* kit = RealtimeKit();
    if (kit == nullptr) {
        return false;
    }
    const QVariant maxPriority = kit->property("MaxRealtimePriority");
    const QVariant maxRtTime = kit->property("RTTimeUSecMax");
    if (!maxPriority.isValid() || maxPriority.toInt() < 1 ||
        !LimitRealtimeCpu(maxRtTime.isValid() ? maxRtTime.toULongLong() : 200000)) {
        return false;
    }
    const QDBusReply<void> reply =
        kit->call(QStringLiteral("MakeThreadRealtime"), static_cast<qulonglong>(tid),
                  static_cast<uint>(std::min(kRealtimePriority, maxPriority.toInt())));
    return reply.isValid();
}

bool RaiseNice(pid_t tid) {
    errno = 0;
    const int before = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
    if (errno != 0) {
        return false;
    }
    // RLIMIT_NICE allows nice values down to 20 - its soft limit.
    rlimit nice{};
    getrlimit(RLIMIT_NICE, &nice);
    const int floor = nice.rlim_cur == RLIM_INFINITY ? -20 : 20 - static_cast<int>(nice.rlim_cur);
    const int target = std::max(kRaisedNice, floor);
    bool raised = target < before && setpriority(PRIO_PROCESS, static_cast<id_t>(tid), target) == 0;
    if (!raised && target >= before) {
        if (QDBusInterface* kit = RealtimeKit()) {
            raised = QDBusReply<void>(kit->call(QStringLiteral("MakeThreadHighPriority"),
                                                static_cast<qulonglong>(tid), kRaisedNice))
                         .isValid();
        }
    }
    if (raised) {
        g_niceBefore = before;
        g_niceRaised = true;
    }
    return raised;
}

}  // namespace

Granted RaiseForTiming() {
    const pid_t tid = ThreadId();
    if (IsRealtime()) {
        return Granted::Realtime;
    }
    // The limit first: a thread must never be realtime without it.
    if (LimitRealtimeCpu(2 * 100000) && RealtimeOnOwn(tid)) {
        g_realtimeThread = tid;
        return Granted::Realtime;
    }
    if (RealtimeThroughKit(tid)) {
        g_realtimeThread = tid;
        return Granted::Realtime;
    }
    return g_niceRaised || RaiseNice(tid) ? Granted::Nice : Granted::None;
}

void RestoreNormal() {
    const pid_t tid = ThreadId();
    if (g_realtimeThread.exchange(0) == tid || IsRealtime()) {
        sched_param normal{};
        syscall(SYS_sched_setscheduler, tid, SCHED_OTHER, &normal);
    }
    if (g_niceRaised) {
        setpriority(PRIO_PROCESS, static_cast<id_t>(tid), g_niceBefore);
        g_niceRaised = false;
    }
}

bool IsRealtime() {
    const int policy = static_cast<int>(syscall(SYS_sched_getscheduler, ThreadId()));
    return policy >= 0 && (policy & ~SCHED_RESET_ON_FORK) != SCHED_OTHER &&
           (policy & ~SCHED_RESET_ON_FORK) != SCHED_BATCH &&
           (policy & ~SCHED_RESET_ON_FORK) != SCHED_IDLE;
}

std::string Describe(Granted granted) {
    switch (granted) {
        case Granted::Realtime:
            return "realtime";
        case Granted::Nice:
            return "raised priority";
        case Granted::None:
            break;
    }
    return "ordinary priority";
}

}  // namespace platform::priority
