// The store's operations killed at many points. Each operation runs in a child process that is
// killed deterministically before each file-system step of the text layer (through its test
// seam) and at random moments; after every kill the files are checked:
//  - every file holds its old bytes or its new bytes (those of a complete run), never a mix;
//  - every listed category has its file, no category is listed twice, no message is cut;
//  - after the clean-up of the next start, again all of the above, and no file of a category
//    that is not listed blocks a name, no temporary file of ours is left, and the registry can
//    be written at once (a lock left by the killed process is taken over).
// Prints tried/survived/lost per operation. KESTRANE_CRASH_KILLS sets the random kills per
// operation (default 90).
#include "app/store/autostart.h"
#include "app/store/catalogue.h"
#include "app/store/category_file.h"
#include "app/store/category_name.h"
#include "app/store/options_file.h"
#include "app/store/selection_file.h"
#include "app/store/text_file.h"
#include "platform/dialogs/scripted_dialogs.h"
#include "platform/registry/registry.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using testsupport::WriteBytes;

namespace kestrane {
namespace {

using Files = std::map<std::string, std::string>;  // path under the scene -> bytes

const CategoryList kCatalogue = {{"Calm", true}, {"Focus", false}, {"Big", true}};

std::string Lines(const std::string& prefix, int count, const char* flag) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += prefix + " message number " + std::to_string(i) + flag + "\r\n";
    }
    return text;
}

// The initial state of every run: three categories, options, the autostart flag on, the Run
// value set, and a plain text file to import.
struct Scene {
    testsupport::TempDir dir;
    fs::path app = dir / "app";
    fs::path config = dir / "config";
    testsupport::ScopedEnv env{"XDG_CONFIG_HOME", config.string()};

    void Reset() {
        std::error_code ec;
        fs::remove_all(app, ec);
        fs::remove_all(config, ec);
        WriteBytes(app / "Images/SelectedPrograms.txt", "Calm;1\r\nFocus;0\r\nBig;1\r\n");
        WriteBytes(app / "Images/SelectedOptions.txt", FormatOptions(FlashOptions::Defaults()));
        WriteBytes(app / "Images/AutoStart.txt", "1\r\n");
        WriteBytes(app / "Data/Calm.txt", "be calm;1\r\nbreathe;0\r\nbe calm;0\r\n");
        WriteBytes(app / "Data/Focus.txt", "focus;1\r\n");
        static const std::string big = Lines("big", 3000, ";1");
        WriteBytes(app / "Data/Big.txt", big);
        WriteBytes(dir / "Health.txt", "calm\r\n\r\nstrong\r\n");
        platform::registry::RegWrite(kRunValuePath, RunValueData(app), "REG_SZ");
    }

    Files Take() const {
        Files files;
        for (const fs::path& top : {app, config}) {
            for (const auto& e : fs::recursive_directory_iterator(top)) {
                if (e.is_regular_file()) {
                    files[fs::relative(e.path(), dir.path()).string()] = ReadFileBytes(e.path());
                }
            }
        }
        return files;
    }
};

struct Operation {
    std::string name;
    std::function<void(const fs::path& app, const fs::path& dir)> run;
    bool registry = false;  // whether it writes the registry
};

class Check1 : public AutoStartCheckBox {
  public:
    bool IsTicked() const override { return ticked; }
    void SetTicked(bool t) override { ticked = t; }
    bool ticked = false;
};

