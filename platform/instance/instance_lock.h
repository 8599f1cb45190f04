// The previous-instance indicator of the forms runtime: tells whether another process runs on
// the same data. The lock belongs to the folder that holds the state files, not to the
// executable or the user's environment: the running process holds an exclusive lock on a small
// file inside that folder (kLockFileName), so two copies of the program, or one started from
// two environments, that share one folder can never run side by side. The lock belongs to
// the open file, so the system releases it when the process ends in any way, a crash
// included; a lock file left behind by a dead process is simply taken over.
//
// A folder that cannot be written (a read-only program folder the program falls back to)
// may still hold the lock file, which is then opened for reading and locked the same way;
// when it holds none, the lock lies in $XDG_RUNTIME_DIR (else the system's temporary folder),
// named after the folder's real path. Nothing can be saved in such a folder, so the weaker
// place costs no data.
#pragma once

#include <filesystem>
#include <string_view>

namespace platform::instance {

inline constexpr std::string_view kLockFileName = ".kestrane-instance.lock";

class InstanceLock {
  public:
    // Does not lock yet; folder is the folder whose data the lock guards.
    explicit InstanceLock(std::filesystem::path folder);
    ~InstanceLock();  // releases the lock when held
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Takes the lock. Returns false when another holder (another process, or another
    // InstanceLock object of this process, on the same folder) has it. When no lock file can
    // be opened at all, the check cannot tell, and the program is let run: true, but Held()
    // is false.
    bool TryAcquire();
    bool Held() const { return fd_ >= 0; }

    const std::filesystem::path& Folder() const { return folder_; }

    // The lock file inside a folder, and the one outside it for a folder that has none and
    // cannot be written.
    static std::filesystem::path LockFilePath(const std::filesystem::path& folder);
    static std::filesystem::path RuntimeLockFilePath(const std::filesystem::path& folder);

  private:
    std::filesystem::path folder_;
    int fd_ = -1;
};

}  // namespace platform::instance
