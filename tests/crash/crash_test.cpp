// The store's operations killed at many points. Each operation runs in a child process that
// holds the data folder's single-instance lock, as the program does, and is killed
// deterministically before each file-system step of the text layer (through its test seam) and
// at a fixed number of random moments, however many runs that takes. After a kill at a step,
// the next start's clean-up is killed in turn before each of its own steps; and a second start
// of the program (from another environment) is made while the operation waits before each of
// its steps, after which the operation must still complete as if alone. After every kill the
// files are checked:
//  - every file holds its old bytes or its new bytes (those of a complete run), never a mix;
//  - every listed category has its file, no category is listed twice, no message is cut;
//  - after the clean-up of the next start, again all of the above, and no file of a category
//    that is not listed blocks a name, no temporary file of ours is left, and the registry can
//    be written at once (a lock left by the killed process is taken over).
// Prints tried/survived/lost per operation. KESTRANE_CRASH_KILLS sets the random kills per
// operation (default 90).
#include "tests/crash/crash_scene.h"

#include "app/app_folder.h"
#include "app/store/text_file.h"
#include "platform/instance/instance_lock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <random>
#include <sstream>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

namespace kestrane::crash {
namespace {

struct Tally {
    int tried = 0;
    int atSteps = 0;    // of those tried, the kills before a step of the text layer
    int atRestart = 0;  // the kills of the next start before one of its steps
    int seconds = 0;    // the second starts made before a step (no kill)
    int survived = 0;
    std::map<std::string, int> reasons;
};

// The trials of one operation, on a scene of their own.
class Trials {
  public:
    explicit Trials(const Operation& op) : op_(op) {}

    // Runs every trial and returns the tally; a failure of the harness itself (an operation
    // that fails without a kill, one that changes nothing) is counted as a loss with its reason.
    Tally Run(int randomKills, std::uint64_t seed) {
        Tally t;
        scene_.Reset(true, op_.noSelection);
        before_ = scene_.Take();
        // A complete run gives the new bytes and how long the operation takes.
        std::chrono::nanoseconds duration{1};
        for (int i = 0; i < 3; ++i) {
            const Child run = RunChild(Stop::None, -1, {}, t);
            duration = std::max(duration, run.took);
        }
        after_ = scene_.Take();
        if (before_ == after_) {
            ++t.tried;
            ++t.reasons["a complete run changes nothing"];
            return t;
        }
        for (int step = 0; RunChild(Stop::Kill, step, {}, t).killed; ++step) {
            const Files killed = scene_.Take();
            Judge(t);
            ++t.atSteps;
            // The next start killed before each of its own steps, then started again.
            for (int restartStep = 0;; ++restartStep) {
                scene_.Restore(killed);
                if (!RunRestart(restartStep, t)) {
                    break;
                }
                Judge(t);
                ++t.atRestart;
            }
            // A second start while the operation waits before this step: the operation goes
            // on and completes as if alone.
            if (RunChild(Stop::SecondStart, step, {}, t).exitedCleanly) {
                std::vector<std::string> broken;
                const Files now = scene_.Take();
                for (const auto& [p, b] : after_) {
                    const std::string file = fs::path(p).filename().string();
                    const auto it = now.find(p);
                    if (!IsOurTemporary(file) && p.find("temp.txt") == std::string::npos &&
                        (it == now.end() || it->second != b)) {
                        broken.push_back("a second start changed the outcome: " + p);
                    }
                }
                Judge(t, std::move(broken));
                ++t.seconds;
            }
        }
        // A fixed number of kills at random moments of the operation, however many runs that
        // takes: a run that ends before its kill narrows the moments to its own length, so a
        // busy machine needs more runs, not fewer kills.
        std::mt19937_64 random(seed);
        const int wanted = t.tried + randomKills;
        for (int attempt = 0; t.tried < wanted; ++attempt) {
            if (attempt >= randomKills * 200) {
                t.tried = wanted;
                ++t.reasons["random kills that never landed"];
                break;
            }
            std::uniform_int_distribution<long long> moment(1, duration.count());
            const Child run = RunChild(Stop::None, -1, std::chrono::nanoseconds(moment(random)), t);
            if (run.killed) {
                Judge(t);
            } else if (run.exitedCleanly) {
                duration = std::max(std::chrono::nanoseconds(1), run.took);
            }
        }
        return t;
    }

  private:
    struct Child {
        bool killed = false;
        bool exitedCleanly = false;
        std::chrono::nanoseconds took{0};  // from the start of the operation to the child's end
    };

