#include "app/store/quiet_choices.h"

#include "app/store/store_error.h"
#include "app/store/text_file.h"

#include <array>
#include <cctype>

namespace fs = std::filesystem;

namespace kestrane {

namespace {

constexpr std::array<std::string_view, 7> kDays = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};

bool SameWord(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

void ReadFlag(std::string_view value, bool& flag) {
    if (value == "1" || SameWord(value, "True")) {
        flag = true;
    } else if (value == "0" || SameWord(value, "False")) {
        flag = false;
    }
}

// "Mon,Tue,Fri": the days named; nothing changes when any word is not a day.
void ReadDays(std::string_view value, unsigned& days) {
    unsigned read = 0;
    while (!value.empty()) {
        const size_t comma = value.find(',');
        const std::string_view word = Trim(value.substr(0, comma));
        bool known = false;
        for (size_t d = 0; d < kDays.size(); ++d) {
            if (SameWord(word, kDays[d])) {
                read |= 1U << d;
                known = true;
            }
        }
        if (!known && !word.empty()) {
            return;
        }
        value = comma == std::string_view::npos ? std::string_view() : value.substr(comma + 1);
    }
    days = read;
}

}  // namespace

std::string FormatTimeOfDay(int minutes) {
    const int h = minutes / 60;
    const int m = minutes % 60;
    return std::string{char('0' + h / 10), char('0' + h % 10), ':', char('0' + m / 10),
                       char('0' + m % 10)};
}

bool ParseTimeOfDay(std::string_view text, int& minutes) {
    text = Trim(text);
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon < 1 || colon > 2 || text.size() != colon + 3) {
        return false;
    }
    int h = 0;
    for (size_t i = 0; i < colon; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) {
            return false;
        }
        h = h * 10 + (text[i] - '0');
    }
    if (!std::isdigit(static_cast<unsigned char>(text[colon + 1])) ||
        !std::isdigit(static_cast<unsigned char>(text[colon + 2]))) {
        return false;
    }
    const int m = (text[colon + 1] - '0') * 10 + (text[colon + 2] - '0');
    if (h > 23 || m > 59) {
        return false;
    }
    minutes = h * 60 + m;
    return true;
}

QuietChoices ParseQuietChoices(std::string_view bytes) {
    QuietChoices c;
    for (const std::string& line : SplitLines(bytes)) {
        const std::string_view view = line;
        const size_t semi = view.find(';');
        if (semi == std::string_view::npos) {
            continue;
        }
        const std::string_view key = Trim(view.substr(0, semi));
        std::string_view value = view.substr(semi + 1);
        if (SameWord(key, "Key")) {
            c.key = Trim(value);  // a key can be ";" itself
            continue;
        }
        value = Trim(value.substr(0, value.find(';')));
        if (SameWord(key, "FullScreen")) {
            ReadFlag(value, c.fullScreen);
        } else if (SameWord(key, "Shared")) {
            ReadFlag(value, c.shared);
        } else if (SameWord(key, "DoNotDisturb")) {
            ReadFlag(value, c.doNotDisturb);
        } else if (SameWord(key, "Hours")) {
            ReadFlag(value, c.hours);
        } else if (SameWord(key, "Days")) {
            ReadDays(value, c.days);
        } else if (SameWord(key, "From")) {
            ParseTimeOfDay(value, c.from);
        } else if (SameWord(key, "To")) {
            ParseTimeOfDay(value, c.to);
        }
    }
    return c;
}

std::string FormatQuietChoices(const QuietChoices& c) {
    std::string days;
    for (size_t d = 0; d < kDays.size(); ++d) {
        if ((c.days >> d) & 1U) {
            days += (days.empty() ? "" : ",") + std::string(kDays[d]);
        }
    }
    auto flag = [](bool on) { return on ? "1" : "0"; };
    return std::string("FullScreen;") + flag(c.fullScreen) + "\r\nShared;" + flag(c.shared) +
           "\r\nDoNotDisturb;" + flag(c.doNotDisturb) + "\r\nHours;" + flag(c.hours) + "\r\nDays;" +
           days + "\r\nFrom;" + FormatTimeOfDay(c.from) + "\r\nTo;" + FormatTimeOfDay(c.to) +
           "\r\nKey;" + c.key + "\r\n";
}

QuietChoices ReadQuietChoices(const fs::path& appFolder) {
    try {
        const fs::path path = ResolvePath(appFolder, kQuietFileSuffix);
        return FileExists(path) ? ParseQuietChoices(ReadFileBytes(path)) : QuietChoices{};
    } catch (const StoreError&) {
        return QuietChoices{};
    }
}

void SaveQuietChoices(const fs::path& appFolder, const QuietChoices& choices) {
    ReplaceFile(ResolvePathForWriting(appFolder, kQuietFileSuffix), FormatQuietChoices(choices));
}

void SaveQuietChoicesIfChanged(const fs::path& appFolder, const QuietChoices& choices) {
    try {
        const fs::path path = ResolvePath(appFolder, kQuietFileSuffix);
        const std::string bytes = FileExists(path) ? ReadFileBytes(path) : std::string();
        if (ParseQuietChoices(bytes) == choices) {
            return;
        }
    } catch (const StoreError&) {
        // Unreadable: written anew below, which says why when it fails too.
    }
    SaveQuietChoices(appFolder, choices);
}

}  // namespace kestrane
