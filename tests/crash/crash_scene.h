// The scene of the crash test: the files every trial starts from, the store's operations that
// are killed, what the next start does, and the invariants the files must keep.
#pragma once

#include "app/store/autostart.h"
#include "app/store/options_file.h"
#include "app/store/text_file.h"
#include "platform/registry/registry.h"
#include "tests/support/test_support.h"

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kestrane::crash {

namespace fs = std::filesystem;
using testsupport::WriteBytes;

using Files = std::map<std::string, std::string>;  // path under the scene -> bytes

// The lines of a category with count messages.
std::string Lines(const std::string& prefix, int count, const char* flag);

// The initial state of every run: three categories, options, the autostart flag on, the Run
// value set, and a plain text file to import.
struct Scene {
    testsupport::TempDir dir;
    fs::path app = dir / "app";
    fs::path config = dir / "config";
    testsupport::ScopedEnv env{"XDG_CONFIG_HOME", config.string()};
    // Never the user's own per-user folder, should the scene not pass for a program folder.
    testsupport::ScopedEnv dataHome{"XDG_DATA_HOME", (dir / "data").string()};

    // The initial state again; the registry too when the operation writes it (or it is new).
    void Reset(bool registry, bool noSelection) {
        std::error_code ec;
        fs::remove_all(app, ec);
        if (registry) {
            fs::remove_all(config, ec);
        }
        if (!noSelection) {
            WriteBytes(app / "Images/SelectedPrograms.txt", "Calm;1\r\nFocus;0\r\nBig;1\r\n");
        }
        WriteBytes(app / "Images/SelectedOptions.txt", FormatOptions(FlashOptions::Defaults()));
        WriteBytes(app / "Images/AutoStart.txt", "1\r\n");
        WriteBytes(app / "Data/Calm.txt", "be calm;1\r\nbreathe;0\r\nbe calm;0\r\n");
        WriteBytes(app / "Data/Focus.txt", "focus;1\r\n");
        static const std::string big = Lines("big", 1000, ";1");
        WriteBytes(app / "Data/Big.txt", big);
        WriteBytes(dir / "Health.txt", "calm\r\n\r\nstrong\r\n");
        if (registry || !fs::exists(config, ec)) {
            platform::registry::RegWrite(kRunValuePath, RunValueData(app), "REG_SZ");
        }
    }

    // Puts the files taken before back, and only those.
    void Restore(const Files& files) {
        std::error_code ec;
        fs::remove_all(app, ec);
        fs::remove_all(config, ec);
        for (const auto& [p, bytes] : files) {
            WriteBytes(dir / p, bytes);
        }
    }

    Files Take() const {
        Files files;
        for (const fs::path& top : {app, config}) {
            std::error_code ec;
            if (!fs::exists(top, ec)) {
                continue;
            }
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
    bool registry = false;     // whether it writes the registry
    bool noSelection = false;  // whether it starts without a selection file
};

std::vector<Operation> Operations();

// What the next start does before it reads anything: it takes the data folder's lock and,
// holding it, tidies up (the registry's part only where the operation writes the registry:
// nothing else touches it). Returns whether it held the lock.
bool NextStart(const fs::path& app, bool registry);

// Whether a file name is one of our scratch files (temporary files, the lock, records).
bool IsOurTemporary(const std::string& file);

// Broken invariants of the files now, against the files before and after a complete run;
// afterStart: the next start's clean-up has run.
std::vector<std::string> Broken(const Files& now, const Files& before, const Files& after,
                                bool afterStart);

// Where the scenes live: in memory when it can (/dev/shm), else the temporary folder.
std::string ScratchFolder();

// A reason with the random part of a temporary file's name left out, so that kills add up.
std::string Generic(std::string reason);

}  // namespace kestrane::crash
