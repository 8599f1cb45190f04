// The previous-instance indicator of the forms runtime: tells whether another process of the
// same executable is running. The running process holds an exclusive lock on a small file
// outside the application folder (in $XDG_RUNTIME_DIR, else the system's temporary folder),
// named after a hash of the key (the executable's path). The lock belongs to the open file,
// so the system releases it when the process ends in any way, a crash included; a lock file
// left behind by a dead process is simply taken over.
#pragma once

#include <filesystem>
#include <string>

namespace platform::instance {

class InstanceLock {
  public:
    // Does not lock yet; key names the program (normally the executable's full path).
    explicit InstanceLock(std::string key);
    ~InstanceLock();  // releases the lock when held
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Takes the lock. Returns false when another holder (another process of the same key, or
    // another InstanceLock object of this process) has it. When the lock file cannot be
    // opened at all, the check cannot tell, and the program is let run: true, but Held() is
    // false.
    bool TryAcquire();
    bool Held() const { return fd_ >= 0; }

    // The lock file for a key.
    static std::filesystem::path LockFilePath(const std::string& key);

  private:
    std::string key_;
    int fd_ = -1;
};

}  // namespace platform::instance
