// The screen choice file, \Images\SelectedScreen.txt: on which screen the messages appear - the
// primary screen, the screen with the pointer, or every screen at once. It is kept apart from the
// options file, whose eight lines stay as they are, and is one line key;value ended by CR LF:
// "Screen;Primary", "Screen;Pointer" or "Screen;Every".
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kestrane {

inline constexpr std::string_view kScreenFileSuffix = "\\Images\\SelectedScreen.txt";

enum class ScreenChoice { Primary, Pointer, Every };

// The choice that the bytes of the file name: the value of the first line (the text after its
// first ";", up to a next ";"), the words compared without regard to case. Anything else - no
// line, no ";", another word - is the primary screen.
ScreenChoice ParseScreenChoice(std::string_view bytes);

// The file's bytes for a choice.
std::string FormatScreenChoice(ScreenChoice choice);

// Reads the file. A missing file, or one that cannot be read, gives the primary screen; reading
// never writes (the file is made when the user first makes a choice). Never throws.
ScreenChoice ReadScreenChoice(const std::filesystem::path& appFolder);

// Writes the choice, replacing the file as a whole (or creating it). Throws StoreError naming
// the file and the reason when it cannot be written; the file then keeps what it held.
void SaveScreenChoice(const std::filesystem::path& appFolder, ScreenChoice choice);

// The same, but only when the file does not already say the choice (an earlier save failed; a
// missing file says the primary screen): what Close uses, so that a file that is up to date,
// or hand-written in its own spelling, is never touched.
void SaveScreenChoiceIfChanged(const std::filesystem::path& appFolder, ScreenChoice choice);

}  // namespace kestrane
