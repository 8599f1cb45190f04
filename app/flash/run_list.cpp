#include "app/flash/run_list.h"

#include "app/store/category_file.h"
#include "app/store/store_error.h"
#include "app/store/text_file.h"

namespace fs = std::filesystem;

namespace kestrane {

std::int16_t BuildRunList(const fs::path& appFolder, const CategoryList& selection, RunList& list) {
    // The counter is a 16-bit number: it stops at 32767, so a run holds at most 32766
    // messages and any further ones are left out.
    constexpr int kMaxCounter = 32767;
    int counter = 1;

    std::vector<std::string> files;
    fs::path folder;
    try {
        // The same folder as every category operation uses, whatever its spelling on disk.
        folder = ResolvePath(appFolder, "\\Data");
        files = ListFiles(folder);  // sorted by name: the run order
    } catch (const StoreError&) {
        return static_cast<std::int16_t>(counter);  // no Data folder: nothing found
    }

    for (const auto& file : files) {
        const std::string_view base = std::string_view(file).substr(0, file.find('.'));
        bool matched = false;
        for (const auto& entry : selection) {
            if (entry.ticked && entry.name == base) {
                matched = true;
                break;
            }
        }
        if (!matched) {
            continue;
        }
        try {
            // Read on only while the list can still take a message.
            ForEachFileLine(folder / file, [&](std::string_view line) {
                if (!line.empty() && counter < kMaxCounter) {
                    Message m = ParseMessageLine(line);
                    if (m.included) {
                        list.RedimPreserve(counter);
                        list.Set(counter - 1, std::move(m.text));
                        ++counter;
                    }
                }
                return counter < kMaxCounter;
            });
        } catch (const StoreError&) {
            continue;  // a file that cannot be read is skipped; what it gave stays
        }
        if (counter >= kMaxCounter) {
            break;
        }
    }
    return static_cast<std::int16_t>(counter);
}

}  // namespace kestrane
