#include "app/store/category_file.h"

#include "app/store/category_name.h"
#include "app/store/category_text.h"
#include "app/store/import_text.h"
#include "app/store/number.h"
#include "app/store/store_error.h"
#include "app/store/text_file.h"

#include <functional>
#include <system_error>

namespace fs = std::filesystem;

namespace kestrane {

namespace {

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
        try {
            const fs::path path = CategoryFilePath(appFolder, entry.name);
            if (!FileExists(path)) {
                continue;
            }
            // Read on only while the count can still grow.
            ForEachFileLine(path, [&](std::string_view line) {
                if (!line.empty() && LineIncluded(line)) {
                    ++count;
                }
                return count < kMaxCount;
            });
        } catch (const StoreError&) {
            continue;  // counting never reports a failure; what was counted stays
        }
        if (count >= kMaxCount) {
            break;
        }
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

void RewriteFromList(const fs::path& appFolder, std::string_view name,
                     const MessageItemsView& items) {
    const fs::path path = CategoryFilePath(appFolder, name);
    if (!FileExists(path)) {
        return;
    }
    CheckNoLinkOutside(appFolder, path);
    const TextWriter check(path, WriteMode::Write);  // the checks of opening it for writing
    ReplaceFileWith(path, [&](ByteSink& sink) {
        if (const auto whole = items.AsWritten()) {
            sink.Append(*whole);  // already as written: one piece
            return;
        }
        const size_t n = items.Count();
        for (size_t i = 0; i < n; ++i) {
            sink.Append(items.Text(i));
            sink.Append(items.Included(i) ? ";1\r\n" : ";0\r\n");
        }
    });
}

void RewriteFromList(const fs::path& appFolder, std::string_view name, const MessageList& items) {
    struct View : MessageItemsView {
        const MessageList& list;
        explicit View(const MessageList& l) : list(l) {}
        size_t Count() const override { return list.size(); }
        std::string_view Text(size_t i) const override { return list[i].text; }
        bool Included(size_t i) const override { return list[i].included; }
    };
    RewriteFromList(appFolder, name, View(items));
}

void UpdateMessageText(const fs::path& appFolder, std::string_view name, std::string_view oldText,
                       std::string_view newText, const CategoryList& catalogue) {
    CategoryText held;
    held.Load(ReadFileBytes(CategoryFilePath(appFolder, name)));
    UpdateMessageText(appFolder, name, held, oldText, newText, catalogue);
}

void DeleteMessageText(const fs::path& appFolder, std::string_view name, std::string_view text,
                       const CategoryList& catalogue) {
    CategoryText held;
    held.Load(ReadFileBytes(CategoryFilePath(appFolder, name)));
    DeleteMessageText(appFolder, name, held, text, catalogue);
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
    // Readable now, so that nothing changes for a file that is not; read when it is written.
    ReadFileInPieces(copy.oldPath, [](std::string_view) { return false; });

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

void WriteCategoryCopy(const CategoryCopy& copy, ByteSink& sink) {
    bool first = true;
    ReadFileInPieces(copy.oldPath, [&](std::string_view piece) {
        sink.Append(first ? WithoutBom(piece) : piece);
        first = false;
        return true;
    });
    sink.Append("\r\n");
}

void CopyCategoryFile(const fs::path& appFolder, std::string_view oldName, std::string_view newName,
                      const CategoryList& catalogue) {
    const CategoryCopy copy = PrepareCategoryCopy(appFolder, oldName, newName, catalogue);
    ReplaceFileWith(copy.newPath, [&](ByteSink& sink) { WriteCategoryCopy(copy, sink); });
    // Only now, with the messages safe under the new name, the old file goes.
    if (copy.twoFiles && FileExists(copy.oldPath)) {
        DeleteFile(copy.oldPath);
    }
}

namespace {

// Converts the file as ImportConverter does, handing the output to out piece by piece.
void ConvertImport(const fs::path& sourcePath, const std::function<void(std::string_view)>& out) {
    ImportConverter converter(sourcePath.string());
    std::string converted;
    ReadFileInPieces(sourcePath, [&](std::string_view piece) {
        converted.clear();
        converter.Feed(piece, converted);
        out(converted);
        return true;
    });
    converted.clear();
    converter.Finish(converted);
    out(converted);
}

}  // namespace

void WriteImport(const CategoryImport& import, ByteSink& sink) {
    ConvertImport(import.source, [&](std::string_view bytes) { sink.Append(bytes); });
}

CategoryImport PrepareImport(const fs::path& appFolder, const fs::path& sourcePath,
                             std::string_view sourceFileName, const CategoryList& catalogue) {
    CategoryImport import;
    import.name = std::string(sourceFileName.substr(0, sourceFileName.find('.')));
    import.path = NewCategoryFilePath(appFolder, import.name, catalogue);
    import.source = sourcePath;
    // The whole file is converted once before anything is written, so that a file that is no
    // text is refused with nothing changed; the output is not kept.
    ConvertImport(sourcePath, [](std::string_view) {});
    return import;
}

std::string ImportPlainText(const fs::path& appFolder, const fs::path& sourcePath,
                            std::string_view sourceFileName, const CategoryList& catalogue) {
    const CategoryImport import = PrepareImport(appFolder, sourcePath, sourceFileName, catalogue);
    ReplaceFileWith(import.path, [&](ByteSink& sink) { WriteImport(import, sink); });
    return import.name;
}

}  // namespace kestrane
