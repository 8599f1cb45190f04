// The rules for the name of a category ("program" in the user interface). The name is the
// file name of the category in the Data folder (name + ".txt"), a field of the selection file
// and the key by which the run list matches files, so it is checked before any file is
// touched.
#pragma once

#include "app/store/category_entry.h"

#include <optional>
#include <string>
#include <string_view>

namespace kestrane {

// The longest name, in bytes, that still leaves room for the category's temporary file
// (name + "temp.txt") within the 255 bytes that a file name may have.
inline constexpr size_t kMaxCategoryNameBytes = 255 - 8;

// Why name cannot be a category name, or nothing when it can: empty or only spaces; holding
// "/", "\", ";" or "."; holding a control character (0x00-0x1F, 0x7F); too long for a file.
std::optional<std::string> CategoryNameProblem(std::string_view name);

// Checks a name for a new category, or the new name of a renamed one (`replacing` is then its
// old name, which the new name may equal in any letter case). Beyond CategoryNameProblem it
// refuses a name that another category of the catalogue has without regard to case, and a
// name that would share a file with another category's temporary file (Health beside
// Healthtemp). Throws StoreError with the reason.
void CheckNewCategoryName(std::string_view name, const CategoryList& catalogue,
                          std::optional<std::string_view> replacing = std::nullopt);

// Whether two category names are the same without regard to ASCII letter case.
bool SameCategoryName(std::string_view a, std::string_view b);

}  // namespace kestrane
