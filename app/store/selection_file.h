// The selection file, \Images\SelectedPrograms.txt: the catalogue of categories in list order,
// one line name + ";" + tick ("1" ticked, "0" not) per category, every line ended by CR LF.
// Failures throw StoreError (see store_error.h).
#pragma once

#include "app/store/category_entry.h"

#include <filesystem>
#include <string_view>

namespace kestrane {

inline constexpr std::string_view kSelectionFileSuffix = "\\Images\\SelectedPrograms.txt";

// The entries of the selection file's bytes: the name is the text before the first ";"; the
// entry is ticked when the field after it reads as 1, is missing or is not a number, and clear
// for any other number. Empty lines are skipped, so every following tick stays on its own
// entry.
CategoryList ParseSelection(std::string_view bytes);

// The catalogue from the file; empty when the file does not exist. Throws StoreError, saying
// what is wrong, when it is a symbolic link that leads nowhere (a missing list is then not
// known to be empty).
CategoryList ReadSelectedPrograms(const std::filesystem::path& appFolder);

// Replaces the file with one line per entry. A missing file is created when create is true;
// otherwise nothing happens.
void WriteSelectedPrograms(const std::filesystem::path& appFolder, const CategoryList& entries,
                           bool create);

// Adds the line name + ";0" at the end, creating the file when it is missing.
void AppendSelectedProgram(const std::filesystem::path& appFolder, std::string_view name);

}  // namespace kestrane
