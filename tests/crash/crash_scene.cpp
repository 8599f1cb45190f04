#include "tests/crash/crash_scene.h"

#include "app/app_folder.h"
#include "app/store/autostart.h"
#include "app/store/catalogue.h"
#include "app/store/category_file.h"
#include "app/store/category_name.h"
#include "app/store/screen_choice.h"
#include "app/store/selection_file.h"
#include "app/store/text_file.h"
#include "platform/dialogs/scripted_dialogs.h"

#include <algorithm>

#include <unistd.h>

namespace kestrane::crash {

namespace {

const CategoryList kCatalogue = {{"Calm", true}, {"Focus", false}, {"Big", true}};

}  // namespace

std::string Lines(const std::string& prefix, int count, const char* flag) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += prefix + " message number " + std::to_string(i) + flag + "\r\n";
    }
    return text;
}

namespace {

class Check1 : public AutoStartCheckBox {
  public:
    bool IsTicked() const override { return ticked; }
    void SetTicked(bool t) override { ticked = t; }
    bool ticked = false;
};

}  // namespace

std::vector<Operation> Operations() {
    std::vector<Operation> ops;
    ops.push_back({"save options", [](const fs::path& app, const fs::path&) {
                       FlashOptions o = FlashOptions::Defaults();
                       o.MsgOption = "Top Left";
                       o.SelFontSize = 22;
                       SaveOptions(app, o);
                   }});
    ops.push_back({"choose a screen", [](const fs::path& app, const fs::path&) {
                       SaveScreenChoice(app, ScreenChoice::Every);
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
                       static const std::string large(256 << 10, 'x');
                       AppendMessage(app, "Big", large);
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
    ops.push_back({"create, no list",
                   [](const fs::path& app, const fs::path&) { CreateCategory(app, {}, "Rest"); },
                   false, /*noSelection=*/true});
    ops.push_back({"import, no list",
                   [](const fs::path& app, const fs::path& dir) {
                       ImportCategory(app, {}, dir / "Health.txt", "Health.txt");
                   },
                   false, /*noSelection=*/true});
    ops.push_back({"autostart off",
                   [](const fs::path& app, const fs::path&) {
                       Check1 box;
                       platform::ScriptedDialogs dialogs;
                       SetAutoStart(app, box, kCatalogue, dialogs);
                   },
                   /*registry=*/true});
    return ops;
}

// What the next start does before it reads anything: it takes the data folder's lock and,
// holding it, tidies up (the registry's part only where the operation writes the registry:
// nothing else touches it). Returns whether it held the lock.
bool NextStart(const fs::path& app, bool registry) {
    const kestrane::AppFolders folders = ChooseAppFolders(app);
    if (!folders.lock->Held()) {
        return false;
    }
    RemoveLeftovers(app);
    if (registry) {
        platform::registry::RemoveLeftovers();
    }
    return true;
}

bool IsOurTemporary(const std::string& file) {
    return file.rfind(".kestrane-", 0) == 0 || file.find(".txt.") != std::string::npos ||
           file.find(".desktop.") != std::string::npos;
}

// Broken invariants of the files now, against the files before and after a complete run.
std::vector<std::string> Broken(const Files& now, const Files& before, const Files& after,
                                bool afterStart) {
    std::vector<std::string> broken;
    // The bytes of a file, or null when it is not there.
    auto bytes = [](const Files& f, const std::string& p) -> const std::string* {
        const auto it = f.find(p);
        return it == f.end() ? nullptr : &it->second;
    };
    auto same = [](const std::string* a, const std::string* b) {
        return a == b || (a && b && *a == *b);
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
        const std::string* b = bytes(now, p);
        if (!same(b, bytes(before, p)) && !same(b, bytes(after, p))) {
            broken.push_back("mixed bytes: " + p);
        }
    }
    const std::string* selection = bytes(now, "app/Images/SelectedPrograms.txt");
    const CategoryList listed = ParseSelection(selection ? *selection : "");
    for (size_t i = 0; i < listed.size(); ++i) {
        const std::string* file = bytes(now, "app/Data/" + listed[i].name + ".txt");
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
        // A file that no line lists blocks its name, unless it was there unlisted before.
        const std::string* selectionBefore = bytes(before, "app/Images/SelectedPrograms.txt");
        const CategoryList listedBefore = ParseSelection(selectionBefore ? *selectionBefore : "");
        for (const auto& [p, b] : now) {
            const fs::path path(p);
            if (path.parent_path() != "app/Data" || path.extension() != ".txt" ||
                IsOurTemporary(path.filename().string())) {
                continue;
            }
            const std::string stem = path.stem().string();
            auto names = [&](const CategoryList& list) {
                return std::any_of(list.begin(), list.end(), [&](const CategoryEntry& e) {
                    return e.name == stem || e.name + "temp" == stem;
                });
            };
            const bool ok = names(listed) || (bytes(before, p) && !names(listedBefore));
            if (!ok) {
                broken.push_back("unlisted file blocks a name: " + p);
            }
        }
    }
    return broken;
}

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

}  // namespace kestrane::crash
