#include "app/store/catalogue.h"

#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace std::string_literals;
using testsupport::TempDir;
using testsupport::WriteBytes;

namespace kestrane {
namespace {

// A name in the record that holds a NUL byte names, as far as the system is concerned, only what
// comes before it: "..", "." or nothing would be the application folder or the Data folder
// itself. Such a line names no file; with it, a record that empties the Data folder must not
// remove the folder as well.
TEST(Catalogue, ARecordNamesOnlyFilesInsideTheDataFolder) {
    TempDir app;
    const std::string record =
        "Old.txt\r\nOlder.txt\r\n.kestrane-pending.txt\r\n\0\r\n..\0x\r\nNew.txt\0"s;
    EXPECT_EQ(PendingRecordFiles(app / "Data", record),
              (std::vector<fs::path>{app / "Data/Old.txt", app / "Data/Older.txt",
                                     app / "Data/.kestrane-pending.txt"}));
    WriteBytes(app / "Images/SelectedPrograms.txt", "Calm;1\r\n");
    WriteBytes(app / "Data/Old.txt", "Old;1\r\n");
    WriteBytes(app / "Data/Older.txt", "");
    WriteBytes(app / "Data/.kestrane-pending.txt", record);
    RemoveLeftovers(app.path());
    EXPECT_FALSE(fs::exists(app / "Data/Old.txt"));
    EXPECT_TRUE(fs::is_directory(app / "Data"));
}

}  // namespace
}  // namespace kestrane
