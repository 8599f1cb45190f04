// Where kestrane keeps its state. A portable program folder (the staged folder, an unpacked
// archive) keeps Images/ and Data/ beside the executable, as long as both can be written. An
// installed program folder (marked by kInstalledMarker) or one its user cannot write is left
// alone: the state then lives in the per-user folder $XDG_DATA_HOME/kestrane (default
// ~/.local/share/kestrane), with the same Images/ and Data/ layout and the same files, seeded
// from the program folder's shipped files.
//
// One running program per state folder: the folder is locked (platform::instance) before
// anything in it is seeded or tidied, whatever the executable or the environment.
#pragma once

#include "platform/instance/instance_lock.h"

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace kestrane {

// The file that marks an installed program folder. Its first line is the folder of the
// launcher (an executable or link named kestrane), relative to the program folder.
inline constexpr std::string_view kInstalledMarker = "installed.txt";

struct AppFolders {
    std::filesystem::path appFolder;  // Images/ and Data/ are read and written here
    std::filesystem::path runFolder;  // the autostart Run value names this folder's kestrane
    // Empty, or what keeps the per-user folder from being used, for the user to read; the
    // program then runs from the shipped files of the program folder and cannot save.
    std::string problem;
    // Empty, or where the programs and settings are when that is not where the user may look
    // for them (a program folder that cannot be written, or can be again), for the user to read.
    std::string notice;
    // The single-instance lock of the state folder, taken when no other process holds it
    // (else nothing was seeded or written). When the per-user folder cannot be used: its lock
    // if it could be taken there (other copies falling back the same way meet it), else the
    // lock of the program folder whose shipped files are shown.
    std::shared_ptr<platform::instance::InstanceLock> lock;
};

// The folder of a state folder that holds its single-instance lock file.
inline std::filesystem::path InstanceLockFolder(const std::filesystem::path& appFolder) {
    return appFolder / "Images";
}

// $XDG_DATA_HOME/kestrane, or ~/.local/share/kestrane.
std::filesystem::path PerUserFolder();

// Decides where the program whose executable lies in programFolder keeps its state, takes that
// folder's single-instance lock and, holding it, seeds the per-user folder when that is the
// place.
AppFolders ChooseAppFolders(const std::filesystem::path& programFolder);

// Copies the shipped files of programFolder into folder, each file replaced atomically:
//   - Images/: files that are missing; pictures and pages (everything but the three state
//     files) also when they differ from the shipped ones, so that a new version brings its own;
//     the state files (options, selection, autostart flag) once they exist are never touched;
//   - Data/: the sample categories, only when folder has no Data/ yet (a category the user
//     deleted does not come back); the folder appears whole or not at all.
// Throws std::filesystem::filesystem_error when something cannot be read or written.
void SeedAppFolder(const std::filesystem::path& programFolder, const std::filesystem::path& folder);

}  // namespace kestrane
