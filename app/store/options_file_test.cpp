#include "app/store/options_file.h"

#include "tests/support/test_support.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using testsupport::ReadBytes;
using testsupport::TempDir;
using testsupport::WriteBytes;

namespace kestrane {
namespace {

constexpr char kDefaultFile[] =
    "Color;16711680\r\nMsgduration;100\r\nTimeBtnMsgs;1\r\nMsgOption;Center\r\n"
    "SelFont;Arial\r\nSelFontBold;True\r\nSelFontItalic;False\r\nSelFontSize;16\r\n";

std::string OptionsWith(int lineIndex, const std::string& line) {
    std::vector<std::string> lines{"Color;16711680",      "Msgduration;100", "TimeBtnMsgs;1",
                                   "MsgOption;Center",    "SelFont;Arial",   "SelFontBold;True",
                                   "SelFontItalic;False", "SelFontSize;16"};
    lines[static_cast<size_t>(lineIndex)] = line;
    std::string text;
    for (const auto& l : lines) {
        text += l + "\r\n";
    }
    return text;
}

TEST(OptionsFile, MissingFileIsCreatedWithTheDefaults) {
    TempDir app;
    fs::create_directory(app / "Images");
    const OptionsRead r = ReadOptions(app.path(), FlashOptions{});
    EXPECT_EQ(r.options, FlashOptions::Defaults());
    EXPECT_EQ(r.durationBox, "100");
    EXPECT_EQ(r.intervalBox, "1");
    EXPECT_EQ(r.position, PositionButton::Center);
    EXPECT_TRUE(r.createdFile);
    EXPECT_EQ(ReadBytes(app / "Images/SelectedOptions.txt"), kDefaultFile);

    // Without an Images folder the defaults live in memory only.
    TempDir bare;
    const OptionsRead m = ReadOptions(bare.path(), FlashOptions{});
    EXPECT_EQ(m.options, FlashOptions::Defaults());
    EXPECT_FALSE(m.createdFile);
    EXPECT_FALSE(SaveOptions(bare.path(), m.options));
    EXPECT_FALSE(fs::exists(bare / "Images"));
}

TEST(OptionsFile, TimingValuesFallBack) {
    const FlashOptions before;
    struct Case {
        std::string line;
        std::int16_t duration;
        std::string box;
    };
    for (const Case& c : std::vector<Case>{{"Msgduration;0", 1, "1"},
                                           {"Msgduration;abc", 1, "1"},
                                           {"Msgduration;", 100, "100"},
                                           {"Msgduration", 100, "100"},
                                           {"Msgduration; 250 ", 250, "250"},
                                           {"Msgduration;-5", -5, "-5"},
                                           {"Msgduration;99999", 32767, "32767"},
                                           {"Msgduration;7;junk", 7, "7"}}) {
        const OptionsRead r = ParseOptions(OptionsWith(1, c.line), before);
        EXPECT_EQ(r.options.Msgduration, c.duration) << c.line;
        EXPECT_EQ(r.durationBox, c.box) << c.line;
    }
    // No upper limit for the pause at reading.
    OptionsRead r = ParseOptions(OptionsWith(2, "TimeBtnMsgs;90"), before);
    EXPECT_EQ(r.options.TimeBtnMsgs, 90);
    EXPECT_EQ(r.intervalBox, "90");
    EXPECT_EQ(ParseOptions(OptionsWith(2, "TimeBtnMsgs;"), before).options.TimeBtnMsgs, 1);
    EXPECT_EQ(ParseOptions(OptionsWith(2, "TimeBtnMsgs;0"), before).options.TimeBtnMsgs, 1);
    EXPECT_EQ(ParseOptions(OptionsWith(2, "TimeBtnMsgs;x"), before).intervalBox, "1");
}

TEST(OptionsFile, ValuesAreTakenByPositionWithTheirFallbacks) {
    FlashOptions before;
    before.SelFontBold = true;
    before.SelFontSize = 9;
    before.Color = "keep";

    OptionsRead r = ParseOptions(OptionsWith(3, "MsgOption;Middle"), before);
    EXPECT_EQ(r.options.MsgOption, "Middle");
    EXPECT_EQ(r.position, PositionButton::None);
    EXPECT_EQ(ParseOptions(OptionsWith(3, "MsgOption;Top Right"), before).position,
              PositionButton::TopRight);
    EXPECT_EQ(ParseOptions(OptionsWith(3, "MsgOption;top left"), before).position,
              PositionButton::None);

    // A line without ";" keeps the option; an empty value empties it.
    EXPECT_EQ(ParseOptions(OptionsWith(0, "Color"), before).options.Color, "keep");
    EXPECT_EQ(ParseOptions(OptionsWith(0, "Color;"), before).options.Color, "");
    EXPECT_EQ(ParseOptions(OptionsWith(0, "Color;red"), before).options.Color, "red");
    // Booleans and the size keep their value when they cannot be read.
    EXPECT_TRUE(ParseOptions(OptionsWith(5, "SelFontBold;maybe"), before).options.SelFontBold);
    EXPECT_FALSE(ParseOptions(OptionsWith(5, "SelFontBold;false"), before).options.SelFontBold);
    EXPECT_TRUE(ParseOptions(OptionsWith(6, "SelFontItalic; TRUE "), before).options.SelFontItalic);
    EXPECT_EQ(ParseOptions(OptionsWith(7, "SelFontSize;big"), before).options.SelFontSize, 9);
    EXPECT_EQ(ParseOptions(OptionsWith(7, "SelFontSize;70000"), before).options.SelFontSize, 9);
    EXPECT_EQ(ParseOptions(OptionsWith(7, "SelFontSize;14"), before).options.SelFontSize, 14);

    // Lines in another order are read by position.
    r = ParseOptions("Msgduration;100\r\nColor;5\r\n", before);
    EXPECT_EQ(r.options.Color, "100");
    EXPECT_EQ(r.options.Msgduration, 5);
}

TEST(OptionsFile, ShortFilesAndLaterBlocks) {
    FlashOptions before;  // as at start: empty, 0, false
    // Three lines: the missing timing value takes its default, the rest stay as they were.
    OptionsRead r = ParseOptions("Color;255\nMsgduration;50\n", before);
    EXPECT_EQ(r.options.Color, "255");
    EXPECT_EQ(r.options.Msgduration, 50);
    EXPECT_EQ(r.options.TimeBtnMsgs, 1);
    EXPECT_EQ(r.intervalBox, "1");
    EXPECT_EQ(r.options.SelFont, "");
    EXPECT_EQ(r.options.SelFontSize, 0);
    EXPECT_EQ(r.position, PositionButton::None);

    // A second block overrides the first; the button selected by the first block stays.
    std::string text = OptionsWith(3, "MsgOption;Top Left") + "Color;1\r\nMsgduration;20\r\n" +
                       "TimeBtnMsgs;3\r\nMsgOption;Middle\r\n";
    r = ParseOptions(text, before);
    EXPECT_EQ(r.options.Color, "1");
    EXPECT_EQ(r.options.Msgduration, 20);
    EXPECT_EQ(r.options.TimeBtnMsgs, 3);
    EXPECT_EQ(r.options.MsgOption, "Middle");
    EXPECT_EQ(r.options.SelFont, "Arial");
    EXPECT_EQ(r.position, PositionButton::TopLeft);

    // Bytes without any line give the defaults.
    EXPECT_EQ(ParseOptions("", before).options, FlashOptions::Defaults());
}

TEST(OptionsFile, SaveWritesTheEightLinesAndRoundTrips) {
    TempDir app;
    const fs::path file = app / "Images/SelectedOptions.txt";
    FlashOptions o = FlashOptions::Defaults();
    fs::create_directory(app / "Images");
    EXPECT_FALSE(SaveOptions(app.path(), o));  // no file: nothing
    EXPECT_FALSE(fs::exists(file));

    WriteBytes(file, "junk");
    o.SelFontBold = false;
    o.SelFontItalic = true;
    o.SelFontSize = 14;
    o.Msgduration = -3;
    o.TimeBtnMsgs = 60;
    o.MsgOption = "Random";
    o.Color = "255";
    EXPECT_TRUE(SaveOptions(app.path(), o));
    EXPECT_EQ(ReadBytes(file),
              "Color;255\r\nMsgduration;-3\r\nTimeBtnMsgs;60\r\nMsgOption;Random\r\n"
              "SelFont;Arial\r\nSelFontBold;False\r\nSelFontItalic;True\r\nSelFontSize;14\r\n");
    const OptionsRead r = ReadOptions(app.path(), FlashOptions{});
    EXPECT_EQ(r.options, o);
    EXPECT_EQ(r.position, PositionButton::Random);
    EXPECT_FALSE(r.createdFile);

    fs::permissions(file, fs::perms::owner_read);
    EXPECT_FALSE(SaveOptions(app.path(), FlashOptions::Defaults()));
    EXPECT_EQ(ReadOptions(app.path(), FlashOptions{}).options, o);
}

TEST(OptionsFile, EmptyOrUnreadableFilesGiveTheDefaults) {
    TempDir app;
    const fs::path file = app / "images/selectedoptions.txt";
    WriteBytes(file, "");
    EXPECT_EQ(ReadOptions(app.path(), FlashOptions{}).options, FlashOptions::Defaults());
    EXPECT_EQ(ReadBytes(file), kDefaultFile);  // the empty file now holds the defaults
    // A file holding only a byte-order mark is empty too.
    WriteBytes(file, "\xEF\xBB\xBF");
    FlashOptions other = FlashOptions::Defaults();
    other.Msgduration = 7;
    EXPECT_EQ(ReadOptions(app.path(), other).options, FlashOptions::Defaults());
    EXPECT_EQ(ReadBytes(file), kDefaultFile);

    fs::remove(file);
    fs::create_directory(file);
    const OptionsRead r = ReadOptions(app.path(), FlashOptions{});
    EXPECT_EQ(r.options, FlashOptions::Defaults());
    EXPECT_FALSE(r.createdFile);
    EXPECT_TRUE(fs::is_directory(file));
}

}  // namespace
}  // namespace kestrane
