#include "app/command_line.h"

#include "platform/session/control_client.h"

#include <cstdio>
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
    {"--hide", "Hide"},   {"--quit", "Quit"}, {"--status", ""},
};

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
    "Usage: kestrane [--start | --stop | --toggle | --show | --hide | --quit | --status]\n"
    "Without an option kestrane starts. With one it hands the request to the running\n"
    "kestrane and ends: --start/--stop/--toggle the flashing, --show/--hide the control\n"
    "panel, --quit ends it (options saved), --status prints running or stopped and shown or\n"
    "hidden and the way the flash reaches the screen (flash: gnome-shell, layer-shell,\n"
    "xwayland, x11-composited or x11). Exit status 0 done, 1 none running (--start then\n"
    "starts one), 2 a wrong option.\n"
    "--version prints the version.\n";

int Refuse(const std::string& text) {
    std::fprintf(stderr, "kestrane: %s\n", text.c_str());
    return 1;
}

// Hands one request to the program that holds the control name (owner).
int HandOver(const platform::session::ControlClient& client, const RequestOption& request,
             const std::string& owner) {
    if (request.method[0] == '\0') {
        std::string error;
        const auto state = client.Read(error);
        if (!state) {
            return Refuse("the running kestrane did not answer: " + error);
        }
        std::printf("%s\n%s\n", state->running ? "running" : "stopped",
                    state->visible ? "shown" : "hidden");
        if (!state->flashPath.empty()) {
            std::printf("flash: %s\n", state->flashPath.c_str());
        }
        return 0;
    }
    const std::string error = client.Call(request.method);
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
        return {HandOver(client, *request, owner), false};
    }
    if (!client.Connected()) {
        return {Refuse("no session bus: a running kestrane cannot be reached"), false};
    }
    return {Refuse("kestrane is not running"), false};
}

int AfterRefusedStart(const CommandLineOutcome& outcome) {
    if (!outcome.startRun) {
        return 0;
    }
    const platform::session::ControlClient client;
    const std::string owner = client.WaitForOwner(5000);
    if (owner.empty()) {
        return Refuse("another kestrane is running but cannot be reached on the session bus");
    }
    return HandOver(client, kRequests[0], owner);
}

}  // namespace kestrane