std::vector<Operation> Operations() {
    std::vector<Operation> ops;
    ops.push_back({"save options", [](const fs::path& app, const fs::path&) {
                       FlashOptions o = FlashOptions::Defaults();
                       o.MsgOption = "Top Left";
                       o.SelFontSize = 22;
                       SaveOptions(app, o);
                   }});
    ops.push_back({"tick a category", [](const fs::path& app, const fs::path&) {
                       CategoryList c = kCatalogue;
                       c[1].ticked = true;
                       WriteSelectedPrograms(app, c, true);
                   }});
    ops.push_back({"check marks", [](const fs::path& app, const fs::path&) {
                       RewriteFromList(app, "Calm",
                                       {{"be calm", false}, {"breathe", true}, {"be calm", true}});
                   }});
    ops.push_back({"add message", [](const fs::path& app, const fs::path&) {
                       AppendMessage(app, "Calm", "a new message");
                   }});
    ops.push_back({"add large message", [](const fs::path& app, const fs::path&) {
                       AppendMessage(app, "Big", std::string(1 << 20, 'x'));
                   }});
    ops.push_back({"update message", [](const fs::path& app, const fs::path&) {
                       UpdateMessageText(app, "Calm", "be calm", "stay calm", kCatalogue);
                   }});
    ops.push_back({"delete message", [](const fs::path& app, const fs::path&) {
                       DeleteMessageText(app, "Calm", "be calm", kCatalogue);
                   }});
    ops.push_back({"create", [](const fs::path& app, const fs::path&) {
                       CreateCategory(app, kCatalogue, "Rest");
                   }});
    ops.push_back({"delete", [](const fs::path& app, const fs::path&) {
                       DeleteCategory(app, kCatalogue, 1);
                   }});
    ops.push_back({"rename", [](const fs::path& app, const fs::path&) {
                       RenameCategory(app, kCatalogue, 0, "Quiet");
                   }});
    ops.push_back({"import", [](const fs::path& app, const fs::path& dir) {
                       ImportCategory(app, kCatalogue, dir / "Health.txt", "Health.txt");
                   }});
    ops.push_back({"autostart off",
                   [](const fs::path& app, const fs::path&) {
                       Check1 box;
                       platform::ScriptedDialogs dialogs;
                       SetAutoStart(app, box, kCatalogue, dialogs);
                   },
                   /*registry=*/true});
    return ops;
}

// What the next start does before it reads anything.
void NextStart(const fs::path& app) {
    RemoveLeftovers(app);
    platform::registry::RemoveLeftovers();
}

bool IsOurTemporary(const std::string& file) {
    return file.rfind(".kestrane-", 0) == 0 || file.find(".txt.") != std::string::npos ||
           file.find(".desktop.") != std::string::npos;
}

// Broken invariants of the files now, against the files before and after a complete run.
std::vector<std::string> Broken(const Files& now, const Files& before, const Files& after,
                                bool afterStart) {
    std::vector<std::string> broken;
    auto bytes = [](const Files& f, const std::string& p) -> std::optional<std::string> {
        const auto it = f.find(p);
        return it == f.end() ? std::nullopt : std::optional(it->second);
    };
    std::map<std::string, int> paths;
    for (const Files* f : {&now, &before, &after}) {
        for (const auto& [p, b] : *f) {
            paths[p];
        }
    }
    for (const auto& [p, unused] : paths) {
        const std::string file = fs::path(p).filename().string();
        if (IsOurTemporary(file) || p.find("temp.txt") != std::string::npos) {
            if (afterStart && bytes(now, p) && IsOurTemporary(file) && !bytes(after, p)) {
                broken.push_back("left over: " + p);
            }
            continue;  // scratch files; the lock file is checked by writing the registry
        }
        const auto b = bytes(now, p);
        if (b != bytes(before, p) && b != bytes(after, p)) {
            broken.push_back("mixed bytes: " + p);
        }
    }
    const auto selection = bytes(now, "app/Images/SelectedPrograms.txt");
    const CategoryList listed = ParseSelection(selection.value_or(""));
    for (size_t i = 0; i < listed.size(); ++i) {
        const auto file = bytes(now, "app/Data/" + listed[i].name + ".txt");
        if (!file) {
            broken.push_back("listed without a file: " + listed[i].name);
        } else if (!file->empty() && file->substr(file->size() - 2) != "\r\n") {
            broken.push_back("cut message: " + listed[i].name);
        }
        for (size_t j = 0; j < i; ++j) {
            if (SameCategoryName(listed[i].name, listed[j].name)) {
                broken.push_back("listed twice: " + listed[i].name);
            }
        }
    }
    if (afterStart) {
        for (const auto& [p, b] : now) {
            const fs::path path(p);
            if (path.parent_path() != "app/Data" || path.extension() != ".txt" ||
                IsOurTemporary(path.filename().string())) {
                continue;
            }
            const std::string stem = path.stem().string();
            const bool ok = std::any_of(listed.begin(), listed.end(), [&](const CategoryEntry& e) {
                return e.name == stem || e.name + "temp" == stem;
            });
            if (!ok) {
                broken.push_back("unlisted file blocks a name: " + p);
            }
        }
    }
    return broken;
}

struct Tally {
    int tried = 0;
    int survived = 0;
    std::map<std::string, int> reasons;
};

