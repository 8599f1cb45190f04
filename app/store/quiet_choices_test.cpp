#include "app/store/quiet_choices.h"

#include "app/store/store_error.h"

#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using testsupport::ReadBytes;
using testsupport::TempDir;
using testsupport::WriteBytes;

namespace kestrane {
namespace {

constexpr const char* kDefaults =
    "FullScreen;1\r\nShared;1\r\nDoNotDisturb;1\r\nHours;0\r\nDays;Mon,Tue,Wed,Thu,Fri\r\n"
    "From;09:00\r\nTo;17:30\r\nKey;\r\n";

TEST(QuietChoicesFile, ReadsWritesAndFallsBack) {
    TempDir app;
    fs::create_directory(app / "Images");
    const fs::path file = app / "Images/SelectedQuiet.txt";

    // Missing: every choice on but the hours; neither reading nor Close makes the file.
    EXPECT_EQ(ReadQuietChoices(app.path()), QuietChoices{});
    SaveQuietChoicesIfChanged(app.path(), QuietChoices{});
    EXPECT_FALSE(fs::exists(file));

    SaveQuietChoices(app.path(), QuietChoices{});
    EXPECT_EQ(ReadBytes(file), kDefaults);
    QuietChoices c;
    c.fullScreen = false;
    c.doNotDisturb = false;
    c.hours = true;
    c.days = (1U << 5) | (1U << 6);  // Saturday and Sunday
    c.from = 22 * 60 + 5;
    c.to = 6 * 60;
    c.key = "Ctrl+Alt+;";  // the rest of the line, a separator too
    SaveQuietChoices(app.path(), c);
    EXPECT_EQ(ReadBytes(file),
              "FullScreen;0\r\nShared;1\r\nDoNotDisturb;0\r\nHours;1\r\nDays;Sat,Sun\r\n"
              "From;22:05\r\nTo;06:00\r\nKey;Ctrl+Alt+;\r\n");
    EXPECT_EQ(ReadQuietChoices(app.path()), c);

    // Hand-edited: any order and case, LF alone, spaces, a day list in any order; a line that
    // cannot be read keeps its default, and reading never rewrites the file.
    const char* edited = "to;7:45\nhours;TRUE\ndays; sun , mon\nFrom;25:00\nShared;maybe\n";
    WriteBytes(file, edited);
    c = ReadQuietChoices(app.path());
    EXPECT_TRUE(c.hours);
    EXPECT_EQ(c.days, (1U << 0) | (1U << 6));
    EXPECT_EQ(c.from, 9 * 60);
    EXPECT_EQ(c.to, 7 * 60 + 45);
    EXPECT_TRUE(c.shared);
    EXPECT_EQ(c.key, "");  // a file from before the key: none
    EXPECT_EQ(ReadBytes(file), edited);
    WriteBytes(file, "Days;Mon,Funday\r\nDays;\r\n");  // an unknown day: the line is ignored;
    EXPECT_EQ(ReadQuietChoices(app.path()).days, 0U);  // an empty list is no day at all

    // Close writes only choices the file does not say yet.
    WriteBytes(file, kDefaults);
    const auto stamp = fs::last_write_time(file);
    fs::permissions(file, fs::perms::owner_read);
    EXPECT_NO_THROW(SaveQuietChoicesIfChanged(app.path(), QuietChoices{}));
    EXPECT_EQ(fs::last_write_time(file), stamp);
    // A file that cannot be written keeps its bytes, and the failure names it.
    try {
        SaveQuietChoicesIfChanged(app.path(), c);
        ADD_FAILURE() << "a read-only file was written";
    } catch (const StoreError& e) {
        EXPECT_NE(e.description().find("SelectedQuiet.txt"), std::string::npos) << e.what();
    }
    fs::permissions(file, fs::perms::owner_all);
    EXPECT_EQ(ReadBytes(file), kDefaults);
}

TEST(QuietChoicesFile, TimesOfDay) {
    int m = -1;
    EXPECT_TRUE(ParseTimeOfDay("00:00", m));
    EXPECT_EQ(m, 0);
    EXPECT_TRUE(ParseTimeOfDay("9:05", m));
    EXPECT_EQ(m, 545);
    EXPECT_TRUE(ParseTimeOfDay("23:59", m));
    EXPECT_EQ(m, 1439);
    for (const char* bad : {"24:00", "12:60", "12", "12:5", "-1:00", "123:00", "ab:cd", ""}) {
        m = 7;
        EXPECT_FALSE(ParseTimeOfDay(bad, m)) << bad;
        EXPECT_EQ(m, 7);
    }
    EXPECT_EQ(FormatTimeOfDay(545), "09:05");
    EXPECT_EQ(FormatTimeOfDay(1439), "23:59");
}

}  // namespace
}  // namespace kestrane
