#include "platform/session/desktop_scale.h"

#include <QGuiApplication>
#include <QString>

#include <X11/Xlib.h>
#include <X11/Xresource.h>

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace platform::session {

namespace {

constexpr double kBaseDpi = 96.0;
constexpr const char* kScaleVariable = "QT_SCALE_FACTOR";

// The value of Qt's option "-name value" or "--name value" on the command line, else nullptr.
const char* QtOption(int argc, char** argv, const char* name) {
    for (int i = 1; i + 1 < argc; ++i) {
        const char* arg = argv[i];
        const char* bare = arg[0] == '-' ? (arg[1] == '-' ? arg + 2 : arg + 1) : nullptr;
        if (bare != nullptr && std::strcmp(bare, name) == 0) {
            return argv[i + 1];
        }
    }
    return nullptr;
}

bool IsSet(const char* variable) {
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

// A decimal number, with or without a fraction ("96", "144.0"), whatever the locale; spaces
// around it are allowed.
std::optional<double> Number(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    double parsed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return parsed;
}

// The resolution Qt's xcb platform takes from the resource database string itself: the last
// line that starts with "Xft.dpi:" and a tab and holds a number, rounded to a whole number;
// 0 when there is none.
long QtXftDpi(const std::string& resources) {
    static constexpr std::string_view kKey = "Xft.dpi:\t";
    long dpi = 0;
    std::string_view rest = resources;
    while (!rest.empty()) {
        const std::size_t eol = rest.find('\n');
        const std::string_view line = rest.substr(0, eol);
        rest = eol == std::string_view::npos ? std::string_view() : rest.substr(eol + 1);
        if (line.substr(0, kKey.size()) == kKey) {
            if (const auto value = Number(line.substr(kKey.size()))) {
                dpi = std::lround(*value);
            }
        }
    }
    return dpi;
}

// The resource database string of the X server of the display (RESOURCE_MANAGER of the
// first screen's root window, which Xlib reads when it connects); "" without resources,
// nothing without a server.
std::optional<std::string> ServerResources(const char* display) {
    Display* connection = XOpenDisplay(display);
    if (connection == nullptr) {
        return std::nullopt;
    }
    const char* resources = XResourceManagerString(connection);
    std::string text = resources != nullptr ? resources : "";
    XCloseDisplay(connection);
    return text;
}

}  // namespace

std::optional<double> XftDpiIn(const std::string& resources) {
    if (resources.empty()) {
        return std::nullopt;
    }
    XrmInitialize();
    XrmDatabase db = XrmGetStringDatabase(resources.c_str());
    if (db == nullptr) {
        return std::nullopt;
    }
    std::optional<double> dpi;
    char* type = nullptr;
    XrmValue value{};
    if (XrmGetResource(db, "Xft.dpi", "Xft.Dpi", &type, &value) == True && value.addr != nullptr) {
        const auto parsed =
            Number(std::string_view(value.addr, value.size > 0 ? value.size - 1 : 0));
        if (parsed && *parsed >= 24.0 && *parsed <= 960.0) {
            dpi = parsed;
        }
    }
    XrmDestroyDatabase(db);
    return dpi;
}

double ExtraScaleFactor(const std::string& resources) {
    const std::optional<double> dpi = XftDpiIn(resources);
    if (!dpi) {
        return 1.0;
    }
    // Qt scales by the resolution it read itself; without one it stays at 96 dpi.
    const long qtDpi = QtXftDpi(resources);
    const double qtScale = qtDpi > 0 ? static_cast<double>(qtDpi) / kBaseDpi : 1.0;
    const double extra = *dpi / kBaseDpi / qtScale;
    return extra > 1.01 ? extra : 1.0;
}

DesktopScale::DesktopScale(int argc, char** argv) {
    // Qt's own factors from the screens' resolution are used as they are, fractions included
    // (1.25, 1.5), not rounded to whole numbers.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
    if (IsSet("QT_SCALE_FACTOR") || IsSet("QT_SCREEN_SCALE_FACTORS") ||
        IsSet("QT_ENABLE_HIGHDPI_SCALING")) {
        return;
    }
    const char* platformOption = QtOption(argc, argv, "platform");
    const char* platform =
        platformOption != nullptr ? platformOption : std::getenv("QT_QPA_PLATFORM");
    if (platform != nullptr && *platform != '\0' && std::strncmp(platform, "xcb", 3) != 0) {
        return;
    }
    if (const auto resources = ServerResources(QtOption(argc, argv, "display"))) {
        factor_ = ExtraScaleFactor(*resources);
    }
    if (factor_ != 1.0) {
        setenv(kScaleVariable, QString::number(factor_, 'g', 6).toLatin1().constData(), 1);
        set_ = true;
    }
}

void DesktopScale::Applied() {
    if (set_) {
        unsetenv(kScaleVariable);
        set_ = false;
    }
}

}  // namespace platform::session
