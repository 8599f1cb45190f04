// The scheduling of a thread whose timing the user sees (the flash window's timer runs on the
// user-interface thread). On a busy machine an ordinary thread wakes up milliseconds late; a
// realtime one (SCHED_RR) does not. Asked for in this order, whichever is granted first:
//   1. realtime through the process's own limits (RLIMIT_RTPRIO, or the capability root has);
//   2. realtime through the desktop's RealtimeKit service (org.freedesktop.RealtimeKit1 on the
//      system bus), which grants it to ordinary users' threads under a CPU-time limit;
//   3. a raised priority (a lower nice value) within RLIMIT_NICE, or through RealtimeKit;
//   4. nothing: refusals are normal and never an error.
// A realtime thread that computes without sleeping for longer than kRealtimeBudget (the
// process's RLIMIT_RTTIME, which RealtimeKit requires) falls back to ordinary scheduling by
// itself, from the SIGXCPU the system sends then, so a long piece of work in the same thread
// can neither freeze the desktop nor get the process killed at the hard limit. Processes
// started by this one never inherit realtime scheduling (SCHED_RESET_ON_FORK).
#pragma once

#include <chrono>
#include <string>

namespace platform::priority {

enum class Granted { None, Nice, Realtime };

inline constexpr std::chrono::milliseconds kRealtimeBudget{100};

// Raises the calling thread's scheduling as far as it is allowed; returns what it got.
Granted RaiseForTiming();
// Gives the calling thread the scheduling it had before RaiseForTiming.
void RestoreNormal();
// Whether the calling thread is realtime now.
bool IsRealtime();
// "realtime", "raised priority" or "ordinary priority".
std::string Describe(Granted granted);

}  // namespace platform::priority
