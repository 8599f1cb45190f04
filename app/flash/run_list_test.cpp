#include "app/flash/run_list.h"

#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::WriteBytes;

namespace kestrane {
namespace {

std::vector<std::string> Slots(const RunList& list) {
    std::vector<std::string> out;
    for (int i = 0; i <= list.UBound(); ++i) {
        out.push_back(list.At(i));
    }
    return out;
}

TEST(BuildRunList, ReadsEachLineByTheIncludeRule) {
    TempDir app;
    WriteBytes(app / "Data/Hello.txt",
               "Hello;1\r\nHello;0\r\nHello\r\nHello;x\r\nHello;1;more\r\n;1\r\n");
    RunList list;
    EXPECT_EQ(BuildRunList(app.path(), {{"Hello", true}}, list), 6);
    EXPECT_EQ(list.UBound(), 5);
    EXPECT_EQ(Slots(list), (std::vector<std::string>{"Hello", "Hello", "Hello", "Hello", "", ""}));

    WriteBytes(app / "Data/Hello.txt", "a;b;1\n\nb; 01\rc;2\r\nd");
    EXPECT_EQ(BuildRunList(app.path(), {{"Hello", true}}, list), 4);
    EXPECT_EQ(list.UBound(), 3);
    EXPECT_EQ(list.At(0), "a");
    EXPECT_EQ(list.At(1), "b");
    EXPECT_EQ(list.At(2), "d");

    // A byte-order mark at the start is no part of the first message.
    WriteBytes(app / "Data/Hello.txt",
               "\xEF\xBB\xBF"
               "first;1\r\n");
    EXPECT_EQ(BuildRunList(app.path(), {{"Hello", true}}, list), 2);
    EXPECT_EQ(list.At(0), "first");
}

TEST(BuildRunList, OrdersByFileNameAndMatchesBaseNamesExactly) {
    TempDir app;
    WriteBytes(app / "Data/Calm.txt", "c1;1\r\nc2;1\r\n");
    WriteBytes(app / "Data/Calm.bak", "bak;1\r\n");
    WriteBytes(app / "Data/Alpha.txt", "a1;1\r\n");
    WriteBytes(app / "Data/calm.txt", "lower;1\r\n");     // other case: no match
    WriteBytes(app / "Data/Calmtemp.txt", "temp;1\r\n");  // another base name
    WriteBytes(app / "Data/Zed.txt", "z;1\r\n");          // not ticked
    fs::create_directory(app / "Data/Calm.dir");          // folders are not files
    const CategoryList selection{{"Zed", false}, {"Calm", true}, {"Alpha", true}, {"Calm", true}};
    RunList list;
    EXPECT_EQ(BuildRunList(app.path(), selection, list), 5);
    // Alpha.txt, Calm.bak, Calm.txt: the order of the file names, not of the selection.
    EXPECT_EQ(Slots(list), (std::vector<std::string>{"a1", "bak", "c1", "c2", ""}));

    // The folder is found in any letter case.
    TempDir other;
    WriteBytes(other / "DATA/Calm.txt", "upper;1\r\n");
    EXPECT_EQ(BuildRunList(other.path(), {{"Calm", true}}, list), 2);
    EXPECT_EQ(list.At(0), "upper");
}

TEST(BuildRunList, ANothingFoundBuildKeepsThePreviousList) {
    TempDir app;
    WriteBytes(app / "Data/A.txt", "one;1\r\ntwo;1\r\nthree;1\r\n");
    WriteBytes(app / "Data/Off.txt", "x;0\r\ny;0\r\n");
    RunList list;
    EXPECT_FALSE(list.HasBounds());
    EXPECT_EQ(BuildRunList(app.path(), {{"Off", true}}, list), 1);
    EXPECT_FALSE(list.HasBounds());

    EXPECT_EQ(BuildRunList(app.path(), {{"A", true}}, list), 4);
    EXPECT_EQ(list.UBound(), 3);
    EXPECT_EQ(BuildRunList(app.path(), {{"Off", true}, {"Missing", true}}, list), 1);
    EXPECT_EQ(Slots(list), (std::vector<std::string>{"one", "two", "three", ""}));

    // Without a Data folder nothing is found either.
    TempDir empty;
    EXPECT_EQ(BuildRunList(empty.path(), {{"A", true}}, list), 1);
    EXPECT_EQ(list.UBound(), 3);

    // A smaller build drops what the earlier one left beyond its own end.
    WriteBytes(app / "Data/B.txt", "only;1\r\n");
    EXPECT_EQ(BuildRunList(app.path(), {{"B", true}}, list), 2);
    EXPECT_EQ(list.UBound(), 1);
    EXPECT_EQ(list.At(0), "only");
}

TEST(BuildRunList, StopsAt32766Messages) {
    TempDir app;
    std::string text;
    for (int i = 0; i < 20000; ++i) {
        text += "m" + std::to_string(i) + ";1\r\n";
    }
    WriteBytes(app / "Data/A.txt", text);
    WriteBytes(app / "Data/B.txt", text);
    RunList list;
    EXPECT_EQ(BuildRunList(app.path(), {{"A", true}, {"B", true}}, list), 32767);
    EXPECT_EQ(list.UBound(), 32766);
    EXPECT_EQ(list.At(19999), "m19999");
    EXPECT_EQ(list.At(20000), "m0");
    EXPECT_EQ(list.At(32765), "m12765");
}

}  // namespace
}  // namespace kestrane
