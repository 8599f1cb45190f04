#include "platform/instance/instance_lock.h"

#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

namespace platform::instance {
namespace {

namespace fs = std::filesystem;

// One holder per data folder, whatever the environment of the process: a second lock on the
// same folder under another runtime folder, or under another spelling of the folder's path,
// is refused; another folder is free.
TEST(InstanceLockTest, OneHolderPerFolderWhateverTheEnvironment) {
    testsupport::TempDir tmp;
    fs::create_directories(tmp / "a" / "Images");
    fs::create_directories(tmp / "b");
    fs::create_directory_symlink(tmp / "a", tmp / "alias");
    auto first = std::make_unique<InstanceLock>(tmp / "a" / "Images");
    {
        testsupport::ScopedEnv runtime("XDG_RUNTIME_DIR", (tmp / "run1").string());
        ASSERT_TRUE(first->TryAcquire());
        EXPECT_TRUE(first->Held());
        EXPECT_TRUE(fs::exists(tmp / "a" / "Images" / std::string(kLockFileName)));
    }
    {
        testsupport::ScopedEnv runtime("XDG_RUNTIME_DIR", (tmp / "run2").string());
        InstanceLock second(tmp / "a" / "Images");
        EXPECT_FALSE(second.TryAcquire());
        EXPECT_FALSE(second.Held());
        InstanceLock alias(tmp / "alias" / "Images");
        EXPECT_FALSE(alias.TryAcquire());
    }
    InstanceLock other(tmp / "b");  // other data beside it
    EXPECT_TRUE(other.TryAcquire());

    InstanceLock again(tmp / "a" / "Images");
    first.reset();
    EXPECT_TRUE(again.TryAcquire());
}

// A folder that cannot be written and has no lock file: the lock lies in the runtime folder,
// still one per folder. (Root writes anywhere; then the lock file is in the folder.)
TEST(InstanceLockTest, AReadOnlyFolderIsLockedFromTheRuntimeFolder) {
    testsupport::TempDir tmp;
    testsupport::ScopedEnv runtime("XDG_RUNTIME_DIR", (tmp / "run").string());
    fs::create_directories(tmp / "run");
    fs::create_directories(tmp / "ro");
    fs::permissions(tmp / "ro", fs::perms::owner_read | fs::perms::owner_exec);
    InstanceLock first(tmp / "ro");
    ASSERT_TRUE(first.TryAcquire());
    EXPECT_TRUE(first.Held());
    InstanceLock second(tmp / "ro");
    EXPECT_FALSE(second.TryAcquire());
    if (::geteuid() != 0) {
        EXPECT_TRUE(fs::exists(InstanceLock::RuntimeLockFilePath(tmp / "ro")));
    }
    fs::permissions(tmp / "ro", fs::perms::owner_all);
}

TEST(InstanceLockTest, AnotherProcessHoldsTheLockUntilItDies) {
    testsupport::TempDir folder;
    int ready[2];
    int go[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(go), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        InstanceLock lock(folder.path());
        const char ok = lock.TryAcquire() ? '1' : '0';
        (void)!write(ready[1], &ok, 1);
        char c;
        (void)!read(go[0], &c, 1);
        _exit(0);  // ends without releasing anything by hand
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, '1');
    InstanceLock mine(folder.path());
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
