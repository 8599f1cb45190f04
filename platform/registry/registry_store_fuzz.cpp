// Fuzzes the registry store (registry.txt), which the user or another program may edit and which
// every start and regsvr read. The input up to its first NUL byte is the store; the fields after
// it, separated by NUL bytes, are a key, a value name and data to set. Whatever the bytes: a
// store read and written back writes the same bytes again, a value set reads back exactly, and
// the tidying at start-up changes nothing in the store.
#include "platform/registry/registry.h"
#include "tests/support/fuzz_scratch.h"

#include <unistd.h>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace fs = std::filesystem;
namespace reg = platform::registry;

namespace {

// Scratch configuration folders for the user's and the machine's stores, removed at the end.
struct Scratch : kestrane::fuzz::FuzzScratch {
    Scratch() : FuzzScratch("registry") {
        fs::create_directories(path / "user" / "kestrane");
        setenv("XDG_CONFIG_HOME", (path / "user").c_str(), 1);
        setenv("XDG_CONFIG_DIRS", (path / "machine").c_str(), 1);
    }
};

// The part of `rest` before the next NUL byte; `rest` keeps what follows it.
std::string_view Field(std::string_view& rest) {
    const size_t end = rest.find('\0');
    const std::string_view field = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    return field;
}

// Saves the store unchanged in what it holds (a key it already has, or the key made the
// first time), and checks that doing it again gives the same bytes.
void SaveTwice() {
    if (!reg::CreateKey("HKCU\\Software\\Kestrane")) {
        std::abort();
    }
    const std::string once = kestrane::fuzz::ReadAll(reg::StorePath());
    if (!reg::CreateKey("HKCU\\Software\\Kestrane") ||
        kestrane::fuzz::ReadAll(reg::StorePath()) != once) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static const Scratch scratch;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    const std::string_view store = Field(rest);
    const std::string_view key = rest.empty() ? "HKCU\\Software\\Probe" : Field(rest);
    const std::string_view name = Field(rest);
    const std::string_view value = Field(rest);
    std::error_code ec;
    fs::remove(reg::MachineStorePath(), ec);  // so that the machine's store does not grow
    std::ofstream(reg::StorePath(), std::ios::binary | std::ios::trunc)
        .write(store.data(), static_cast<std::streamsize>(store.size()));

    (void)reg::SubKeys("HKCU\\Software");
    SaveTwice();
    if (reg::SetValue(key, name, value)) {
        if (reg::GetValue(key, name) != value || !reg::KeyExists(key)) {
            std::abort();
        }
    }
    const std::string saved = kestrane::fuzz::ReadAll(reg::StorePath());
    reg::RemoveLeftovers();
    if (kestrane::fuzz::ReadAll(reg::StorePath()) != saved) {
        std::abort();
    }
    return 0;
}
