// The paths of the text-file layer: suffixes resolved without regard to letter case, and the
// links a write must not go through.
#include "app/store/text_file.h"

#include <algorithm>
#include <system_error>

namespace fs = std::filesystem;

namespace kestrane {

namespace {

char FoldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

// Whether path lies in folder (both without "." or ".." components or links).
bool IsInside(const fs::path& folder, const fs::path& path) {
    const auto [f, p] = std::mismatch(folder.begin(), folder.end(), path.begin(), path.end());
    return f == folder.end();
}

}  // namespace

void CheckNotDanglingLink(std::string_view what, const fs::path& path) {
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(path, ec)) && !fs::exists(fs::status(path, ec))) {
        const fs::path target = fs::read_symlink(path, ec);
        FailFileStep(what, path,
                     "it is a symbolic link to " + target.string() + ", which does not exist");
    }
}

fs::path ResolvePath(const fs::path& appFolder, std::string_view suffix) {
    fs::path current = appFolder;
    bool existing = true;
    size_t start = 0;
    while (start <= suffix.size()) {
        size_t end = suffix.find_first_of("\\/", start);
        if (end == std::string_view::npos) {
            end = suffix.size();
        }
        const std::string_view component = suffix.substr(start, end - start);
        start = end + 1;
        if (component.empty()) {
            continue;
        }
        if (component == "." || component == "..") {
            throw StoreError(DescribeFileStep("Cannot use the path",
                                              appFolder / std::string(suffix),
                                              "it leaves the application folder"));
        }
        const std::string name(component);
        if (existing) {
            std::error_code ec;
            if (fs::exists(fs::symlink_status(current / name, ec))) {
                current /= name;
                continue;
            }
            // Look for the component in another letter case; the smallest such name wins, so
            // the choice does not depend on the order of the listing.
            std::string best;
            bool found = false;
            for (fs::directory_iterator it(current, ec), endIt; !ec && it != endIt;
                 it.increment(ec)) {
                const std::string candidate = it->path().filename().string();
                if (EqualsIgnoringCase(candidate, name) && (!found || candidate < best)) {
                    best = candidate;
                    found = true;
                }
            }
            if (found) {
                current /= best;
                continue;
            }
            existing = false;
        }
        current /= name;
    }
    return current;
}

fs::path ResolvePathForWriting(const fs::path& appFolder, std::string_view suffix) {
    fs::path path = ResolvePath(appFolder, suffix);
    CheckNoLinkOutside(appFolder, path);
    return path;
}

void CheckNoLinkOutside(const fs::path& appFolder, const fs::path& path) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(path, ec))) {
        return;
    }
    CheckNotDanglingLink("Cannot write", path);
    std::error_code targetError, appError, folderError;
    const fs::path target = fs::weakly_canonical(path, targetError);
    const fs::path app = fs::weakly_canonical(appFolder, appError);
    const fs::path folder = fs::weakly_canonical(path.parent_path(), folderError);
    if (targetError || appError || folderError) {
        FailFileStep("Cannot write", path, "it is a symbolic link that cannot be followed");
    }
    if (!IsInside(app, target) && !IsInside(folder, target)) {
        FailFileStep(
            "Cannot write", path,
            "it is a symbolic link to " + target.string() + ", outside the application folder");
    }
}

}  // namespace kestrane
