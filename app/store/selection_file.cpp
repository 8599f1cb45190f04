#include "app/store/selection_file.h"

#include "app/store/number.h"
#include "app/store/text_file.h"

namespace fs = std::filesystem;

namespace kestrane {

CategoryList ParseSelection(std::string_view bytes) {
    CategoryList entries;
    ForEachLine(WithoutBom(bytes), [&](std::string_view line) {
        if (line.empty()) {
            return;
        }
        const size_t semi = line.find(';');
        CategoryEntry entry;
        entry.name = std::string(line.substr(0, semi));
        if (semi == std::string_view::npos) {
            entry.ticked = true;
        } else {
            std::string_view flag = line.substr(semi + 1);
            flag = flag.substr(0, flag.find(';'));
            const auto n = ReadAsNumber(flag);
            entry.ticked = !n || *n == 1;
        }
        entries.push_back(std::move(entry));
    });
    return entries;
}

CategoryList ReadSelectedPrograms(const fs::path& appFolder) {
    const fs::path path = ResolvePath(appFolder, kSelectionFileSuffix);
    if (!FileExists(path)) {
        std::error_code ec;
        if (fs::is_symlink(fs::symlink_status(path, ec))) {
            throw StoreError("The list of programs " + path.string() + " is a symbolic link to " +
                             fs::read_symlink(path, ec).string() +
                             ", which does not exist. No program is shown, and none can be "
                             "added, until the link leads to the list again or is removed.");
        }
        return {};
    }
    return ParseSelection(ReadFileBytes(path));
}

void WriteSelectedPrograms(const fs::path& appFolder, const CategoryList& entries, bool create) {
    const fs::path path = ResolvePathForWriting(appFolder, kSelectionFileSuffix);
    std::string text;
    for (const auto& entry : entries) {
        text += entry.name;
        text += entry.ticked ? ";1\r\n" : ";0\r\n";
    }
    if (!FileExists(path)) {
        if (!create) {
            return;
        }
        ReplaceFile(path, text);
        return;
    }
    TextWriter writer(path, WriteMode::Write);
    writer.Write(text);
    writer.Close();
}

void AppendSelectedProgram(const fs::path& appFolder, std::string_view name) {
    const fs::path path = ResolvePathForWriting(appFolder, kSelectionFileSuffix);
    const std::string line = std::string(name) + ";0\r\n";
    if (!FileExists(path)) {
        ReplaceFile(path, line);
        return;
    }
    const bool unended = LastLineUnended(path);
    TextWriter writer(path, WriteMode::Append);
    if (unended) {
        writer.Write("\r\n");
    }
    writer.Write(line);
    writer.Close();
}

}  // namespace kestrane
