// The options file, \Images\SelectedOptions.txt: the eight settings of FlashOptions as eight
// lines key;value, each ended by CR LF, read by line position (the keys are never looked at).
// Failures of the options file are never reported: reading falls back as described below and
// SaveOptions reports only whether it wrote.
#pragma once

#include "app/store/flash_options.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace kestrane {

inline constexpr std::string_view kOptionsFileSuffix = "\\Images\\SelectedOptions.txt";

// The position button that the control panel selects after reading.
enum class PositionButton { None, TopLeft, TopRight, Random, Center };

// The button for a MsgOption word, the words tried as "Top Left", "Top Right", "Random",
// "Center"; any other word selects none.
PositionButton PositionButtonFor(std::string_view msgOption);

// What the control panel applies after reading, so that it never reads the file again.
struct OptionsRead {
    FlashOptions options;
    std::string durationBox;  // text of the duration box (TxtMessageDuration)
    std::string intervalBox;  // text of the interval box (txtTimeBetweenMessages)
    // The button to select; None leaves the buttons as they are. Selecting a button that is
    // not selected yet runs its click behaviour, which stores the same word and saves.
    PositionButton position = PositionButton::None;
    bool createdFile = false;  // the file was missing and has been created with the defaults
};

// Reads options bytes on top of `before` (the record as it was before the read). The lines are
// taken in blocks of eight; each later block overrides the one before it. In each block:
//  1 Color, 4 MsgOption and 5 SelFont take the text after the first ";" (up to a next ";");
//  2 Msgduration and 3 TimeBtnMsgs: empty or missing gives 100 and 1; 0 or not a number
//    gives 1; a number beyond the field's range is clamped to it;
//  6 SelFontBold, 7 SelFontItalic: "True"/"False" (any case) or a number (0 is false);
//  8 SelFontSize: a number that fits 16 bits.
// A missing line or one without ";" leaves its option as it was (the timing values then take
// 100 and 1), and so does a value that cannot be read. The position is the last block's
// button other than None. Bytes without any line give the defaults.
OptionsRead ParseOptions(std::string_view bytes, const FlashOptions& before);

// Reads the options file. A missing file is created with the defaults (when that fails, the
// defaults live in memory only); an empty file is rewritten with the defaults; a file that
// cannot be read (a folder, no permission) gives the defaults and is left alone.
OptionsRead ReadOptions(const std::filesystem::path& appFolder, const FlashOptions& before);

// The eight lines of the file for a record.
std::string FormatOptions(const FlashOptions& options);

// Rewrites the existing options file from the record. Returns false, changing nothing, when the
// file does not exist or cannot be written.
bool SaveOptions(const std::filesystem::path& appFolder, const FlashOptions& options);

// The same for a caller that reports failures (Close): returns false, changing nothing, when
// the file does not exist, and throws StoreError naming the file and the reason when it cannot
// be written.
bool SaveOptionsReporting(const std::filesystem::path& appFolder, const FlashOptions& options);

}  // namespace kestrane
