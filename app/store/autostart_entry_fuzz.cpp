// Fuzzes the autostart entry that the Run value becomes: the input is the application folder
// (below a scratch folder; a real one never holds a NUL byte). Whatever the folder, the entry
// holds exactly its four keys, and its Exec value, read by the desktop entry rules (the string
// escapes, then "%%", then one double-quoted argument with \" \` \$ \\), is the one argument
// that names the program in that folder. Turning autostart off keeps that Exec line and adds
// Hidden=true.
#include "app/store/autostart.h"
#include "platform/registry/registry.h"
#include "tests/support/fuzz_scratch.h"

#include <unistd.h>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

namespace fs = std::filesystem;

namespace {

// A scratch configuration folder, and a folder that holds the program without ".exe".
struct Scratch : kestrane::fuzz::FuzzScratch {
    Scratch() : FuzzScratch("autostart") {
        fs::create_directories(path / "My Apps");
        std::ofstream(path / "My Apps" / "kestrane");
        setenv("XDG_CONFIG_HOME", (path / "config").c_str(), 1);
    }
};

// The argument of an Exec value that is one quoted argument, or nothing when the value breaks
// a rule of desktop entries or is anything else.
std::optional<std::string> ExecArgument(std::string_view value) {
    std::string text;  // the string escapes first
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\r' || value[i] == '\t') {
            return std::nullopt;  // only as an escape
        }
        if (value[i] != '\\') {
            text += value[i];
            continue;
        }
        if (++i == value.size()) {
            return std::nullopt;
        }
        switch (value[i]) {
            case 's':
                text += ' ';
                break;
            case 'n':
                text += '\n';
                break;
            case 't':
                text += '\t';
                break;
            case 'r':
                text += '\r';
                break;
            case '\\':
                text += '\\';
                break;
            default:
                return std::nullopt;
        }
    }
    std::string percent;  // then the field codes, of which only %% may appear
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%') {
            if (++i == text.size() || text[i] != '%') {
                return std::nullopt;
            }
        }
        percent += text[i];
    }
    if (percent.size() < 2 || percent.front() != '"' || percent.back() != '"') {
        return std::nullopt;
    }
    std::string arg;
    for (size_t i = 1; i + 1 < percent.size(); ++i) {
        const char c = percent[i];
        if (c == '"' || c == '`' || c == '$') {
            return std::nullopt;  // must be escaped inside quotes
        }
        if (c == '\\') {
            const char next = percent[++i];
            if (i + 1 == percent.size() ||
                (next != '"' && next != '`' && next != '$' && next != '\\')) {
                return std::nullopt;
            }
            arg += next;
        } else {
            arg += c;
        }
    }
    return arg;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    static const Scratch scratch;
    const std::string_view folder(reinterpret_cast<const char*>(data), size);
    if (folder.find('\0') != std::string_view::npos) {
        return -1;
    }
    const fs::path app = scratch.path.string() + "/" + std::string(folder);
    const fs::path entry = platform::registry::AutostartFolder() / "MyVBApp1.desktop";
    std::error_code ec;
    fs::remove(entry, ec);

    // The program's own name, or the launcher without the ".exe" of the Run value.
    const std::string exe = app.string() + "/kestrane.exe";
    const std::string bare = app.string() + "/kestrane";
    const std::string program = !fs::exists(exe, ec) && fs::exists(bare, ec) ? bare : exe;
    if (!platform::registry::RegWrite(kestrane::kRunValuePath, kestrane::RunValueData(app),
                                      "REG_SZ")) {
        std::abort();
    }
    const std::string head = "[Desktop Entry]\nType=Application\nName=MyVBApp1\nExec=";
    const std::string on = kestrane::fuzz::ReadAll(entry);
    if (on.compare(0, head.size(), head) != 0 || on.back() != '\n') {
        std::abort();
    }
    const std::string exec = on.substr(head.size(), on.size() - head.size() - 1);
    if (exec.find('\n') != std::string::npos || ExecArgument(exec) != program) {
        std::abort();
    }
    if (!platform::registry::RegWrite(kestrane::kRunValuePath, "", "REG_SZ") ||
        kestrane::fuzz::ReadAll(entry) != on + "Hidden=true\n") {
        std::abort();
    }
    return 0;
}
