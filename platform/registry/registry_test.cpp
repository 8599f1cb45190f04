#include "platform/registry/registry.h"

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

namespace reg = platform::registry;
using testsupport::ReadBytes;
using testsupport::ScopedEnv;
using testsupport::TempDir;

namespace {

class RegistryTest : public ::testing::Test {
  protected:
    TempDir config;
    ScopedEnv env{"XDG_CONFIG_HOME", config.path().string()};
};

TEST_F(RegistryTest, ValuesRoundTripAndKeysIgnoreCaseAndRootSpelling) {
    ASSERT_TRUE(reg::SetValue("HKCU\\Software\\Classes\\CLSID\\{A}\\InprocServer32", "",
                              "/lib/with\ttab\\and\nnewline.so"));
    EXPECT_EQ(reg::GetValue("hkey_current_user\\software\\classes\\clsid\\{a}\\inprocserver32", ""),
              "/lib/with\ttab\\and\nnewline.so");
    EXPECT_TRUE(reg::KeyExists("HKCU\\Software\\Classes"));
    EXPECT_FALSE(reg::GetValue("HKCU\\Software\\Classes\\CLSID\\{B}", "").has_value());
    EXPECT_EQ(reg::SubKeys("HKCU\\Software\\Classes\\CLSID"), std::vector<std::string>{"{A}"});
    EXPECT_TRUE(reg::StorePath().string().find(config.path().string()) == 0);
}

TEST_F(RegistryTest, OtherRootsAndMalformedKeysAreRefusedWithADescription) {
    std::string error;
    EXPECT_FALSE(reg::SetValue("HKEY_USERS\\Software\\X", "v", "d", &error));
    EXPECT_NE(error.find("HKCU"), std::string::npos);
    error.clear();
    EXPECT_FALSE(reg::SetValue("HKCU\\\\Software", "v", "d", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(reg::RegWrite("HKCU\\Software\\X\\v", "1", "REG_DWORD", &error));
    EXPECT_NE(error.find("REG_SZ"), std::string::npos);
}

TEST_F(RegistryTest, MachineKeysLiveInTheFirstSystemFolderThatHoldsAStore) {
    TempDir first, second;
    ScopedEnv dirs("XDG_CONFIG_DIRS",
                   "relative:" + first.path().string() + ":" + second.path().string());
    EXPECT_EQ(reg::MachineStorePath(), first / "kestrane/registry.txt");
    testsupport::WriteBytes(second / "kestrane/registry.txt",
                            "kestrane-registry 1\nV\tHKEY_LOCAL_MACHINE\\\\Software\tv\tshipped\n");
    EXPECT_EQ(reg::MachineStorePath(), second / "kestrane/registry.txt");
    EXPECT_EQ(reg::GetValue("HKLM\\Software", "v"), "shipped");

    ASSERT_TRUE(reg::SetValue("HKEY_LOCAL_MACHINE\\Software\\Classes\\X", "", "m"));
    EXPECT_EQ(reg::GetValue("hklm\\software\\classes\\x", ""), "m");
    EXPECT_EQ(reg::SubKeys("HKLM\\Software"), std::vector<std::string>{"Classes"});
    EXPECT_FALSE(reg::KeyExists("HKCU\\Software\\Classes\\X"));
    EXPECT_FALSE(std::filesystem::exists(reg::StorePath()));
    EXPECT_FALSE(std::filesystem::exists(first / "kestrane"));
    ASSERT_TRUE(reg::DeleteKeyTree("HKLM\\Software\\Classes"));
    EXPECT_EQ(reg::GetValue("HKLM\\Software", "v"), "shipped");
}

TEST_F(RegistryTest, DeleteKeyTreeRemovesSubkeysButNotSiblingsWithTheSamePrefix) {
    ASSERT_TRUE(reg::SetValue("HKCU\\Software\\Classes\\CLSID\\{A}\\InprocServer32", "", "a"));
    ASSERT_TRUE(reg::SetValue("HKCU\\Software\\Classes\\CLSID\\{A}B", "", "b"));
    ASSERT_TRUE(reg::DeleteKeyTree("HKCU\\Software\\Classes\\CLSID\\{A}"));
    EXPECT_FALSE(reg::KeyExists("HKCU\\Software\\Classes\\CLSID\\{A}\\InprocServer32"));
    EXPECT_FALSE(reg::KeyExists("HKCU\\Software\\Classes\\CLSID\\{A}"));
    EXPECT_EQ(reg::GetValue("HKCU\\Software\\Classes\\CLSID\\{A}B", ""), "b");
    EXPECT_TRUE(reg::DeleteKeyTree("HKCU\\Software\\Nothing"));
}

TEST_F(RegistryTest, RunValueBecomesAnAutostartEntryAndEmptyHidesIt) {
    const auto app = config / "My Apps";
    std::filesystem::create_directories(app);
    testsupport::WriteBytes(app / "kestrane", "");
    const std::string data = app.string() + "\\kestrane.exe";
    const std::string path = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\MyVBApp1";
    ASSERT_TRUE(reg::RegWrite(path, data, "REG_SZ"));
    EXPECT_EQ(reg::GetValue("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", "MyVBApp1"),
              data);
    const auto entry = config / "autostart" / "MyVBApp1.desktop";
    const std::string exec = "Exec=\"" + (app / "kestrane").string() + "\"\n";
    EXPECT_EQ(ReadBytes(entry), "[Desktop Entry]\nType=Application\nName=MyVBApp1\n" + exec);

    ASSERT_TRUE(reg::RegWrite(path, "", "REG_SZ"));
    EXPECT_EQ(reg::GetValue("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", "MyVBApp1"),
              "");
    EXPECT_EQ(ReadBytes(entry),
              "[Desktop Entry]\nType=Application\nName=MyVBApp1\n" + exec + "Hidden=true\n");
}

TEST_F(RegistryTest, ExecQuotingEscapesShellAndEntrySpecialCharacters) {
    const std::string path = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Odd";
    ASSERT_TRUE(reg::RegWrite(path, "/opt/a$b \"c\" 100%/run", "REG_SZ"));
    EXPECT_EQ(ReadBytes(config / "autostart" / "Odd.desktop"),
              "[Desktop Entry]\nType=Application\nName=Odd\n"
              "Exec=\"/opt/a\\\\$b \\\\\"c\\\\\" 100%%/run\"\n");  // A line break (or tab) in the
                                                                   // folder stays inside the one
                                                                   // Exec line, escaped as the
    // entry's string values are.
    ASSERT_TRUE(reg::RegWrite(path, "/opt/a\nExec=evil\tb/run", "REG_SZ"));
    EXPECT_EQ(ReadBytes(config / "autostart" / "Odd.desktop"),
              "[Desktop Entry]\nType=Application\nName=Odd\n"
              "Exec=\"/opt/a\\nExec=evil\\tb/run\"\n");
    // A backslash in a folder's name stays; only the one before the program's name separates.
    ASSERT_TRUE(reg::RegWrite(path, "/opt/a\\b\\kestrane.exe", "REG_SZ"));
    EXPECT_EQ(ReadBytes(config / "autostart" / "Odd.desktop"),
              "[Desktop Entry]\nType=Application\nName=Odd\n"
              "Exec=\"/opt/a\\\\\\\\b/kestrane.exe\"\n");
}

TEST_F(RegistryTest, ALockLeftByAKilledProcessIsTakenOverAndALiveOneWaitedFor) {
    // A process killed while taking the lock leaves an empty lock file.
    std::filesystem::create_directories(reg::StorePath().parent_path());
    testsupport::WriteBytes(reg::StorePath().string() + ".lock", "");
    EXPECT_TRUE(reg::SetValue("HKCU\\Software\\A", "v", "1"));

    // A process that holds the lock while it writes, then dies without letting go.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t holder = fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        reg::SetValue("HKCU\\Software\\B", "v", "2");  // leaves the lock file behind
        const int fd = ::open((reg::StorePath().string() + ".lock").c_str(), O_RDWR);
        flock(fd, LOCK_EX);
        (void)!write(ready[1], "x", 1);
        usleep(300 * 1000);
        testsupport::WriteBytes(config / "released", "");
        kill(getpid(), SIGKILL);
    }
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    EXPECT_TRUE(reg::SetValue("HKCU\\Software\\C", "v", "3"));
    EXPECT_TRUE(std::filesystem::exists(config / "released"));  // waited for the live holder
    waitpid(holder, nullptr, 0);
    EXPECT_EQ(reg::GetValue("HKCU\\Software\\B", "v"), "2");
    EXPECT_EQ(reg::GetValue("HKCU\\Software\\C", "v"), "3");
    close(ready[0]);
    close(ready[1]);
}

TEST_F(RegistryTest, ValuesOutsideTheRunKeyWriteNoAutostartEntry) {
    ASSERT_TRUE(reg::RegWrite("HKCU\\Software\\Kestrane\\Other", "x", "REG_SZ"));
    EXPECT_FALSE(std::filesystem::exists(config / "autostart"));
    ASSERT_TRUE(reg::RegWrite("HKCU\\Software\\Kestrane\\", "default", "REG_SZ"));
    EXPECT_EQ(reg::GetValue("HKCU\\Software\\Kestrane", ""), "default");
}

TEST_F(RegistryTest, AStoreThatCannotBeReadIsNeverOverwritten) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root reads files whatever their permissions";
    }
    ASSERT_TRUE(reg::SetValue("HKCU\\Software\\Kept", "a", "1"));
    const std::string before = ReadBytes(reg::StorePath());
    std::filesystem::permissions(reg::StorePath(), std::filesystem::perms::none);
    std::string error;
    EXPECT_FALSE(reg::SetValue("HKCU\\Software\\New", "b", "2", &error));
    EXPECT_NE(error.find("cannot read"), std::string::npos) << error;
    std::filesystem::permissions(reg::StorePath(), std::filesystem::perms::owner_all);
    EXPECT_EQ(ReadBytes(reg::StorePath()), before);
}

}  // namespace