    // What the child does before the step it is given: nothing, die, or wait for a second
    // start of the program to be made.
    enum class Stop { None, Kill, SecondStart };

    // The hook that stops a child before a step of the text layer.
    static void StopBefore(int atStep, const std::function<void()>& stop) {
        auto step = std::make_shared<int>(0);
        SetFileStepHook([step, atStep, stop](FileStep, const fs::path&) {
            if ((*step)++ == atStep) {
                stop();
            }
            return 0;
        });
    }

    // Runs the operation in a child on a fresh scene, holding the data's lock as the program
    // does. Stop::Kill kills the child before step atStep of the text layer; Stop::SecondStart
    // makes it wait there while another start of the program is made; killAfter > 0 kills it
    // that long after the operation began (the child says when it begins, so the time a fork
    // takes does not count).
    Child RunChild(Stop stop, int atStep, std::chrono::nanoseconds killAfter, Tally& t) {
        scene_.Reset(op_.registry, op_.noSelection);
        int begun[2], paused[2], resume[2];
        if (pipe(begun) != 0 || pipe(paused) != 0 || pipe(resume) != 0) {
            ++t.reasons["no pipe"];
            return {};
        }
        const pid_t pid = fork();
        if (pid == 0) {
            close(begun[0]);
            close(paused[0]);
            close(resume[1]);
            platform::instance::InstanceLock lock(InstanceLockFolder(scene_.app));
            if (!lock.TryAcquire() || !lock.Held()) {
                _exit(3);
            }
            if (stop == Stop::Kill) {
                StopBefore(atStep, [] { kill(getpid(), SIGKILL); });
            } else if (stop == Stop::SecondStart) {
                StopBefore(atStep, [&] {
                    char c = 1;
                    (void)!write(paused[1], &c, 1);
                    (void)!read(resume[0], &c, 1);
                });
            }
            const char go = 1;
            (void)!write(begun[1], &go, 1);
            try {
                op_.run(scene_.app, scene_.dir.path());
            } catch (const std::exception& e) {
                std::fprintf(stderr, "crash: %s: %s\n", op_.name.c_str(), e.what());
                _exit(2);
            }
            _exit(0);
        }
        close(begun[1]);
        close(paused[1]);
        close(resume[0]);
        char go = 0;
        (void)!read(begun[0], &go, 1);
        close(begun[0]);
        const auto start = std::chrono::steady_clock::now();
        if (killAfter.count() > 0) {
            std::this_thread::sleep_for(killAfter);
            kill(pid, SIGKILL);
        }
        char c = 0;
        if (stop == Stop::SecondStart && read(paused[0], &c, 1) == 1) {
            SecondStart(t);
            (void)!write(resume[1], &c, 1);
        }
        close(paused[0]);
        close(resume[1]);
        int status = 0;
        waitpid(pid, &status, 0);
        const bool clean = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (WIFEXITED(status) && !clean) {
            ++t.tried;
            ++t.reasons[WEXITSTATUS(status) == 3 ? "the lock was not free"
                                                 : "failed without a kill"];
        }
        return {WIFSIGNALED(status), clean, std::chrono::steady_clock::now() - start};
    }

    // Another start of the program on the same data, from another environment (another
    // runtime folder), in a process of its own, to its end.
    void SecondStart(Tally& t) {
        const pid_t pid = fork();
        if (pid == 0) {
            {
                testsupport::TempDir runtime;
                testsupport::ScopedEnv env("XDG_RUNTIME_DIR", runtime.path().string());
                NextStart(scene_.app, op_.registry);
            }
            _exit(0);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            ++t.reasons["the second start failed"];
        }
    }

    // The next start in a child killed before its step atStep; false when it ran to its end.
    bool RunRestart(int atStep, Tally& t) {
        const pid_t pid = fork();
        if (pid == 0) {
            StopBefore(atStep, [] { kill(getpid(), SIGKILL); });
            NextStart(scene_.app, op_.registry);
            _exit(0);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
            ++t.reasons["the next start failed"];
        }
        return WIFSIGNALED(status);
    }

    // Checks the scene after a kill, then after the next start's clean-up.
    void Judge(Tally& t, std::vector<std::string> broken = {}) {
        for (auto& b : Broken(scene_.Take(), before_, after_, false)) {
            broken.push_back(b);
        }
        if (!NextStart(scene_.app, op_.registry)) {
            broken.push_back("the next start found the lock taken");
        }
        for (auto& b : Broken(scene_.Take(), before_, after_, true)) {
            broken.push_back(b + " (after the next start)");
        }
        if (op_.registry &&
            !platform::registry::RegWrite("HKCU\\Software\\kestrane\\probe", "x", "REG_SZ")) {
            broken.push_back("registry locked");
        }
        ++t.tried;
        if (broken.empty()) {
            ++t.survived;
        }
        for (const auto& b : broken) {
            ++t.reasons[Generic(b)];
        }
    }

