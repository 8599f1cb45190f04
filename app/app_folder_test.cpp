#include "app/app_folder.h"

#include <gtest/gtest.h>

#include "tests/support/test_support.h"

namespace fs = std::filesystem;
using testsupport::ReadBytes;
using testsupport::ScopedEnv;
using testsupport::TempDir;
using testsupport::WriteBytes;

namespace {

// A program folder as it ships: pictures and state files in Images/, categories in Data/.
void Ship(const fs::path& program) {
    WriteBytes(program / "kestrane", "");
    WriteBytes(program / "Images" / "background.jpg", "new picture");
    WriteBytes(program / "Images" / "SelectedPrograms.txt", "Calm;1\r\n");
    WriteBytes(program / "Images" / "AutoStart.txt", "0\r\n");
    WriteBytes(program / "Data" / "Calm.txt", "Breathe;1\r\n");
}

TEST(AppFolder, APortableFolderKeepsItsStateBesideTheExecutable) {
    TempDir tmp;
    ScopedEnv data("XDG_DATA_HOME", (tmp / "data").string());
    Ship(tmp / "app");
    const kestrane::AppFolders folders = kestrane::ChooseAppFolders(tmp / "app");
    EXPECT_EQ(folders.appFolder, tmp / "app");
    EXPECT_EQ(folders.runFolder, tmp / "app");
    EXPECT_EQ(folders.problem, "");
    EXPECT_FALSE(fs::exists(tmp / "data"));
    ASSERT_TRUE(folders.lock && folders.lock->Held());
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp / "app" / "Images"), {}), 4);  // + lock

    // A second start on the same folder, from another environment, gets no lock.
    ScopedEnv runtime("XDG_RUNTIME_DIR", tmp.path().string());
    const kestrane::AppFolders second = kestrane::ChooseAppFolders(tmp / "app");
    EXPECT_FALSE(second.lock->TryAcquire());
    EXPECT_EQ(second.appFolder, tmp / "app");
}

// A portable folder that cannot be written: the per-user folder takes over, and the user is
// told where the programs and settings are; once the folder can be written again it is used
// again, and the user is told once that the changes made meanwhile are in the per-user folder.
TEST(AppFolder, AFolderThatCannotBeWrittenSaysWhichCopyIsUsed) {
    TempDir tmp;
    ScopedEnv data("XDG_DATA_HOME", (tmp / "data").string());
    Ship(tmp / "app");
    // No folder to write in (a read-only one is the same, but not to root).
    fs::rename(tmp / "app" / "Data", tmp / "Data.away");
    WriteBytes(tmp / "app" / "Data", "a file in the way");
    const fs::path user = tmp / "data" / "kestrane";
    {
        const kestrane::AppFolders folders = kestrane::ChooseAppFolders(tmp / "app");
        EXPECT_EQ(folders.appFolder, user);
        EXPECT_EQ(folders.problem, "");
        EXPECT_NE(folders.notice.find(user.string()), std::string::npos) << folders.notice;
        EXPECT_NE(folders.notice.find((tmp / "app" / "Data").string()), std::string::npos);
        EXPECT_TRUE(folders.lock->Held());
        // Meanwhile another start waits its turn and touches nothing.
        fs::remove_all(user / "Data");
        const kestrane::AppFolders second = kestrane::ChooseAppFolders(tmp / "app");
        EXPECT_FALSE(second.lock->TryAcquire());
        EXPECT_FALSE(fs::exists(user / "Data"));
    }
    fs::remove(tmp / "app" / "Data");
    fs::rename(tmp / "Data.away", tmp / "app" / "Data");
    kestrane::AppFolders folders = kestrane::ChooseAppFolders(tmp / "app");
    EXPECT_EQ(folders.appFolder, tmp / "app");
    EXPECT_NE(folders.notice.find(user.string()), std::string::npos) << folders.notice;
    folders = {};
    EXPECT_EQ(kestrane::ChooseAppFolders(tmp / "app").notice, "");
}

TEST(AppFolder, AnInstalledFolderUsesThePerUserFolderSeededWithoutLosingTheUsersFiles) {
    TempDir tmp;
    ScopedEnv data("XDG_DATA_HOME", (tmp / "data").string());
    const fs::path program = tmp / "usr" / "lib" / "kestrane";
    Ship(program);
    WriteBytes(program / "installed.txt", "../../bin\n");
    WriteBytes(tmp / "usr" / "bin" / "kestrane", "");
    const fs::path user = tmp / "data" / "kestrane";
    WriteBytes(user / "Images" / "SelectedPrograms.txt", "Mine;0\r\n");
    WriteBytes(user / "Images" / "background.jpg", "old picture");

    kestrane::AppFolders folders = kestrane::ChooseAppFolders(program);
    EXPECT_EQ(folders.appFolder, user);
    EXPECT_EQ(folders.runFolder, tmp / "usr" / "bin");
    EXPECT_EQ(folders.problem, "");
    EXPECT_EQ(ReadBytes(user / "Images" / "SelectedPrograms.txt"), "Mine;0\r\n");
    EXPECT_EQ(ReadBytes(user / "Images" / "AutoStart.txt"), "0\r\n");
    EXPECT_EQ(ReadBytes(user / "Images" / "background.jpg"), "new picture");
    EXPECT_EQ(ReadBytes(user / "Data" / "Calm.txt"), "Breathe;1\r\n");

    // A category the user deleted stays deleted; the user's files are never replaced; nothing
    // is left behind in either folder.
    fs::remove(user / "Data" / "Calm.txt");
    WriteBytes(user / "Images" / "AutoStart.txt", "1\r\n");
    folders = kestrane::ChooseAppFolders(program);
    EXPECT_EQ(folders.appFolder, user);
    EXPECT_FALSE(fs::exists(user / "Data" / "Calm.txt"));
    EXPECT_EQ(ReadBytes(user / "Images" / "AutoStart.txt"), "1\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(user), {}), 2);
    EXPECT_EQ(std::distance(fs::directory_iterator(program), {}), 4);

    // A per-user folder that cannot be made: the shipped files, and a message naming it.
    TempDir other;
    WriteBytes(other / "kestrane", "a file in the way");
    ScopedEnv blocked("XDG_DATA_HOME", other.path().string());
    folders = kestrane::ChooseAppFolders(program);
    EXPECT_EQ(folders.appFolder, program);
    EXPECT_NE(folders.problem.find((other / "kestrane").string()), std::string::npos)
        << folders.problem;
    EXPECT_EQ(ReadBytes(other / "kestrane"), "a file in the way");
}

}  // namespace
