#include "app/store/options_file.h"

#include "app/store/number.h"
#include "app/store/store_error.h"
#include "app/store/text_file.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

namespace fs = std::filesystem;

namespace kestrane {

namespace {

// Field 1 of a line: the text between the first ";" and the next ";" or the line's end;
// nothing when the line is missing or holds no ";".
std::optional<std::string_view> ValueOf(const std::vector<std::string>& lines, size_t index) {
    if (index >= lines.size()) {
        return std::nullopt;
    }
    const std::string_view line = lines[index];
    const size_t semi = line.find(';');
    if (semi == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view rest = line.substr(semi + 1);
    return rest.substr(0, rest.find(';'));
}

// A timing value: empty gives fallbackIfEmpty, 0 or not a number gives 1, and a number beyond
// the range of T is clamped to it.
template <typename T>
T ReadTiming(std::optional<std::string_view> value, T fallbackIfEmpty) {
    if (!value || value->empty()) {
        return fallbackIfEmpty;
    }
    const auto n = ReadAsNumber(*value);
    if (!n || *n == 0) {
        return 1;
    }
    return static_cast<T>(
        std::clamp<std::int64_t>(*n, std::numeric_limits<T>::min(), std::numeric_limits<T>::max()));
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        return fold(x) == fold(y);
    });
}

std::optional<bool> ReadBoolean(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
    if (EqualsIgnoringCase(text, "True")) {
        return true;
    }
    if (EqualsIgnoringCase(text, "False")) {
        return false;
    }
    if (const auto n = ReadAsNumber(text)) {
        return *n != 0;
    }
    return std::nullopt;
}

OptionsRead DefaultsRead() {
    OptionsRead r;
    r.options = FlashOptions::Defaults();
    r.durationBox = std::string("100");
    r.intervalBox = std::string("1");
    r.position = PositionButton::Center;
    return r;
}

}  // namespace

PositionButton PositionButtonFor(std::string_view msgOption) {
    if (msgOption == "Top Left") {
        return PositionButton::TopLeft;
    }
    if (msgOption == "Top Right") {
        return PositionButton::TopRight;
    }
    if (msgOption == "Random") {
        return PositionButton::Random;
    }
    if (msgOption == "Center") {
        return PositionButton::Center;
    }
    return PositionButton::None;
}

OptionsRead ParseOptions(std::string_view bytes, const FlashOptions& before) {
    const std::vector<std::string> lines = SplitLines(WithoutBom(bytes));
    if (lines.empty()) {
        return DefaultsRead();
    }
    OptionsRead r;
    r.options = before;
    FlashOptions& o = r.options;
    for (size_t block = 0; block < lines.size(); block += 8) {
        if (auto v = ValueOf(lines, block + 0)) {
            o.Color = std::string(*v);
        }
        o.Msgduration = ReadTiming<std::int16_t>(ValueOf(lines, block + 1), 100);
        r.durationBox = std::to_string(o.Msgduration);
        o.TimeBtnMsgs = ReadTiming<std::int32_t>(ValueOf(lines, block + 2), 1);
        r.intervalBox = std::to_string(o.TimeBtnMsgs);
        if (auto v = ValueOf(lines, block + 3)) {
            o.MsgOption = std::string(*v);
        }
        if (auto v = ValueOf(lines, block + 4)) {
            o.SelFont = std::string(*v);
        }
        if (auto v = ValueOf(lines, block + 5)) {
            o.SelFontBold = ReadBoolean(*v).value_or(o.SelFontBold);
        }
        if (auto v = ValueOf(lines, block + 6)) {
            o.SelFontItalic = ReadBoolean(*v).value_or(o.SelFontItalic);
        }
        if (auto v = ValueOf(lines, block + 7)) {
            const auto n = ReadAsNumber(*v);
            if (n && *n >= std::numeric_limits<std::int16_t>::min() &&
                *n <= std::numeric_limits<std::int16_t>::max()) {
                o.SelFontSize = static_cast<std::int16_t>(*n);
            }
        }
        const PositionButton button = PositionButtonFor(o.MsgOption);
        if (button != PositionButton::None) {
            r.position = button;
        }
    }
    return r;
}

OptionsRead ReadOptions(const fs::path& appFolder, const FlashOptions& before) {
    const fs::path path = ResolvePath(appFolder, kOptionsFileSuffix);
    if (!FileExists(path)) {
        OptionsRead r = DefaultsRead();
        try {
            ReplaceFile(ResolvePathForWriting(appFolder, kOptionsFileSuffix),
                        FormatOptions(r.options));
            r.createdFile = true;
        } catch (const StoreError&) {
            // The options then live in memory only.
        }
        return r;
    }
    std::string bytes;
    try {
        bytes = ReadFileBytes(path);
    } catch (const StoreError&) {
        return DefaultsRead();
    }
    OptionsRead r = ParseOptions(bytes, before);
    if (SplitLines(WithoutBom(bytes)).empty()) {
        SaveOptions(appFolder, r.options);
    }
    return r;
}

std::string FormatOptions(const FlashOptions& o) {
    std::string text;
    text.reserve(160 + o.Color.size() + o.MsgOption.size() + o.SelFont.size());
    text += "Color;" + o.Color + "\r\n";
    text += "Msgduration;" + std::to_string(o.Msgduration) + "\r\n";
    text += "TimeBtnMsgs;" + std::to_string(o.TimeBtnMsgs) + "\r\n";
    text += "MsgOption;" + o.MsgOption + "\r\n";
    text += "SelFont;" + o.SelFont + "\r\n";
    text += std::string("SelFontBold;") + (o.SelFontBold ? "True" : "False") + "\r\n";
    text += std::string("SelFontItalic;") + (o.SelFontItalic ? "True" : "False") + "\r\n";
    text += "SelFontSize;" + std::to_string(o.SelFontSize) + "\r\n";
    return text;
}

bool SaveOptionsReporting(const fs::path& appFolder, const FlashOptions& options) {
    const fs::path path = ResolvePathForWriting(appFolder, kOptionsFileSuffix);
    if (!FileExists(path)) {
        return false;
    }
    TextWriter writer(path, WriteMode::Write);
    writer.Write(FormatOptions(options));
    writer.Close();
    return true;
}

bool SaveOptions(const fs::path& appFolder, const FlashOptions& options) {
    try {
        return SaveOptionsReporting(appFolder, options);
    } catch (const StoreError&) {
        return false;
    }
}

}  // namespace kestrane
