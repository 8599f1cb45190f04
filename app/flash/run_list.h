// The run list: the message texts of the current run, in run order, rebuilt from the
// category files at every start and read by the flash window.
#pragma once

#include "app/store/category_entry.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kestrane {

// An array with lower bound 0. After a build that found n messages (n >= 1) its bounds are
// 0 to n: slots 0 to n-1 hold the texts in run order and slot n is not a message. Before the
// first successful build it has no bounds at all.
class RunList {
  public:
    bool HasBounds() const { return !slots_.empty(); }
    // The upper bound n; -1 while the list has no bounds.
    int UBound() const { return static_cast<int>(slots_.size()) - 1; }
    // Slot i, 0 <= i <= UBound(); the bytes of the message text.
    const std::string& At(int i) const { return slots_.at(static_cast<size_t>(i)); }

    // Resizes to bounds 0..upper keeping the slots that remain (ReDim Preserve).
    void RedimPreserve(int upper) { slots_.resize(static_cast<size_t>(upper) + 1); }
    void Set(int i, std::string text) { slots_.at(static_cast<size_t>(i)) = std::move(text); }

  private:
    std::vector<std::string> slots_;
};

// Fills list from the files of appFolder's Data folder whose base name equals a ticked
// entry's name (case-sensitive): files in order of their names, lines in file order.
// Returns the build's counter: 1 + the number of messages found (at most 32767). When
// nothing was found the list is left exactly as it was.
std::int16_t BuildRunList(const std::filesystem::path& appFolder, const CategoryList& selection,
                          RunList& list);

}  // namespace kestrane
