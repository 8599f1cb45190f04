// The store's file: a header line, then one line per key ("K", tab, key) and per value ("V",
// tab, key, tab, name, tab, data), with backslash, tab and line breaks escaped.

#include <algorithm>
#include <fstream>
#include <vector>

#include "platform/registry/registry_internal.h"

namespace platform::registry::detail {

namespace {

constexpr std::string_view kHeader = "kestrane-registry 1";

std::string Escape(std::string_view s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string Unescape(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 1 < s.size()) {
            ++i;
            switch (s[i]) {
                case 't':
                    out += '\t';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                default:
                    out += s[i];
            }
        } else {
            out += s[i];
        }
    }
    return out;
}

}  // namespace

std::string Lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return out;
}

void EnsureKey(Store& store, const std::string& key) {
    // Parents first, so that every key on the path exists.
    size_t pos = 0;
    while (true) {
        pos = key.find('\\', pos);
        const std::string prefix = pos == std::string::npos ? key : key.substr(0, pos);
        auto& entry = store[Lower(prefix)];
        if (entry.spelled.empty()) {
            entry.spelled = prefix;
        }
        if (pos == std::string::npos) {
            break;
        }
        ++pos;
    }
}

Store Load(const std::filesystem::path& path) {
    Store store;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        const auto fields = Split(line, '\t');
        if (fields.size() == 2 && fields[0] == "K") {
            EnsureKey(store, Unescape(fields[1]));
        } else if (fields.size() == 4 && fields[0] == "V") {
            const std::string key = Unescape(fields[1]);
            const std::string name = Unescape(fields[2]);
            EnsureKey(store, key);
            store[Lower(key)].values[Lower(name)] = {name, Unescape(fields[3])};
        }
    }
    return store;
}

bool Save(const std::filesystem::path& path, const Store& store, std::string* error) {
    std::string text(kHeader);
    text += '\n';
    for (const auto& [lower, key] : store) {
        text += "K\t" + Escape(key.spelled) + "\n";
        for (const auto& [lowerName, value] : key.values) {
            text += "V\t" + Escape(key.spelled) + "\t" + Escape(value.first) + "\t" +
                    Escape(value.second) + "\n";
        }
    }
    return WriteWhole(path, text, path.string(), error);
}

}  // namespace platform::registry::detail
