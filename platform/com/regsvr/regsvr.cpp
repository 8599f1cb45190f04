// regsvr: registers or unregisters a component library, by loading it and calling its
// DllRegisterServer (regsvr path) or DllUnregisterServer (regsvr -u path). With -s nothing is
// printed on success. With --all-users the library writes the machine's registry instead of
// the current user's (the package's maintainer scripts do this as root).
//
// Exit status: 0 done, 1 wrong usage, 3 the library cannot be loaded, 4 it lacks the entry
// point, 5 the entry point reported a failure.
#include <dlfcn.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/codepage/utf8_append.h"
#include "platform/com/com_api.h"

namespace com = platform::com;

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: regsvr [-u] [-s] [--all-users] <library>\n"
                 "  registers the component library (or, with -u, unregisters it)\n"
                 "  -s           print nothing on success\n"
                 "  --all-users  in the machine's registry, for every user (needs root)\n");
    return 1;
}

std::string Utf8(const std::u16string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        platform::codepage::AppendUtf8(out, c);
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    bool unregister = false;
    bool silent = false;
    std::string path;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-u" || arg == "/u") {
            unregister = true;
        } else if (arg == "-s" || arg == "/s") {
            silent = true;
        } else if (arg == "--all-users") {
            com::SetRegistrationScope(com::RegistrationScope::AllUsers);
        } else if (!arg.empty() && arg[0] == '-') {
            return Usage();
        } else if (path.empty()) {
            path = arg;
        } else {
            return Usage();
        }
    }
    if (path.empty()) {
        return Usage();
    }

    // The library records the path it was loaded from, so load it by its absolute path.
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    if (!ec) {
        path = absolute.lexically_normal().string();
    }
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* why = dlerror();
        std::fprintf(stderr, "regsvr: cannot load %s: %s\n", path.c_str(),
                     why ? why : "unknown reason");
        return 3;
    }
    const char* entryName = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    auto entry = reinterpret_cast<com::DllRegisterServerFn>(dlsym(library, entryName));
    if (!entry) {
        std::fprintf(stderr, "regsvr: %s is loaded but has no entry point %s\n", path.c_str(),
                     entryName);
        return 4;
    }
    const com::HRESULT hr = entry();
    if (com::FAILED(hr)) {
        const com::ErrorDetails details = com::TakeErrorDetails(hr);
        std::fprintf(stderr, "regsvr: %s of %s failed with 0x%08X%s%s\n", entryName, path.c_str(),
                     static_cast<unsigned>(hr), details.description.empty() ? "" : ": ",
                     Utf8(details.description).c_str());
        return 5;
    }
    if (!silent) {
        std::printf("regsvr: %s of %s succeeded\n", entryName, path.c_str());
    }
    // The library stays loaded until the process ends, as objects of it might.
    return 0;
}
