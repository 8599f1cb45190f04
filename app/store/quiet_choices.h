// The quiet choices file, \Images\SelectedQuiet.txt: when the messages stay away. Kept apart from
// the options file, whose eight lines stay as they are; one key;value line each, ended by CR LF:
//
//   FullScreen;1              not over a full-screen window (0: over it too)
//   Shared;1                  not while the screen is shared or recorded
//   DoNotDisturb;1            not while the desktop's Do Not Disturb is on
//   Hours;0                   only in the hours below (0: at any hour)
//   Days;Mon,Tue,Wed,Thu,Fri  the weekdays of the hours
//   From;09:00                the hours' start, 24-hour clock
//   To;17:30                  their end; not after the start: past midnight
//   Key;Ctrl+Alt+K            the key that starts and stops the flashing (empty: none), as a
//                             key sequence's portable text, the rest of the line
//
// A missing file, line or a value that cannot be read gives that line's default (the ones
// shown); the hours are off until the user gives them, and a file without a key names none.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kestrane {

inline constexpr std::string_view kQuietFileSuffix = "\\Images\\SelectedQuiet.txt";

struct QuietChoices {
    bool fullScreen = true;
    bool shared = true;
    bool doNotDisturb = true;
    bool hours = false;
    unsigned days = 0x1F;   // bit 0 Monday ... bit 6 Sunday
    int from = 9 * 60;      // minutes after midnight
    int to = 17 * 60 + 30;  // minutes after midnight
    std::string key;        // the start and stop key; empty for none
    bool operator==(const QuietChoices&) const = default;
};

QuietChoices ParseQuietChoices(std::string_view bytes);
std::string FormatQuietChoices(const QuietChoices& choices);

// "09:00" for 540; and back, nothing for text that is no time of day (H:MM or HH:MM).
std::string FormatTimeOfDay(int minutes);
bool ParseTimeOfDay(std::string_view text, int& minutes);

// Reads the file: defaults when it is missing or cannot be read; never writes, never throws.
QuietChoices ReadQuietChoices(const std::filesystem::path& appFolder);

// Replaces the file as a whole (or creates it). Throws StoreError naming the file and the
// reason when it cannot be written; the file then keeps what it held.
void SaveQuietChoices(const std::filesystem::path& appFolder, const QuietChoices& choices);

// The same, only when the file does not already say these choices (an earlier save failed):
// what Close uses, so that a file that is up to date is never touched.
void SaveQuietChoicesIfChanged(const std::filesystem::path& appFolder, const QuietChoices& choices);

}  // namespace kestrane
