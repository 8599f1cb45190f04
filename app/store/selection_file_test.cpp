#include "app/store/selection_file.h"

#include "app/store/store_error.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using testsupport::ReadBytes;
using testsupport::TempDir;
using testsupport::WriteBytes;

namespace kestrane {

void PrintTo(const CategoryEntry& e, std::ostream* os) {
    *os << '"' << e.name << "\" " << (e.ticked ? "ticked" : "clear");
}

namespace {

TEST(SelectionFile, ReadFollowsTheTickRules) {
    TempDir app;
    EXPECT_TRUE(ReadSelectedPrograms(app.path()).empty());  // no Images folder, no file

    WriteBytes(app / "Images/SelectedPrograms.txt", "A;1\r\nB;0\r\n");
    EXPECT_EQ(ReadSelectedPrograms(app.path()), (CategoryList{{"A", true}, {"B", false}}));

    // Flags read as numbers; no ";" or a word ticks; text after a second ";" is dropped;
    // empty lines are skipped without shifting the ticks; LF and CR end lines too.
    TempDir lower;  // folder and file spelled in another case
    WriteBytes(lower / "images/selectedprograms.txt",
               "A;01\r\nB; 1\n\nC\rD;yes\r\nE;2;1\r\nF;0\r\n G ;-0\r\nLast;1");
    EXPECT_EQ(ReadSelectedPrograms(lower.path()), (CategoryList{{"A", true},
                                                                {"B", true},
                                                                {"C", true},
                                                                {"D", true},
                                                                {"E", false},
                                                                {"F", false},
                                                                {" G ", false},
                                                                {"Last", true}}));

    // A byte-order mark (a file saved by an editor that writes one) is no part of the name.
    WriteBytes(app / "Images/SelectedPrograms.txt",
               "\xEF\xBB\xBF"
               "A;1\r\nB;0\r\n");
    EXPECT_EQ(ReadSelectedPrograms(app.path()), (CategoryList{{"A", true}, {"B", false}}));
    AppendSelectedProgram(app.path(), "C");
    EXPECT_EQ(ReadBytes(app / "Images/SelectedPrograms.txt"), "A;1\r\nB;0\r\nC;0\r\n");

    WriteBytes(app / "Images/SelectedPrograms.txt", "");
    EXPECT_TRUE(ReadSelectedPrograms(app.path()).empty());
    fs::remove(app / "Images/SelectedPrograms.txt");
    fs::create_directory(app / "Images/SelectedPrograms.txt");
    EXPECT_TRUE(ReadSelectedPrograms(app.path()).empty());
}

TEST(SelectionFile, WriteReplacesAndCreatesOnlyWhenAsked) {
    TempDir app;
    fs::create_directory(app / "Images");
    const fs::path file = app / "Images/SelectedPrograms.txt";
    const CategoryList entries{{"A", true}, {"B", true}, {"\xE9t\xE9", false}};

    WriteSelectedPrograms(app.path(), entries, /*create=*/false);
    EXPECT_FALSE(fs::exists(file));
    WriteSelectedPrograms(app.path(), entries, /*create=*/true);
    EXPECT_EQ(ReadBytes(file), "A;1\r\nB;1\r\n\xE9t\xE9;0\r\n");

    // A flag written as 01 comes back as 1 after a rewrite.
    WriteBytes(file, "A;01\r\nB\r\n");
    WriteSelectedPrograms(app.path(), ReadSelectedPrograms(app.path()), false);
    EXPECT_EQ(ReadBytes(file), "A;1\r\nB;1\r\n");

    WriteSelectedPrograms(app.path(), {}, false);
    EXPECT_EQ(ReadBytes(file), "");

    fs::permissions(file, fs::perms::owner_read);
    EXPECT_THROW(WriteSelectedPrograms(app.path(), entries, false), StoreError);
    EXPECT_EQ(ReadBytes(file), "");
}

TEST(SelectionFile, AppendAddsAnUntickedLine) {
    TempDir app;
    fs::create_directory(app / "Images");
    const fs::path file = app / "Images/SelectedPrograms.txt";
    AppendSelectedProgram(app.path(), "C");
    EXPECT_EQ(ReadBytes(file), "C;0\r\n");
    AppendSelectedProgram(app.path(), "D");
    EXPECT_EQ(ReadBytes(file), "C;0\r\nD;0\r\n");

    // A hand-edited last line without its line end stays its own entry.
    WriteBytes(file, "A;1");
    AppendSelectedProgram(app.path(), "B");
    EXPECT_EQ(ReadBytes(file), "A;1\r\nB;0\r\n");
    EXPECT_EQ(ReadSelectedPrograms(app.path()), (CategoryList{{"A", true}, {"B", false}}));

    // Without an Images folder the file cannot be created.
    TempDir bare;
    EXPECT_THROW(AppendSelectedProgram(bare.path(), "C"), StoreError);
}

}  // namespace
}  // namespace kestrane