// The scene lives in memory when it can (/dev/shm): flushing to a disk makes no difference to
// a killed process and would make every run slow.
std::string ScratchFolder() {
    std::error_code ec;
    if (fs::is_directory("/dev/shm", ec) && access("/dev/shm", W_OK) == 0) {
        return "/dev/shm";
    }
    return fs::temp_directory_path().string();
}

// A reason with the random part of a temporary file's name left out, so that kills add up.
std::string Generic(std::string reason) {
    const size_t at = reason.find(".kestrane-");
    if (at != std::string::npos) {
        reason.replace(at + 10, reason.find(".tmp", at) - at - 10, "*");
    }
    return reason;
}

class CrashTest : public ::testing::Test {
  protected:
    // Runs the operation in a child on a fresh scene. killAtStep >= 0 kills the child before
    // that step of the text layer; killAfter > 0 kills it after that time. Returns whether the
    // child was killed; fails the test when the operation itself failed.
    bool RunChild(const Operation& op, int killAtStep, std::chrono::nanoseconds killAfter) {
        scene.Reset();
        const pid_t pid = fork();
        if (pid == 0) {
            int step = 0;
            if (killAtStep >= 0) {
                SetFileStepHook([&](FileStep, const fs::path&) {
                    if (step++ == killAtStep) {
                        kill(getpid(), SIGKILL);
                    }
                    return 0;
                });
            }
            try {
                op.run(scene.app, scene.dir.path());
            } catch (const std::exception& e) {
                std::fprintf(stderr, "%s: %s\n", op.name.c_str(), e.what());
                _exit(2);
            }
            _exit(0);
        }
        if (killAfter.count() > 0) {
            std::this_thread::sleep_for(killAfter);
            kill(pid, SIGKILL);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (WIFEXITED(status)) {
            EXPECT_EQ(WEXITSTATUS(status), 0) << op.name << " failed without a kill";
        }
        return WIFSIGNALED(status);
    }

    // Checks the scene after a kill, then after the next start's clean-up.
    void Judge(const Operation& op, Tally& t) {
        std::vector<std::string> broken = Broken(scene.Take(), before_, after_, false);
        NextStart(scene.app);
        for (auto& b : Broken(scene.Take(), before_, after_, true)) {
            broken.push_back(b + " (after the next start)");
        }
        if (op.registry &&
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

    testsupport::ScopedEnv tmp_{"TMPDIR", ScratchFolder()};
    Scene scene;
    Files before_, after_;
};

TEST_F(CrashTest, EveryOperationLeavesWholeDataWhereverItIsKilled) {
    const char* env = std::getenv("KESTRANE_CRASH_KILLS");
    const int randomKills = env ? std::atoi(env) : 90;
    std::mt19937_64 random(std::random_device{}());
    int total = 0;
    for (const Operation& op : Operations()) {
        scene.Reset();
        before_ = scene.Take();
        // A complete run gives the new bytes and how long the operation takes.
        std::chrono::nanoseconds duration{0};
        for (int i = 0; i < 3; ++i) {
            const auto start = std::chrono::steady_clock::now();
            ASSERT_FALSE(RunChild(op, -1, {}));
            duration = std::max<std::chrono::nanoseconds>(duration,
                                                          std::chrono::steady_clock::now() - start);
        }
        after_ = scene.Take();
        ASSERT_NE(before_, after_) << op.name;

        Tally t;
        for (int step = 0; RunChild(op, step, {}); ++step) {
            Judge(op, t);
        }
        const int steps = t.tried;
        std::uniform_int_distribution<long long> moment(1, duration.count());
        for (int attempt = 0; attempt < randomKills * 10 && t.tried < steps + randomKills;
             ++attempt) {
            if (RunChild(op, -1, std::chrono::nanoseconds(moment(random)))) {
                Judge(op, t);
            }
        }
        std::printf("crash: %-18s tried %4d (%2d at steps), survived %4d, lost %4d\n",
                    op.name.c_str(), t.tried, steps, t.survived, t.tried - t.survived);
        for (const auto& [reason, count] : t.reasons) {
            std::printf("crash:     %4d x %s\n", count, reason.c_str());
        }
        EXPECT_EQ(t.tried, t.survived) << op.name;
        total += t.tried;
    }
    std::printf("crash: %d kills in all\n", total);
    EXPECT_GE(total, 1000);
}

}  // namespace
}  // namespace kestrane

// The store needs no application object; without one the process stays small and forks fast.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
