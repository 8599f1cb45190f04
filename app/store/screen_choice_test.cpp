#include "app/store/screen_choice.h"

#include "app/store/store_error.h"

#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using testsupport::ReadBytes;
using testsupport::TempDir;
using testsupport::WriteBytes;

namespace kestrane {
namespace {

TEST(ScreenChoiceFile, ReadsWritesAndFallsBack) {
    TempDir app;
    fs::create_directory(app / "Images");
    const fs::path file = app / "Images/SelectedScreen.txt";

    // Missing: the primary screen; neither reading nor Close makes the file for it.
    EXPECT_EQ(ReadScreenChoice(app.path()), ScreenChoice::Primary);
    SaveScreenChoiceIfChanged(app.path(), ScreenChoice::Primary);
    EXPECT_FALSE(fs::exists(file));

    // Each choice round-trips, byte for byte.
    for (const auto& [choice, bytes] : {std::pair{ScreenChoice::Pointer, "Screen;Pointer\r\n"},
                                        std::pair{ScreenChoice::Every, "Screen;Every\r\n"},
                                        std::pair{ScreenChoice::Primary, "Screen;Primary\r\n"}}) {
        SaveScreenChoice(app.path(), choice);
        EXPECT_EQ(ReadBytes(file), bytes);
        EXPECT_EQ(ReadScreenChoice(app.path()), choice);
    }

    // Hand-edited and bad contents: any case, LF alone, a trailing field; anything else is the
    // primary screen, and reading never rewrites the file.
    const std::pair<const char*, ScreenChoice> read[] = {
        {"screen;EVERY", ScreenChoice::Every},
        {"Screen;Pointer;x\n", ScreenChoice::Pointer},
        {"Screen;Both\r\n", ScreenChoice::Primary},
        {"Every\r\n", ScreenChoice::Primary},
        {"", ScreenChoice::Primary},
        {"\r\nScreen;Every\r\n", ScreenChoice::Primary},
    };
    for (const auto& [bytes, choice] : read) {
        WriteBytes(file, bytes);
        EXPECT_EQ(ReadScreenChoice(app.path()), choice) << bytes;
        EXPECT_EQ(ReadBytes(file), bytes);
    }

    // Close writes only a choice the file does not say yet, in whatever spelling.
    WriteBytes(file, "screen;EVERY");
    fs::permissions(file, fs::perms::owner_read);
    EXPECT_NO_THROW(SaveScreenChoiceIfChanged(app.path(), ScreenChoice::Every));
    fs::permissions(file, fs::perms::owner_all);
    WriteBytes(file, "Screen;Every\r\n");
    const auto stamp = fs::last_write_time(file);
    fs::permissions(file, fs::perms::owner_read);
    EXPECT_NO_THROW(SaveScreenChoiceIfChanged(app.path(), ScreenChoice::Every));
    EXPECT_EQ(fs::last_write_time(file), stamp);

    // A file that cannot be written keeps its bytes, and the failure names it.
    try {
        SaveScreenChoiceIfChanged(app.path(), ScreenChoice::Pointer);
        ADD_FAILURE() << "a read-only file was written";
    } catch (const StoreError& e) {
        EXPECT_NE(e.description().find("SelectedScreen.txt"), std::string::npos) << e.what();
        EXPECT_EQ(e.reason(), "Permission denied");
    }
    EXPECT_EQ(ReadBytes(file), "Screen;Every\r\n");

    // Without an Images folder the choice lives in memory only.
    TempDir bare;
    EXPECT_EQ(ReadScreenChoice(bare.path()), ScreenChoice::Primary);
    EXPECT_THROW(SaveScreenChoice(bare.path(), ScreenChoice::Every), StoreError);
    EXPECT_FALSE(fs::exists(bare / "Images"));
}

}  // namespace
}  // namespace kestrane
