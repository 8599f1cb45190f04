// The state that the control panel and the flash window share for the life of the program:
// the options record, the run list and the two run flags. The control panel owns the one
// instance and hands it to both windows.
#pragma once

#include "app/flash/run_list.h"
#include "app/store/flash_options.h"
#include "app/store/quiet_choices.h"
#include "app/store/screen_choice.h"

#include <vector>

class QScreen;

namespace kestrane {

struct SharedState {
    FlashOptions flashOptions;
    // Which screen the messages go to (kept in a file of its own beside the options).
    ScreenChoice screenChoice = ScreenChoice::Primary;
    // When the messages stay away (kept in a file of its own beside the options).
    QuietChoices quietChoices;
    // Screens that hold a full-screen window while messages go to every screen: they get no
    // copy while another screen is left (only compared, never used).
    std::vector<QScreen*> quietScreens;
    RunList runList;
    // True while no run is in progress, so that the Start/Stop button means Start.
    bool Idle = true;
    // True from the moment a run starts until it is stopped; the tray menu reads it.
    bool RunWanted = false;
};

}  // namespace kestrane
