// One entry of the category catalogue: a category's name with the user's tick. The two
// category lists of the control panel show these entries in catalogue order.
#pragma once

#include <string>
#include <vector>

namespace kestrane {

struct CategoryEntry {
    std::string name;  // the bytes of the name as the selection file holds them
    bool ticked = false;

    bool operator==(const CategoryEntry&) const = default;
};

using CategoryList = std::vector<CategoryEntry>;

}  // namespace kestrane
