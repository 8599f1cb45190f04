// Autostart: the flag file \Images\AutoStart.txt ("1" on, "0" off; read and rewritten only when
// it exists, never created) and the value MyVBApp1 under the current user's Run key, which
// holds the run folder + "\kestrane.exe" when on and the empty string when off. The run folder
// is the application folder, except for an installed program, whose state lives in a per-user
// folder and whose Run value names the launcher's folder.
// Every failure is ignored; the only message is "Select Veltrane Program".
#pragma once

#include "app/store/category_entry.h"
#include "platform/dialogs/dialogs.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace kestrane {

inline constexpr std::string_view kAutoStartFileSuffix = "\\Images\\AutoStart.txt";
inline constexpr std::string_view kRunValuePath =
    "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\MyVBApp1";

// The autostart tick box (Check1) as the autostart logic sees it. SetTicked changes the box
// from code; when the state changes, the box runs its click behaviour, SetAutoStart, before
// SetTicked returns, exactly as a user's click does.
class AutoStartCheckBox {
  public:
    virtual bool IsTicked() const = 0;
    virtual void SetTicked(bool ticked) = 0;

  protected:
    ~AutoStartCheckBox() = default;
};

// The data of the Run value when autostart is on: appFolder + "\kestrane.exe", unquoted.
std::string RunValueData(const std::filesystem::path& appFolder);

// Whether the flag file's bytes mean on: the first line reads as 1, or there is no line, or the
// line is not a number. Any other number means off.
bool AutoStartFlagIsOn(std::string_view bytes);

// The click behaviour of the box: writes the flag file (when it exists) and the Run value for
// the box's state. Ticking it while no category of `selection` is ticked shows "Select Veltrane
// Program" and clears the box, which runs this again for the clear state.
// An empty runFolder is the application folder.
void SetAutoStart(const std::filesystem::path& appFolder, AutoStartCheckBox& check1,
                  const CategoryList& selection, platform::Dialogs& dialogs,
                  const std::filesystem::path& runFolder = {});

// Start-up: sets the box from the flag file and writes the Run value to match. Without a flag
// file nothing happens. The flag file is read and closed before the box is changed.
void ApplyAutoStart(const std::filesystem::path& appFolder, AutoStartCheckBox& check1,
                    const std::filesystem::path& runFolder = {});

}  // namespace kestrane
