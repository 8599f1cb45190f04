#include "app/store/category_file.h"

#include "app/store/category_name.h"
#include "app/store/import_text.h"
#include "app/store/number.h"
#include "app/store/store_error.h"
#include "app/store/text_file.h"

#include <functional>
#include <system_error>

namespace fs = std::filesystem;

namespace kestrane {

namespace {

// Whether a non-empty line is an included message (see ParseMessageLine), without copying.
bool LineIncluded(std::string_view line) {
    const size_t semi = line.find(';');
    if (semi == std::string_view::npos) {
        return true;
    }
    std::string_view flag = line.substr(semi + 1);
    flag = flag.substr(0, flag.find(';'));
    const auto n = ReadAsNumber(flag);
    return !n || *n == 1;
}

std::string_view MessageText(std::string_view line) {
    return line.substr(0, line.find(';'));
}

void CheckNoCategoryUsesTempFile(std::string_view name, const CategoryList& catalogue,
                                 const fs::path& temp) {
    const std::string tempName = std::string(name) + "temp";
    for (const auto& entry : catalogue) {
        if (SameCategoryName(entry.name, tempName)) {
            throw StoreError("Cannot rewrite the program \"" + std::string(name) +
                             "\": its temporary file " + temp.string() +
                             " is the file of the program \"" + entry.name + "\".");
        }
    }
}

// The rewrite of a category through its temporary file: the whole text is read and
// transformed line by line (transform appends a line's new form with its CR LF to out, or
// nothing to drop it), the result is written to the temporary file, and the temporary file's
// non-empty lines replace the category file. The category file is opened for writing before
// the temporary file is made, so a read-only category changes nothing.
void RewriteThroughTempFile(
    const fs::path& appFolder, std::string_view name, const CategoryList& catalogue,
    const std::function<void(std::string_view line, std::string& out)>& transform,
    bool keepTempFile) {
    const fs::path path = CategoryFilePath(appFolder, name);
    const fs::path temp = CategoryTempFilePath(appFolder, name);
    CheckNoCategoryUsesTempFile(name, catalogue, temp);
    CheckNoLinkOutside(appFolder, path);
    CheckNoLinkOutside(appFolder, temp);

    // A byte-order mark at the start is no text: the rewritten file is without it.
    const std::string bytes = ReadFileBytes(path);
    const std::string_view text = WithoutBom(bytes);
    TextWriter writer(path, WriteMode::Write);

    // The transformed text followed by CR LF; a text that ended with a line end keeps an
    // empty last line, as splitting it at its line ends gives.
    std::string tempText;
    tempText.reserve(text.size() + text.size() / 16 + 64);
    ForEachLine(text, [&](std::string_view line) { transform(line, tempText); });
    if (text.empty() || text.back() == '\r' || text.back() == '\n') {
        tempText += "\r\n";
    }
    ReplaceFile(temp, tempText, Durability::Scratch);

    // What the temporary file holds is tempText, byte for byte; its lines are taken from there.
    std::string categoryText;
    categoryText.reserve(tempText.size());
    ForEachLine(tempText, [&](std::string_view line) {
        if (!line.empty()) {
            categoryText += line;
            categoryText += "\r\n";
        }
    });
    writer.Write(std::move(categoryText));
    try {
        writer.Close();
    } catch (const StoreError&) {
        if (!keepTempFile) {
            RemoveQuietly(temp);  // a refused update leaves nothing behind
        }
        throw;
    }
    if (!keepTempFile) {
        DeleteFile(temp);
    }
}

void CheckNameStaysInFolder(std::string_view name) {
    if (name.find_first_of(std::string_view("/\\\0", 3)) != std::string_view::npos || name == "." ||
        name == "..") {
        throw StoreError("The program name \"" + std::string(name) +
                         "\" cannot be used as a file name in the Data folder.");
    }
}

void CheckNoFile(const fs::path& path, std::string_view name) {
    std::error_code ec;
    if (fs::exists(fs::symlink_status(path, ec))) {
        throw StoreError("Cannot make the program \"" + std::string(name) + "\": the file " +
                         path.string() + " already exists.");
    }
}

}  // namespace

Message ParseMessageLine(std::string_view line) {
    return Message{std::string(MessageText(line)), LineIncluded(line)};
}

MessageList ParseMessages(std::string_view bytes) {
    MessageList messages;
    ForEachLine(WithoutBom(bytes), [&](std::string_view line) {
        if (!line.empty()) {
            messages.push_back(ParseMessageLine(line));
        }
    });
    return messages;
}

fs::path CategoryFilePath(const fs::path& appFolder, std::string_view name) {
    CheckNameStaysInFolder(name);
    return ResolvePath(appFolder, "\\Data\\" + std::string(name) + ".txt");
}

fs::path CategoryTempFilePath(const fs::path& appFolder, std::string_view name) {
    CheckNameStaysInFolder(name);
    return ResolvePath(appFolder, "\\Data\\" + std::string(name) + "temp.txt");
}

MessageList LoadMessages(const fs::path& appFolder, std::string_view name) {
    const fs::path path = CategoryFilePath(appFolder, name);
    if (!FileExists(path)) {
        return {};
    }
    return ParseMessages(ReadFileBytes(path));
}

int CountIncludedMessages(const fs::path& appFolder, const CategoryList& selection) {
    constexpr int kMaxCount = 32767;
    int count = 0;
    for (const auto& entry : selection) {
        if (!entry.ticked) {
            continue;
        }
        std::string bytes;
        try {
            const fs::path path = CategoryFilePath(appFolder, entry.name);
            if (!FileExists(path)) {
                continue;
            }
            bytes = ReadFileBytes(path);
        } catch (const StoreError&) {
            continue;  // counting never reports a failure
        }
        ForEachLine(WithoutBom(bytes), [&](std::string_view line) {
            if (!line.empty() && count < kMaxCount && LineIncluded(line)) {
                ++count;
            }
        });
    }
    return count;
}

fs::path NewCategoryFilePath(const fs::path& appFolder, std::string_view name,
                             const CategoryList& catalogue) {
    CheckNewCategoryName(name, catalogue);
    const fs::path path = CategoryFilePath(appFolder, name);
    CheckNoFile(path, name);
    return path;
}

void CreateCategoryFile(const fs::path& appFolder, std::string_view name,
                        const CategoryList& catalogue) {
    CreateTextFile(NewCategoryFilePath(appFolder, name, catalogue));
}

void AppendMessage(const fs::path& appFolder, std::string_view name, std::string_view text) {
    const fs::path path = CategoryFilePath(appFolder, name);
    CheckNoLinkOutside(appFolder, path);
    const bool unended = LastLineUnended(path);
    TextWriter writer(path, WriteMode::Append);
    if (unended) {
        writer.Write("\r\n");
    }
    writer.Write(text);
    writer.WriteLine(";1");
    writer.Close();
}

void RewriteFromList(const fs::path& appFolder, std::string_view name, const MessageList& items) {
    const fs::path path = CategoryFilePath(appFolder, name);
    if (!FileExists(path)) {
        return;
    }
    CheckNoLinkOutside(appFolder, path);
    TextWriter writer(path, WriteMode::Write);
    for (const auto& item : items) {
        writer.Write(item.text);
        writer.WriteLine(item.included ? ";1" : ";0");
    }
    writer.Close();
}

void UpdateMessageText(const fs::path& appFolder, std::string_view name, std::string_view oldText,
                       std::string_view newText, const CategoryList& catalogue) {
    RewriteThroughTempFile(
        appFolder, name, catalogue,
        [&](std::string_view line, std::string& out) {
            // Empty lines are no messages; the rewrite drops them.
            if (!line.empty() && MessageText(line) == oldText) {
                out += newText;
                const size_t semi = line.find(';');
                if (semi != std::string_view::npos) {
                    out += line.substr(semi);
                }
            } else {
                out += line;
            }
            out += "\r\n";
        },
        /*keepTempFile=*/false);
}

void DeleteMessageText(const fs::path& appFolder, std::string_view name, std::string_view text,
                       const CategoryList& catalogue) {
    RewriteThroughTempFile(
        appFolder, name, catalogue,
        [&](std::string_view line, std::string& out) {
            if (!line.empty() && MessageText(line) == text) {
                return;
            }
            out += line;
            out += "\r\n";
        },
        /*keepTempFile=*/true);
}

void DeleteCategoryFile(const fs::path& appFolder, std::string_view name) {
    const fs::path path = CategoryFilePath(appFolder, name);
    if (FileExists(path)) {
        DeleteFile(path);
    }
}

CategoryCopy PrepareCategoryCopy(const fs::path& appFolder, std::string_view oldName,
                                 std::string_view newName, const CategoryList& catalogue) {
    CheckNewCategoryName(newName, catalogue, oldName);
    CategoryCopy copy;
    copy.oldPath = CategoryFilePath(appFolder, oldName);
    TextReader reader(copy.oldPath);
    copy.bytes = (reader.AtEndOfStream() ? std::string() : reader.ReadAll()) + "\r\n";
    reader.Close();

    // The same name in another letter case is the same category: its file takes the new
    // spelling. Any other name must not have a file yet.
    const bool sameCategory = SameCategoryName(oldName, newName);
    copy.newPath = sameCategory ? copy.oldPath.parent_path() / (std::string(newName) + ".txt")
                                : CategoryFilePath(appFolder, newName);
    if (sameCategory) {
        CheckNoLinkOutside(appFolder, copy.newPath);
    } else {
        CheckNoFile(copy.newPath, newName);
    }
    std::error_code ec;
    copy.twoFiles = copy.newPath != copy.oldPath && !fs::equivalent(copy.oldPath, copy.newPath, ec);
    return copy;
}

void CopyCategoryFile(const fs::path& appFolder, std::string_view oldName, std::string_view newName,
                      const CategoryList& catalogue) {
    const CategoryCopy copy = PrepareCategoryCopy(appFolder, oldName, newName, catalogue);
    ReplaceFile(copy.newPath, copy.bytes);
    // Only now, with the messages safe under the new name, the old file goes.
    if (copy.twoFiles && FileExists(copy.oldPath)) {
        DeleteFile(copy.oldPath);
    }
}

CategoryImport PrepareImport(const fs::path& appFolder, const fs::path& sourcePath,
                             std::string_view sourceFileName, const CategoryList& catalogue) {
    CategoryImport import;
    import.name = std::string(sourceFileName.substr(0, sourceFileName.find('.')));
    import.path = NewCategoryFilePath(appFolder, import.name, catalogue);
    import.bytes = ImportConverter::Convert(sourcePath.string(), ReadFileBytes(sourcePath));
    return import;
}

std::string ImportPlainText(const fs::path& appFolder, const fs::path& sourcePath,
                            std::string_view sourceFileName, const CategoryList& catalogue) {
    const CategoryImport import = PrepareImport(appFolder, sourcePath, sourceFileName, catalogue);
    ReplaceFile(import.path, import.bytes);
    return import.name;
}

}  // namespace kestrane
