// Load for the flash benchmark: every core kept busy by processes of its own, and a process's
// threads scheduled as realtime.
#pragma once

#include <dirent.h>
#include <sched.h>
#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace flashbench {

// Every core kept busy by processes of its own, as long as the object lives: a compile, a game
// or a video beside the flash. A build started from a terminal, or a program a desktop starts,
// runs in a session (or a control group) of its own, which the kernel's scheduler weighs as one
// against the display server's and the program's; with sameSession the load runs in theirs
// and competes with each of them process by process.
class BusyCores {
  public:
    BusyCores(int n, bool sameSession) {
        for (int i = 0; i < n; ++i) {
            const pid_t pid = fork();
            if (pid == 0) {
                if (!sameSession) {
                    setsid();
                }
                volatile unsigned long spin = 0;
                for (;;) {
                    spin = spin + 1;
                }
            }
            if (pid > 0) {
                pids_.push_back(pid);
            }
        }
    }
    ~BusyCores() {
        for (pid_t pid : pids_) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    BusyCores(const BusyCores&) = delete;
    BusyCores& operator=(const BusyCores&) = delete;

  private:
    std::vector<pid_t> pids_;
};

// Sets every thread of the process pid to realtime (FIFO, reset for its children) or back to
// ordinary scheduling; false when the system refuses.
inline bool SetRealtime(pid_t pid, bool on) {
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR* dir = opendir(tasks.c_str());
    if (!dir) {
        return false;
    }
    bool ok = true;
    while (const dirent* e = readdir(dir)) {
        const int tid = std::atoi(e->d_name);
        if (tid <= 0) {
            continue;
        }
        sched_param param{};
        param.sched_priority = on ? 10 : 0;
        const int policy = on ? (SCHED_FIFO | SCHED_RESET_ON_FORK) : SCHED_OTHER;
        ok = sched_setscheduler(tid, policy, &param) == 0 && ok;
    }
    closedir(dir);
    return ok;
}

}  // namespace flashbench
