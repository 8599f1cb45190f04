#include "platform/instance/instance_lock.h"

#include <QCryptographicHash>
#include <QDir>

#include <cstdlib>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace platform::instance {

namespace {

// An open lock file locked exclusively, or -1 (errno 0 when the lock is taken by another).
int OpenLocked(const fs::path& path, int flags) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) {
        return -1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        errno = err == EWOULDBLOCK ? 0 : err;
        return -1;
    }
    return fd;
}

}  // namespace

InstanceLock::InstanceLock(fs::path folder) : folder_(std::move(folder)) {}

InstanceLock::~InstanceLock() {
    if (fd_ >= 0) {
        ::close(fd_);  // closing the file releases the lock
    }
}

fs::path InstanceLock::LockFilePath(const fs::path& folder) {
    return folder / std::string(kLockFileName);
}

fs::path InstanceLock::RuntimeLockFilePath(const fs::path& folder) {
    fs::path runtimeFolder;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::error_code ec;
    if (runtime && *runtime && fs::is_directory(runtime, ec)) {
        runtimeFolder = runtime;
    } else {
        runtimeFolder = QDir::tempPath().toStdString();
    }
    const fs::path real = fs::weakly_canonical(folder, ec);
    const QByteArray hash =
        QCryptographicHash::hash(QByteArray::fromStdString((ec ? folder : real).string()),
                                 QCryptographicHash::Sha1)
            .toHex()
            .left(16);
    return runtimeFolder / ("kestrane-" + hash.toStdString() + ".lock");
}

bool InstanceLock::TryAcquire() {
    if (fd_ >= 0) {
        return true;
    }
    const fs::path path = LockFilePath(folder_);
    fd_ = OpenLocked(path, O_RDWR | O_CREAT);
    if (fd_ >= 0) {
        return true;
    }
    if (errno == 0) {
        return false;  // another holder
    }
    // A folder that cannot be written: its lock file if it has one, else one outside.
    fd_ = OpenLocked(path, O_RDONLY);
    if (fd_ < 0 && errno != 0) {
        fd_ = OpenLocked(RuntimeLockFilePath(folder_), O_RDWR | O_CREAT);
    }
    if (fd_ >= 0) {
        return true;
    }
    return errno != 0;  // errno 0: another holder; else the check cannot tell
}

}  // namespace platform::instance