    const Operation& op_;
    Scene scene_;
    Files before_, after_;
};

// The tally as lines for a pipe, and back.
std::string Encode(const Tally& t) {
    std::string out = std::to_string(t.tried) + " " + std::to_string(t.atSteps) + " " +
                      std::to_string(t.atRestart) + " " + std::to_string(t.seconds) + " " +
                      std::to_string(t.survived) + "\n";
    for (const auto& [reason, count] : t.reasons) {
        out += std::to_string(count) + " " + reason + "\n";
    }
    return out;
}

Tally Decode(const std::string& text) {
    Tally t;
    std::istringstream in(text);
    in >> t.tried >> t.atSteps >> t.atRestart >> t.seconds >> t.survived;
    int count = 0;
    std::string reason;
    while (in >> count && std::getline(in >> std::ws, reason)) {
        t.reasons[reason] = count;
    }
    return t;
}

std::string ReadAll(int fd) {
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<size_t>(n));
    }
    return text;
}

TEST(CrashTest, EveryOperationLeavesWholeDataWhereverItIsKilled) {
    testsupport::ScopedEnv scratch("TMPDIR", ScratchFolder());
    const char* env = std::getenv("KESTRANE_CRASH_KILLS");
    const int randomKills = env ? std::atoi(env) : 90;
    const std::vector<Operation> ops = Operations();
    const std::uint64_t seed = std::random_device{}();
    std::printf("crash: seed %llu\n", static_cast<unsigned long long>(seed));

    // Each operation's trials run in a worker process of their own, as many at a time as there
    // are processors; the workers report their tallies through pipes.
    const size_t parallel = std::max(2u, std::thread::hardware_concurrency());
    std::vector<Tally> tallies(ops.size());
    std::vector<std::pair<pid_t, int>> running(ops.size(), {-1, -1});
    auto collect = [&](size_t i) {
        tallies[i] = Decode(ReadAll(running[i].second));
        close(running[i].second);
        waitpid(running[i].first, nullptr, 0);
    };
    for (size_t i = 0; i < ops.size(); ++i) {
        if (i >= parallel) {
            collect(i - parallel);
        }
        int result[2];
        ASSERT_EQ(pipe(result), 0);
        const pid_t worker = fork();
        ASSERT_GE(worker, 0);
        if (worker == 0) {
            close(result[0]);
            std::string text;
            {
                Trials trials(ops[i]);  // its scene goes with it
                text = Encode(trials.Run(randomKills, seed + i));
            }
            (void)!write(result[1], text.data(), text.size());
            _exit(0);
        }
        close(result[1]);
        running[i] = {worker, result[0]};
    }
    for (size_t i = ops.size() > parallel ? ops.size() - parallel : 0; i < ops.size(); ++i) {
        collect(i);
    }

    int total = 0;
    for (size_t i = 0; i < ops.size(); ++i) {
        const Tally& t = tallies[i];
        std::printf(
            "crash: %-18s tried %4d (%2d at steps, %2d at restart steps, %2d second "
            "starts, %3d at random), survived %4d, lost %4d\n",
            ops[i].name.c_str(), t.tried, t.atSteps, t.atRestart, t.seconds,
            t.tried - t.atSteps - t.atRestart - t.seconds, t.survived, t.tried - t.survived);
        for (const auto& [reason, count] : t.reasons) {
            std::printf("crash:     %4d x %s\n", count, reason.c_str());
        }
        EXPECT_GT(t.atSteps, 0) << ops[i].name;
        EXPECT_GT(t.seconds, 0) << ops[i].name;
        EXPECT_EQ(t.tried - t.atSteps - t.atRestart - t.seconds, randomKills) << ops[i].name;
        EXPECT_EQ(t.tried, t.survived) << ops[i].name;
        EXPECT_TRUE(t.reasons.empty()) << ops[i].name;
        total += t.tried - t.seconds;
    }
    std::printf("crash: %d kills in all\n", total);
}

}  // namespace
}  // namespace kestrane::crash

// The test forks a child for every kill, and a fork copies the parent's page tables: under
// AddressSanitizer a small quarantine of freed memory, and no filling of new blocks, keep the
// parent small and every fork quick. (Options given in ASAN_OPTIONS still win.)
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=4:max_malloc_fill_size=0";
}
#endif

// The store needs no application object; without one the process stays small and forks fast.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
