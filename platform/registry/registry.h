// The registry: small keyed stores of string values that stand in for the current user's hive
// (HKCU) and the machine's (HKLM). Each lives in one text file, which every change replaces
// atomically under a lock, so the program and the regsvr tool can use it side by side:
//   - the user's under $XDG_CONFIG_HOME (default ~/.config), kestrane/registry.txt;
//   - the machine's under the system configuration folders, kestrane/registry.txt in the
//     first folder of $XDG_CONFIG_DIRS (default /etc/xdg) that has one, else in the first
//     folder. Users read it; only its owner (root, through the package's maintainer scripts)
//     writes it. Tests point XDG_CONFIG_DIRS at a folder of their own.
// The lock is released by the system when its holder ends, a kill included, so a lock file
// left behind never blocks a later write.
//
// Keys are paths such as "HKCU\Software\Classes\CLSID\{...}\InprocServer32"; "HKCU" and
// "HKEY_CURRENT_USER" name the same root, as do "HKLM" and "HKEY_LOCAL_MACHINE", and keys and
// value names compare without regard to ASCII letter case, as the system's registry does.
// Any other root is refused with an error. The empty value name is a key's default value.
// Values are byte strings (the only type stored is REG_SZ).
//
// Writing a value directly under the current user's Run key also realises it as an XDG
// autostart entry (see RegWrite).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::registry {

// The file that holds the current user's store.
std::filesystem::path StorePath();

// The file that holds the machine's store (see above; it need not exist).
std::filesystem::path MachineStorePath();

// The folder of XDG autostart entries ($XDG_CONFIG_HOME/autostart).
std::filesystem::path AutostartFolder();

// Creates the key with all its parents and sets one value of it. Returns false and fills
// *error with a description when the key is malformed or the store cannot be written.
bool SetValue(std::string_view key, std::string_view name, std::string_view data,
              std::string* error = nullptr);

// The data of a value, or nothing when the key or the value does not exist.
std::optional<std::string> GetValue(std::string_view key, std::string_view name);

// Whether the key exists (created by SetValue or CreateKey).
bool KeyExists(std::string_view key);

// Creates a key (and its parents) without values.
bool CreateKey(std::string_view key, std::string* error = nullptr);

// Removes one value; succeeds when it did not exist.
bool DeleteValue(std::string_view key, std::string_view name, std::string* error = nullptr);

// Removes a key with all its values and subkeys; succeeds when it did not exist.
bool DeleteKeyTree(std::string_view key, std::string* error = nullptr);

// The names of the direct subkeys of a key, as they were first spelled.
std::vector<std::string> SubKeys(std::string_view key);

// The scripting host's RegWrite: valuePath is a key followed by "\" and a value name; a path
// that ends in "\" names the key's default value. Only the type "REG_SZ" is supported; others
// are refused with an error. The value is created or replaced.
//
// A value written directly under HKCU\Software\Microsoft\Windows\CurrentVersion\Run is also
// written as the XDG autostart entry <value name>.desktop, so that the desktop starts the
// program at logon: Type=Application, Exec= the path the data names (the separator "\" before
// the file name turned into "/", every "\" when the data does not begin with "/", and a
// trailing ".exe" dropped when only the file without it exists),
// quoted as the desktop-entry rules need, and Hidden=true when the data is empty. The entry
// is replaced atomically and never deleted.
bool RegWrite(std::string_view valuePath, std::string_view data, std::string_view type,
              std::string* error = nullptr);

// Start-up of a program that writes the user's store: removes the temporary files that a
// process killed while it replaced the store or an autostart entry of a Run value left beside
// them. Runs under the store's lock, so no write in progress loses its file. Never fails.
void RemoveLeftovers();

}  // namespace platform::registry
