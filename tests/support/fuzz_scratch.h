// A fuzz target's own scratch folder, removed when the target ends. It lies on a memory file
// system where there is one, since the store syncs every file it writes to the disk.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace kestrane::fuzz {

struct FuzzScratch {
    explicit FuzzScratch(std::string_view name) {
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        path = base / ("kestrane-" + std::string(name) + "-fuzz-" + std::to_string(getpid()));
    }
    ~FuzzScratch() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    FuzzScratch(const FuzzScratch&) = delete;
    FuzzScratch& operator=(const FuzzScratch&) = delete;
    std::filesystem::path path;
};

// The whole file's bytes (none when it cannot be read).
inline std::string ReadAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace kestrane::fuzz
