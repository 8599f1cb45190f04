// What the files of the registry store share: the store in memory and its file, where the
// user's configuration lives, how an error is handed back, and the autostart entry that
// mirrors each Run value.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::registry::detail {

struct Key {
    std::string spelled;
    std::map<std::string, std::pair<std::string, std::string>> values;  // lower name -> name, data
};

using Store = std::map<std::string, Key>;  // lower key -> key

// ASCII letters in lower case: keys and value names are compared so.
std::string Lower(std::string_view s);
// Adds key and every key above it to the store.
void EnsureKey(Store& store, const std::string& key);
// The store in the file at path (empty when there is none or it cannot be read).
Store Load(const std::filesystem::path& path);
// Replaces the file at path as a whole with the store.
bool Save(const std::filesystem::path& path, const Store& store, std::string* error);

// The user's configuration folder ($XDG_CONFIG_HOME, else ~/.config).
std::filesystem::path ConfigHome();
// Stores text in *error when error is not null.
void SetError(std::string* error, std::string text);
// Replaces the file at path as a whole with text, atomically; `what` names it in the error.
bool WriteWhole(const std::filesystem::path& path, const std::string& text, const std::string& what,
                std::string* error);
// The parts of text between the separators (one more than there are separators).
std::vector<std::string> Split(std::string_view text, char separator);
// Writes (replacing it as a whole) the desktop autostart entry `name`.desktop for a Run value
// whose data names the program; empty data writes the entry switched off.
bool WriteAutostartEntry(const std::string& name, const std::string& data, std::string* error);

}  // namespace platform::registry::detail
