// Fuzzes the record of a catalogue change cut short (Data/.kestrane-pending.txt), which start-up
// reads to finish or undo the change and which names files to remove: whatever its bytes, every
// file it names lies directly in the Data folder, and RemoveLeftovers removes or writes nothing
// anywhere else. Every file step of the store is watched, with the path as the system receives it
// (up to a NUL byte), and the files beside the Data folder must still be there afterwards.
#include "app/store/catalogue.h"
#include "app/store/text_file.h"
#include "tests/support/fuzz_scratch.h"

#include <unistd.h>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string_view>

namespace fs = std::filesystem;
using namespace kestrane;

namespace {

// The scratch application folder, removed when the fuzzer ends.
struct Scratch : kestrane::fuzz::FuzzScratch {
    Scratch() : FuzzScratch("pending") {}
};

void Put(const fs::path& file, std::string_view bytes) {
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Whether the path the system would be handed names an entry directly inside `folder`.
bool DirectlyInside(const fs::path& folder, const fs::path& path) {
    const std::string seen(path.c_str());  // the system reads up to the first NUL byte
    const std::string prefix = folder.string() + "/";
    if (seen.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    const std::string name = seen.substr(prefix.size());
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static const Scratch scratch;
    const fs::path& app = scratch.path;
    const fs::path folder = app / "Data";
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    for (const fs::path& file : PendingRecordFiles(folder, bytes)) {
        if (!DirectlyInside(folder, file)) {
            std::abort();
        }
    }

    // A listed category without its file and an unlisted file, so that the record can empty
    // the Data folder; beside it the selection file and a file of the user's.
    fs::create_directories(folder);
    fs::create_directories(app / "Images");
    Put(app / "Images" / "SelectedPrograms.txt", "Calm;1\r\n");
    Put(app / "Beside.txt", "mine");
    Put(folder / "Old.txt", "Old;1\r\n");
    Put(folder / ".kestrane-pending.txt", bytes);

    SetFileStepHook([&](FileStep, const fs::path& path) {
        if (!DirectlyInside(folder, path)) {
            std::abort();
        }
        return 0;
    });
    RemoveLeftovers(app);
    SetFileStepHook({});
    if (!fs::is_directory(folder) || !fs::exists(app / "Images" / "SelectedPrograms.txt") ||
        !fs::exists(app / "Beside.txt")) {
        std::abort();
    }
    return 0;
}
