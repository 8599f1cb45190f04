// The desktop autostart entry that stands for a Run value of the registry: the system starts
// the program named in the value when the user logs on.
#include <QSaveFile>
#include <QString>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "platform/registry/registry.h"
#include "platform/registry/registry_internal.h"

namespace platform::registry {

namespace detail {

void SetError(std::string* error, std::string text) {
    if (error) {
        *error = std::move(text);
    }
}

bool WriteWhole(const std::filesystem::path& path, const std::string& text, const std::string& what,
                std::string* error) {
    QSaveFile file(QString::fromStdString(path.string()));
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), static_cast<qint64>(text.size())) !=
            static_cast<qint64>(text.size()) ||
        !file.commit()) {
        SetError(error, "registry: cannot write " + what + ": " + file.errorString().toStdString());
        return false;
    }
    return true;
}

std::vector<std::string> Split(std::string_view text, char separator) {
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == separator) {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

std::filesystem::path ConfigHome() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
        return xdg;
    }
    const char* home = std::getenv("HOME");
    return std::filesystem::path(home ? home : ".") / ".config";
}

namespace {

// The data of a Run value as a file to execute on this system. The value is a folder, "\" and
// the program's file name. When the folder is a path of this system (it begins with "/"), a
// backslash in it is part of a folder's name and only the last one separates the file name;
// otherwise every backslash is a separator.
std::string RunTarget(std::string data) {
    if (data.rfind('/', 0) == 0) {
        if (const size_t last = data.rfind('\\'); last != std::string::npos) {
            data[last] = '/';
        }
    } else {
        std::replace(data.begin(), data.end(), '\\', '/');
    }
    constexpr std::string_view exe = ".exe";
    if (data.size() > exe.size() && Lower(data.substr(data.size() - exe.size())) == exe) {
        const std::string bare = data.substr(0, data.size() - exe.size());
        std::error_code ec;
        if (!std::filesystem::exists(data, ec) && std::filesystem::exists(bare, ec)) {
            return bare;
        }
    }
    return data;
}

// Quotes one argument of a desktop entry's Exec key: inside double quotes the characters
// '"', '`', '$' and '\' are escaped with a backslash; then the value is escaped as every
// string value of an entry is (a backslash doubled, a line break, tab or carriage return as
// \n, \t, \r), so a folder path holding a line break stays on the one Exec line; '%' becomes
// "%%".
std::string QuoteExecArgument(const std::string& arg) {
    std::string quoted = "\"";
    for (char c : arg) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    quoted += '"';
    std::string out;
    for (char c : quoted) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            case '%':
                out += "%%";
                break;
            default:
                out += c;
        }
    }
    return out;
}

}  // namespace

bool WriteAutostartEntry(const std::string& name, const std::string& data, std::string* error) {
    const auto path = AutostartFolder() / (name + ".desktop");
    std::string previousExec;
    if (data.empty()) {
        // Keep the Exec line of the entry being hidden so the file stays a complete entry.
        std::ifstream in(path, std::ios::binary);
        std::string line;
        while (std::getline(in, line)) {
            if (line.rfind("Exec=", 0) == 0) {
                previousExec = line;
            }
        }
    }
    std::string text = "[Desktop Entry]\nType=Application\nName=" + name + "\n";
    if (!data.empty()) {
        text += "Exec=" + QuoteExecArgument(RunTarget(data)) + "\n";
    } else {
        if (!previousExec.empty()) {
            text += previousExec + "\n";
        }
        text += "Hidden=true\n";
    }
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    return WriteWhole(path, text, "the autostart entry " + path.string(), error);
}

}  // namespace detail

std::filesystem::path AutostartFolder() {
    return detail::ConfigHome() / "autostart";
}

}  // namespace platform::registry
