#include "app/store/screen_choice.h"

#include "app/store/store_error.h"
#include "app/store/text_file.h"

#include <algorithm>

namespace fs = std::filesystem;

namespace kestrane {

namespace {

struct Word {
    ScreenChoice choice;
    std::string_view text;
};
constexpr Word kWords[] = {
    {ScreenChoice::Primary, "Primary"},
    {ScreenChoice::Pointer, "Pointer"},
    {ScreenChoice::Every, "Every"},
};

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        return fold(x) == fold(y);
    });
}

}  // namespace

ScreenChoice ParseScreenChoice(std::string_view bytes) {
    const std::vector<std::string> lines = SplitLines(WithoutBom(bytes));
    if (lines.empty()) {
        return ScreenChoice::Primary;
    }
    const std::string_view line = lines.front();
    const size_t semi = line.find(';');
    if (semi == std::string_view::npos) {
        return ScreenChoice::Primary;
    }
    std::string_view value = line.substr(semi + 1);
    value = value.substr(0, value.find(';'));
    for (const Word& w : kWords) {
        if (EqualsIgnoringCase(value, w.text)) {
            return w.choice;
        }
    }
    return ScreenChoice::Primary;
}

std::string FormatScreenChoice(ScreenChoice choice) {
    for (const Word& w : kWords) {
        if (w.choice == choice) {
            return "Screen;" + std::string(w.text) + "\r\n";
        }
    }
    return "Screen;Primary\r\n";
}

ScreenChoice ReadScreenChoice(const fs::path& appFolder) {
    try {
        const fs::path path = ResolvePath(appFolder, kScreenFileSuffix);
        return FileExists(path) ? ParseScreenChoice(ReadFileBytes(path)) : ScreenChoice::Primary;
    } catch (const StoreError&) {
        return ScreenChoice::Primary;
    }
}

void SaveScreenChoice(const fs::path& appFolder, ScreenChoice choice) {
    const fs::path path = ResolvePathForWriting(appFolder, kScreenFileSuffix);
    ReplaceFile(path, FormatScreenChoice(choice));
}

void SaveScreenChoiceIfChanged(const fs::path& appFolder, ScreenChoice choice) {
    try {
        const fs::path path = ResolvePath(appFolder, kScreenFileSuffix);
        const std::string bytes = FileExists(path) ? ReadFileBytes(path) : std::string();
        if (ParseScreenChoice(bytes) == choice) {
            return;
        }
    } catch (const StoreError&) {
        // Unreadable: written anew below, which says why when it fails too.
    }
    SaveScreenChoice(appFolder, choice);
}

}  // namespace kestrane
