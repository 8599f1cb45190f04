// Category files: one file per category in the Data folder, Data\<name>.txt, one message per
// line as text + ";" + flag ("1" included, "0" excluded), every line ended by CR LF.
//
// Every function takes the application folder and works in bytes. Failures throw StoreError
// (see store_error.h) unless a function says otherwise.
#pragma once

#include "app/store/category_entry.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrane {

class ByteSink;

struct Message {
    std::string text;
    bool included = true;

    bool operator==(const Message&) const = default;
};

using MessageList = std::vector<Message>;

// The reading rule for one non-empty line: the text is everything before the first ";"; the
// message is excluded only when the field after it reads as a number other than 1. A line
// without ";", or whose flag is not a number, is an included message.
Message ParseMessageLine(std::string_view line);
// The same without a copy: whether the line is an included message, and its text.
bool LineIncluded(std::string_view line);
std::string_view MessageText(std::string_view line);

// The messages of a category file's bytes, skipping empty lines, in file order. A byte-order
// mark at the start is not read as text.
MessageList ParseMessages(std::string_view bytes);

// The file of a category: <app>\Data\<name>.txt, matched without regard to case. Throws
// StoreError for a name that would reach outside the Data folder (one holding "/" or "\", or
// naming "." or "..").
std::filesystem::path CategoryFilePath(const std::filesystem::path& appFolder,
                                       std::string_view name);

// The temporary file of a category's rewrite: <app>\Data\<name>temp.txt.
std::filesystem::path CategoryTempFilePath(const std::filesystem::path& appFolder,
                                           std::string_view name);

// The messages of a category; empty when its file does not exist.
MessageList LoadMessages(const std::filesystem::path& appFolder, std::string_view name);

// The included messages of every ticked category whose file exists, stopping at 32767. Never
// throws: a file that cannot be read adds nothing.
int CountIncludedMessages(const std::filesystem::path& appFolder, const CategoryList& selection);

// The file of a new category, checked: refuses (StoreError) a name that CheckNewCategoryName
// refuses against the catalogue, and a name whose file already exists.
std::filesystem::path NewCategoryFilePath(const std::filesystem::path& appFolder,
                                          std::string_view name, const CategoryList& catalogue);

// Creates the empty file of a new category. Refuses (StoreError, nothing changed) a name that
// CheckNewCategoryName refuses against the catalogue, and a name whose file already exists.
void CreateCategoryFile(const std::filesystem::path& appFolder, std::string_view name,
                        const CategoryList& catalogue);

// Appends text + ";1" to an existing category file.
void AppendMessage(const std::filesystem::path& appFolder, std::string_view name,
                   std::string_view text);

// The items of a message list as a rewrite reads them, one at a time, so that a long list is
// written without a copy of its texts.
class MessageItemsView {
  public:
    virtual size_t Count() const = 0;
    virtual std::string_view Text(size_t i) const = 0;  // bytes
    virtual bool Included(size_t i) const = 0;
    // The whole of what the rewrite writes, when the items hold it as one piece already.
    virtual std::optional<std::string_view> AsWritten() const { return std::nullopt; }

  protected:
    ~MessageItemsView() = default;
};

// Replaces the file by one line per item (text;1 when included, text;0 when not), written while
// the items are read. Does nothing when the file does not exist.
void RewriteFromList(const std::filesystem::path& appFolder, std::string_view name,
                     const MessageItemsView& items);
void RewriteFromList(const std::filesystem::path& appFolder, std::string_view name,
                     const MessageList& items);

// Gives every message whose text equals oldText exactly the text newText, keeping its flag,
// and drops empty lines. The rewrite goes through the category's temporary file, which is
// removed again. `catalogue` (the category list) lets the rewrite refuse to touch a temporary
// file that is itself another category's file.
void UpdateMessageText(const std::filesystem::path& appFolder, std::string_view name,
                       std::string_view oldText, std::string_view newText,
                       const CategoryList& catalogue);

// Drops every message whose text equals text exactly, whatever its flag, and the empty lines.
// The temporary file of the rewrite stays in the Data folder.
void DeleteMessageText(const std::filesystem::path& appFolder, std::string_view name,
                       std::string_view text, const CategoryList& catalogue);

// Removes the category's file when it exists; a read-only file is not removed (StoreError).
void DeleteCategoryFile(const std::filesystem::path& appFolder, std::string_view name);

// What CopyCategoryFile writes and removes, worked out and checked before any file changes.
struct CategoryCopy {
    std::filesystem::path oldPath;
    std::filesystem::path newPath;
    bool twoFiles = false;  // false when the new name keeps the old file (same name, any case)
};
CategoryCopy PrepareCategoryCopy(const std::filesystem::path& appFolder, std::string_view oldName,
                                 std::string_view newName, const CategoryList& catalogue);
// Writes the new file's bytes to sink: the old file's text (without a byte-order mark) followed
// by CR LF, read in pieces, so that a large category is never held whole.
void WriteCategoryCopy(const CategoryCopy& copy, ByteSink& sink);

// Gives a category a new name: the new file (the old text followed by CR LF) is written before
// the old one is removed, so nothing is lost when a step fails; the same name (in any letter
// case) keeps the messages. Refuses names as CreateCategoryFile does.
void CopyCategoryFile(const std::filesystem::path& appFolder, std::string_view oldName,
                      std::string_view newName, const CategoryList& catalogue);

// What ImportPlainText writes, worked out and checked before any file changes.
// The source is converted while the new file is written (WriteImport); PrepareImport has
// converted it once already, so that a file that is no text is refused before anything changes.
struct CategoryImport {
    std::string name;
    std::filesystem::path path;
    std::filesystem::path source;
};
CategoryImport PrepareImport(const std::filesystem::path& appFolder,
                             const std::filesystem::path& sourcePath,
                             std::string_view sourceFileName, const CategoryList& catalogue);

// Writes the converted text of import's source to sink, reading the source in pieces.
void WriteImport(const CategoryImport& import, ByteSink& sink);

// Makes a category from a plain text file, one message per non-empty line, each included; the
// file's text is converted as ImportConverter says (refused when it is not text).
// The category's name is sourceFileName up to its first "."; its file is <name>.txt. Refuses
// names as CreateCategoryFile does. Returns the name.
std::string ImportPlainText(const std::filesystem::path& appFolder,
                            const std::filesystem::path& sourcePath,
                            std::string_view sourceFileName, const CategoryList& catalogue);

}  // namespace kestrane
