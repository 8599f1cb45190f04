// The program's command line. Without options kestrane starts as it always has (a second start
// while one runs ends at once). With one of the options below it hands that request to the
// running kestrane over the session bus and ends, before any window is made:
//
//   --start --stop --toggle --show --hide --quit   the tray menu's entries and the Close picture
//   --status                                       prints "running"/"stopped", "shown"/"hidden",
//                                                  while no message shows why, and
//                                                  "flash: <path>" (LayeredWindow's FlashPath)
//   --pause MINUTES                                holds the messages that long (1 to 1440)
//   --help                                         prints this list
//   --version                                      prints the version (CMake's project version)
//
// Exit status: 0 done; 1 when no kestrane runs (or it cannot be reached, or --quit did not end
// it), with the reason on the error output; 2 for an option it does not know. --start starts
// the program as a plain start does and then the flashing; when a kestrane runs already, the
// single-instance rule ends this one and the start goes to the running one instead. Qt's own
// options (-platform, -display, ...) pass as they always have.
#pragma once

#include <optional>

namespace kestrane {

struct CommandLineOutcome {
    // Set: the process ends with this status now. Unset: the program starts.
    std::optional<int> exitStatus;
    // The program starts because of --start: it starts the flashing once it is up.
    bool startRun = false;
};

CommandLineOutcome HandCommandLine(int argc, char** argv);

// After a start with --start found another kestrane already holding the single-instance lock
// (it was starting at the same moment, or it is not on the session bus): the start request is
// handed to it once it is on the bus. The process's exit status; a plain second start (no
// --start) ends with 0, as it always has, having asked the running one to bring its panel up
// when it has no tray icon to do that.
int AfterRefusedStart(const CommandLineOutcome& outcome);

}  // namespace kestrane
