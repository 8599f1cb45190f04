#include "platform/registry/registry.h"
#include "platform/registry/registry_internal.h"

#include <QByteArray>
#include <QLockFile>
#include <QSaveFile>
#include <QString>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace platform::registry {

using detail::ConfigHome;
using detail::EnsureKey;
using detail::Key;
using detail::Load;
using detail::Lower;
using detail::Save;
using detail::SetError;
using detail::Store;
using detail::WriteAutostartEntry;

namespace {

constexpr std::string_view kUserRoot = "HKEY_CURRENT_USER";
constexpr std::string_view kMachineRoot = "HKEY_LOCAL_MACHINE";
constexpr std::string_view kRunKey =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// The two stores: the current user's and the machine's.
enum class Hive { User, Machine };

// Splits a key path into its components and turns the root into its long name. Returns
// false for an empty path, an empty component inside it, or a root other than the user's or
// the machine's.
bool NormalizeKey(std::string_view key, std::string* out, std::string* error,
                  Hive* hive = nullptr) {
    std::vector<std::string> parts = detail::Split(key, '\\');
    while (!parts.empty() && parts.back().empty()) {
        parts.pop_back();
    }
    if (parts.empty()) {
        SetError(error, "registry: empty key path");
        return false;
    }
    const std::string root = Lower(parts[0]);
    if (root == "hkcu" || root == "hkey_current_user") {
        parts[0] = kUserRoot;
    } else if (root == "hklm" || root == "hkey_local_machine") {
        parts[0] = kMachineRoot;
    } else {
        SetError(error,
                 "registry: only the current user's keys (HKCU) and the machine's (HKLM) "
                 "exist here, not \"" +
                     std::string(key) + "\"");
        return false;
    }
    if (hive) {
        *hive = parts[0] == kUserRoot ? Hive::User : Hive::Machine;
    }
    std::string joined;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (parts[i].empty()) {
            SetError(error, "registry: empty component in key \"" + std::string(key) + "\"");
            return false;
        }
        if (i) {
            joined += '\\';
        }
        joined += parts[i];
    }
    *out = joined;
    return true;
}

std::filesystem::path StoreFile(Hive hive) {
    return hive == Hive::User ? StorePath() : MachineStorePath();
}

// A store's lock, shared by every process that writes the store (the program, regsvr). It is
// an exclusive lock on the file registry.txt.lock beside the store, held through an open
// descriptor, so the system releases it when its holder ends in any way, a kill included: a
// lock file left behind holds no lock and is taken over at once. The file itself stays.
class StoreLock {
  public:
    StoreLock() = default;
    ~StoreLock() {
#ifndef _WIN32
        if (fd_ >= 0) {
            ::close(fd_);  // closing the file releases the lock
        }
#endif
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

    // Waits up to five seconds for a live holder to finish.
    bool Acquire(const std::filesystem::path& store) {
        const std::string path = store.string() + ".lock";
#ifdef _WIN32
        file_ = std::make_unique<QLockFile>(QString::fromStdString(path));
        return file_->tryLock(5000);
#else
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ < 0) {
            return false;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            if ((errno != EWOULDBLOCK && errno != EINTR) ||
                std::chrono::steady_clock::now() >= deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
#endif
    }

  private:
#ifdef _WIN32
    std::unique_ptr<QLockFile> file_;
#else
    int fd_ = -1;
#endif
};

// Runs one read-modify-write of the store under the store's lock; `after` runs once the store
// is saved, still under the lock.
template <typename Change, typename After>
bool Modify(Hive hive, std::string* error, Change change, After after) {
    const std::filesystem::path path = StoreFile(hive);
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    StoreLock lock;
    if (!lock.Acquire(path)) {
        SetError(error, "registry: cannot lock " + path.string());
        return false;
    }
    // A store that exists but cannot be read is left alone: writing it back from what could
    // be read would drop every entry it holds.
    if (std::filesystem::exists(path, ec) && !std::ifstream(path, std::ios::binary).is_open()) {
        SetError(error, "registry: cannot read " + path.string() + ": " + std::strerror(errno));
        return false;
    }
    Store store = Load(path);
    if (!change(store)) {
        return false;
    }
    return Save(path, store, error) && after();
}

template <typename Change>
bool Modify(Hive hive, std::string* error, Change change) {
    return Modify(hive, error, change, [] { return true; });
}

// Whether name is base followed by "." and the six letters or digits that a replacement's
// temporary file (QSaveFile) adds to the name of the file it replaces.
bool IsTemporaryOf(const std::string& name, const std::string& base) {
    if (name.size() != base.size() + 7 || name.compare(0, base.size(), base) != 0 ||
        name[base.size()] != '.') {
        return false;
    }
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(base.size()) + 1, name.end(),
                       [](unsigned char c) { return std::isalnum(c) != 0; });
}

}  // namespace

std::filesystem::path StorePath() {
    return ConfigHome() / "kestrane" / "registry.txt";
}

std::filesystem::path MachineStorePath() {
    // The machine's configuration folders, most important first; relative entries are
    // ignored, as the base directory rules say.
    std::vector<std::filesystem::path> dirs;
    const char* list = std::getenv("XDG_CONFIG_DIRS");
    std::string_view rest = list ? list : "";
    while (!rest.empty()) {
        const size_t colon = rest.find(':');
        const std::filesystem::path dir(rest.substr(0, colon));
        if (dir.is_absolute()) {
            dirs.push_back(dir);
        }
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    }
    if (dirs.empty()) {
        dirs.emplace_back("/etc/xdg");
    }
    std::error_code ec;
    for (const auto& dir : dirs) {
        const auto path = dir / "kestrane" / "registry.txt";
        if (std::filesystem::exists(path, ec)) {
            return path;
        }
    }
    return dirs.front() / "kestrane" / "registry.txt";
}

