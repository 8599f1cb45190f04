#include "app/command_line.h"

#include "platform/session/control_client.h"

#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace kestrane {

namespace {

// Requests, by option, with the method of the control object they call ("" for --status).
struct RequestOption {
    std::string_view option;
    const char* method;
};
constexpr RequestOption kRequests[] = {
    {"--start", "Start"}, {"--stop", "Stop"}, {"--toggle", "Toggle"}, {"--show", "Show"},
    {"--hide", "Hide"},   {"--quit", "Quit"}, {"--status", ""},       {"--pause", "Pause"},
};

// The minutes of --pause: a whole number from 1 to 1440, or nothing.
std::optional<int> PauseMinutes(std::string_view text) {
    int minutes = 0;
    if (text.empty() || text.size() > 4) {
        return std::nullopt;
    }
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        minutes = minutes * 10 + (c - '0');
    }
    if (minutes < 1 || minutes > 24 * 60) {
        return std::nullopt;
    }
    return minutes;
}

// Qt's own command-line options, which QApplication takes out of the command line; those of
// the first set take a value.
const std::set<std::string_view> kQtValueOptions = {"platform",
                                                    "platformpluginpath",
                                                    "platformtheme",
                                                    "plugin",
                                                    "qwindowgeometry",
                                                    "qwindowtitle",
                                                    "qwindowicon",
                                                    "display",
                                                    "geometry",
                                                    "title",
                                                    "name",
                                                    "style",
                                                    "stylesheet",
                                                    "session",
                                                    "qmljsdebugger"};
const std::set<std::string_view> kQtFlagOptions = {"reverse", "widgetcount", "nograb",
                                                   "dograb",  "sync",        "visual"};

constexpr const char* kUsage =
    "Usage: kestrane [--start | --stop | --toggle | --show | --hide | --quit | --status |\n"
    "                 --pause MINUTES]\n"
    "Without an option kestrane starts. With one it hands the request to the running\n"
    "kestrane and ends: --start/--stop/--toggle the flashing, --show/--hide the control\n"
    "panel, --quit ends it (options saved), --status prints running or stopped and shown or\n"
    "hidden (and why no message shows, when none does) and the way the flash reaches the\n"
    "screen (flash: gnome-shell, layer-shell, xwayland, x11-composited or x11), --pause holds\n"
    "the messages for 1 to 1440 minutes (--start or --toggle end that early). Exit status 0\n"
    "done, 1 none running (--start then starts one), 2 a wrong option. --version prints the\n"
    "version.\n";

int Refuse(const std::string& text) {
    std::fprintf(stderr, "kestrane: %s\n", text.c_str());
    return 1;
}

// Hands one request to the program that holds the control name (owner).
int HandOver(const platform::session::ControlClient& client, const RequestOption& request,
             const std::string& owner, int pauseMinutes = 0) {
    if (request.method[0] == '\0') {
        std::string error;
        const auto state = client.Read(error);
        if (!state) {
            return Refuse("the running kestrane did not answer: " + error);
        }
        std::printf("%s\n%s\n", state->running ? "running" : "stopped",
                    state->visible ? "shown" : "hidden");
        if (!state->quiet.empty()) {
            std::printf("%s\n", state->quiet.c_str());
        }
        if (!state->flashPath.empty()) {
            std::printf("flash: %s\n", state->flashPath.c_str());
        }
        return 0;
    }
    const std::string error =
        request.option == "--pause" ? client.Pause(pauseMinutes) : client.Call(request.method);
    if (!error.empty()) {
        return Refuse("the running kestrane did not take " + std::string(request.option) + ": " +
                      error);
    }
    if (request.option == "--quit" && !client.WaitUntilGone(owner, 10000)) {
        return Refuse("kestrane is still running: it could not end (its window says why)");
    }
    return 0;
}

}  // namespace

CommandLineOutcome HandCommandLine(int argc, char** argv) {
    const RequestOption* request = nullptr;
    int pauseMinutes = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return {0, false};
        }
        if (arg == "--version") {
            std::fputs("kestrane " KESTRANE_VERSION "\n", stdout);
            return {0, false};
        }
        const RequestOption* found = nullptr;
        for (const RequestOption& r : kRequests) {
            if (arg == r.option) {
                found = &r;
            }
        }
        if (found != nullptr && request == nullptr) {
            request = found;
            if (found->option == "--pause") {
                const auto minutes =
                    i + 1 < argc ? PauseMinutes(argv[i + 1]) : std::optional<int>();
                if (!minutes) {
                    std::fprintf(stderr, "kestrane: --pause needs the minutes, 1 to 1440%s%s\n%s",
                                 i + 1 < argc ? ", not " : "", i + 1 < argc ? argv[i + 1] : "",
                                 kUsage);
                    return {2, false};
                }
                pauseMinutes = *minutes;
                ++i;
            }
            continue;
        }
        std::string_view name = arg;
        name.remove_prefix(name.starts_with("--") ? 2 : name.starts_with("-") ? 1 : 0);
        if (found == nullptr && name.size() < arg.size()) {
            if (kQtValueOptions.count(name) != 0 && i + 1 < argc) {
                ++i;
                continue;
            }
            if (kQtFlagOptions.count(name) != 0) {
                continue;
            }
        }
        std::fprintf(stderr, "kestrane: %s '%s'\n%s",
                     found != nullptr ? "only one request at a time:" : "unknown option", argv[i],
                     kUsage);
        return {2, false};
    }
    if (request == nullptr) {
        return {};
    }

    if (request->option == "--start") {
        // The program starts; the single-instance rule decides whether this process runs it
        // (and starts the flashing) or hands the start to the one that runs (AfterRefusedStart).
        return {std::nullopt, true};
    }
    const platform::session::ControlClient client;
    const std::string owner = client.Owner();
    if (!owner.empty()) {
        return {HandOver(client, *request, owner, pauseMinutes), false};
    }
    if (!client.Connected()) {
        return {Refuse("no session bus: a running kestrane cannot be reached"), false};
    }
    return {Refuse("kestrane is not running"), false};
}

int AfterRefusedStart(const CommandLineOutcome& outcome) {
    const platform::session::ControlClient client;
    if (!outcome.startRun) {
        // The running one brings its panel up if no tray icon could (a plain second start
        // ends with 0 whatever it says).
        if (!client.Owner().empty()) {
            client.Call("Activate");
        }
        return 0;
    }
    const std::string owner = client.WaitForOwner(5000);
    if (owner.empty()) {
        return Refuse("another kestrane is running but cannot be reached on the session bus");
    }
    return HandOver(client, kRequests[0], owner);
}

}  // namespace kestrane
