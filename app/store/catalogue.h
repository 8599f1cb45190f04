// Changes of the catalogue: creating, importing, renaming and deleting a category each change a
// category file and the selection file. They run their steps in an order that leaves whole
// data at every moment, and undo their own steps when a later one fails:
//
//   Create, Import  the new file, then its line in the selection file;
//   Rename          the new file, then the selection file, then the old file goes;
//   Delete          the selection file, then the file goes.
//
// So every listed category has its file at every moment, and a failure (reported as
// StoreError naming the file and the reason) leaves the catalogue as it was. What a kill
// between two steps can leave is a category file that no line lists; each change writes down
// the files it is about to create or remove (a small file of ours in the Data folder) before
// it starts, and RemoveLeftovers at the next start finishes or undoes the change from it, so
// no such file keeps blocking a name and no messages are lost.
#pragma once

#include "app/store/category_entry.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace kestrane {

// Creates the empty file of a new category and appends name + ";0" to the selection file
// (creating it when missing). Refuses names as CreateCategoryFile does.
void CreateCategory(const std::filesystem::path& appFolder, const CategoryList& catalogue,
                    std::string_view name);

// Makes a category from a plain text file (see ImportPlainText) and appends its line to the
// selection file. Returns the category's name.
std::string ImportCategory(const std::filesystem::path& appFolder, const CategoryList& catalogue,
                           const std::filesystem::path& sourcePath,
                           std::string_view sourceFileName);

// Gives catalogue[index] the name newName: the category file is copied as CopyCategoryFile
// does and the selection file (when it exists) is rewritten with the entry removed and
// newName + ";0" at the end. Refuses names as CopyCategoryFile does, and an old file that
// could not be removed (read-only), before anything changes.
void RenameCategory(const std::filesystem::path& appFolder, const CategoryList& catalogue,
                    size_t index, std::string_view newName);

// Removes catalogue[index]: the selection file (when it exists) is rewritten without it, then
// its file is removed. The file must exist.
void DeleteCategory(const std::filesystem::path& appFolder, const CategoryList& catalogue,
                    size_t index);

// The files that a record of a change cut short names, one file name a line, each directly in
// dataFolder. A line that could name anything else is skipped.
std::vector<std::filesystem::path> PendingRecordFiles(const std::filesystem::path& dataFolder,
                                                      std::string_view bytes);

// Start-up, only while this process holds the data's single-instance lock (another process's
// files in the making would look like leftovers): finishes or undoes a change of the
// catalogue that was cut short (see above), removes the temporary files of ours
// (.kestrane-*.tmp) in the Data and Images folders and the staging folder of a first filling
// of the per-user folder (.kestrane-seed-*). A category's own temporary file (<name>temp.txt)
// is left alone. Never throws.
void RemoveLeftovers(const std::filesystem::path& appFolder);

}  // namespace kestrane