bool SetValue(std::string_view key, std::string_view name, std::string_view data,
              std::string* error) {
    std::string k;
    Hive hive;
    if (!NormalizeKey(key, &k, error, &hive)) {
        return false;
    }
    return Modify(hive, error, [&](Store& store) {
        EnsureKey(store, k);
        store[Lower(k)].values[Lower(name)] = {std::string(name), std::string(data)};
        return true;
    });
}

std::optional<std::string> GetValue(std::string_view key, std::string_view name) {
    std::string k;
    Hive hive;
    if (!NormalizeKey(key, &k, nullptr, &hive)) {
        return std::nullopt;
    }
    const Store store = Load(StoreFile(hive));
    const auto it = store.find(Lower(k));
    if (it == store.end()) {
        return std::nullopt;
    }
    const auto value = it->second.values.find(Lower(name));
    if (value == it->second.values.end()) {
        return std::nullopt;
    }
    return value->second.second;
}

bool KeyExists(std::string_view key) {
    std::string k;
    Hive hive;
    if (!NormalizeKey(key, &k, nullptr, &hive)) {
        return false;
    }
    const Store store = Load(StoreFile(hive));
    return store.count(Lower(k)) > 0;
}

bool CreateKey(std::string_view key, std::string* error) {
    std::string k;
    Hive hive;
    if (!NormalizeKey(key, &k, error, &hive)) {
        return false;
    }
    return Modify(hive, error, [&](Store& store) {
        EnsureKey(store, k);
        return true;
    });
}

bool DeleteValue(std::string_view key, std::string_view name, std::string* error) {
    std::string k;
    Hive hive;
    if (!NormalizeKey(key, &k, error, &hive)) {
        return false;
    }
    return Modify(hive, error, [&](Store& store) {
        const auto it = store.find(Lower(k));
        if (it != store.end()) {
            it->second.values.erase(Lower(name));
        }
        return true;
    });
}

bool DeleteKeyTree(std::string_view key, std::string* error) {
    std::string k;
    Hive hive;
    if (!NormalizeKey(key, &k, error, &hive)) {
        return false;
    }
    const std::string lower = Lower(k);
    return Modify(hive, error, [&](Store& store) {
        for (auto it = store.begin(); it != store.end();) {
            if (it->first == lower || it->first.rfind(lower + "\\", 0) == 0) {
                it = store.erase(it);
            } else {
                ++it;
            }
        }
        return true;
    });
}

std::vector<std::string> SubKeys(std::string_view key) {
    std::vector<std::string> out;
    std::string k;
    Hive hive;
    if (!NormalizeKey(key, &k, nullptr, &hive)) {
        return out;
    }
    const std::string prefix = Lower(k) + "\\";
    for (const auto& [lower, entry] : Load(StoreFile(hive))) {
        if (lower.rfind(prefix, 0) == 0 && lower.find('\\', prefix.size()) == std::string::npos) {
            out.push_back(entry.spelled.substr(prefix.size()));
        }
    }
    return out;
}

bool RegWrite(std::string_view valuePath, std::string_view data, std::string_view type,
              std::string* error) {
    if (type != "REG_SZ") {
        SetError(error,
                 "registry: RegWrite supports only REG_SZ, not \"" + std::string(type) + "\"");
        return false;
    }
    const size_t cut = valuePath.rfind('\\');
    if (cut == std::string_view::npos) {
        SetError(error, "registry: \"" + std::string(valuePath) + "\" names no key");
        return false;
    }
    const std::string_view key = valuePath.substr(0, cut);
    const std::string_view name = valuePath.substr(cut + 1);
    std::string k;
    Hive hive;
    if (!NormalizeKey(key, &k, error, &hive)) {
        return false;
    }
    const bool runValue = !name.empty() && Lower(k) == Lower(kRunKey);
    // The autostart entry is written under the store's lock too, so that RemoveLeftovers in
    // another process never takes a file that is being written.
    return Modify(
        hive, error,
        [&](Store& store) {
            EnsureKey(store, k);
            store[Lower(k)].values[Lower(name)] = {std::string(name), std::string(data)};
            return true;
        },
        [&] {
            return !runValue || WriteAutostartEntry(std::string(name), std::string(data), error);
        });
}

void RemoveLeftovers() {
    std::error_code missing;
    if (!std::filesystem::is_directory(StorePath().parent_path(), missing)) {
        return;  // nothing was ever written
    }
    Modify(Hive::User, nullptr, [](Store& store) {
        std::error_code ec;
        for (const auto& e : std::filesystem::directory_iterator(StorePath().parent_path(), ec)) {
            if (IsTemporaryOf(e.path().filename().string(), StorePath().filename().string())) {
                std::filesystem::remove(e.path(), ec);
            }
        }
        const auto run = store.find(Lower(kRunKey));
        if (run != store.end()) {
            for (const auto& [lower, value] : run->second.values) {
                const std::string entry = value.first + ".desktop";
                for (const auto& e : std::filesystem::directory_iterator(AutostartFolder(), ec)) {
                    if (IsTemporaryOf(e.path().filename().string(), entry)) {
                        std::filesystem::remove(e.path(), ec);
                    }
                }
            }
        }
        return false;  // nothing to save
    });
}

}  // namespace platform::registry
