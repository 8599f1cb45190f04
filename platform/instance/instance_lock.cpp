#include "platform/instance/instance_lock.h"

#include <QCryptographicHash>
#include <QDir>

#include <cstdlib>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform::instance {

InstanceLock::InstanceLock(std::string key) : key_(std::move(key)) {}

InstanceLock::~InstanceLock() {
    if (fd_ >= 0) {
        ::close(fd_);  // closing the file releases the lock
    }
}

std::filesystem::path InstanceLock::LockFilePath(const std::string& key) {
    std::filesystem::path folder;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::error_code ec;
    if (runtime && *runtime && std::filesystem::is_directory(runtime, ec)) {
        folder = runtime;
    } else {
        folder = QDir::tempPath().toStdString();
    }
    const QByteArray hash =
        QCryptographicHash::hash(QByteArray::fromStdString(key), QCryptographicHash::Sha1)
            .toHex()
            .left(16);
    return folder / ("kestrane-" + hash.toStdString() + ".lock");
}

bool InstanceLock::TryAcquire() {
    if (fd_ >= 0) {
        return true;
    }
    const std::filesystem::path path = LockFilePath(key_);
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return true;  // cannot tell; a start is never refused for this
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

}  // namespace platform::instance
