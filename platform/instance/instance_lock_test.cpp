#include "platform/instance/instance_lock.h"

#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

namespace platform::instance {
namespace {

TEST(InstanceLockTest, OneHolderPerKeyUntilReleased) {
    testsupport::TempDir runtime;
    testsupport::ScopedEnv env("XDG_RUNTIME_DIR", runtime.path().string());
    EXPECT_EQ(InstanceLock::LockFilePath("/opt/a/kestrane").parent_path(), runtime.path());
    EXPECT_NE(InstanceLock::LockFilePath("/opt/a/kestrane"),
              InstanceLock::LockFilePath("/opt/b/kestrane"));

    auto first = std::make_unique<InstanceLock>("/opt/a/kestrane");
    ASSERT_TRUE(first->TryAcquire());
    EXPECT_TRUE(first->Held());
    InstanceLock second("/opt/a/kestrane");
    EXPECT_FALSE(second.TryAcquire());
    EXPECT_FALSE(second.Held());
    InstanceLock other("/opt/b/kestrane");  // another executable runs beside it
    EXPECT_TRUE(other.TryAcquire());

    first.reset();
    EXPECT_TRUE(second.TryAcquire());
}

TEST(InstanceLockTest, AnotherProcessHoldsTheLockUntilItDies) {
    testsupport::TempDir runtime;
    testsupport::ScopedEnv env("XDG_RUNTIME_DIR", runtime.path().string());
    int ready[2];
    int go[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(go), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        InstanceLock lock("/opt/a/kestrane");
        const char ok = lock.TryAcquire() ? '1' : '0';
        (void)!write(ready[1], &ok, 1);
        char c;
        (void)!read(go[0], &c, 1);
        _exit(0);  // ends without releasing anything by hand
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, '1');
    InstanceLock mine("/opt/a/kestrane");
    EXPECT_FALSE(mine.TryAcquire());
    const char c = 'x';
    ASSERT_EQ(write(go[1], &c, 1), 1);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(mine.TryAcquire());  // the lock file stays, the lock went with the process
    for (int fd : {ready[0], ready[1], go[0], go[1]}) {
        close(fd);
    }
}

}  // namespace
}  // namespace platform::instance
