#include "app/store/catalogue.h"

#include "app/store/category_file.h"
#include "app/store/selection_file.h"
#include "app/store/store_error.h"
#include "app/store/text_file.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

namespace fs = std::filesystem;

namespace kestrane {

namespace {

constexpr std::string_view kPendingSuffix = "\\Data\\.kestrane-pending.txt";

// The bytes of a file but its last two (the CR LF a copy added), read in pieces.
void WithoutLastLineEnd(const fs::path& path, ByteSink& sink) {
    std::string tail;  // the last bytes read, held back until more follow
    ReadFileInPieces(path, [&](std::string_view piece) {
        if (piece.size() >= 2) {
            sink.Append(tail);
            sink.Append(piece.substr(0, piece.size() - 2));
            tail = piece.substr(piece.size() - 2);
        } else {
            tail += piece;
            if (tail.size() > 2) {
                sink.Append(std::string_view(tail).substr(0, tail.size() - 2));
                tail.erase(0, tail.size() - 2);
            }
        }
        return true;
    });
}

// The files (in the Data folder) that a change is about to create or remove, written down
// before the change starts and dropped when it is over. A change cut short leaves the record,
// and RemoveLeftovers then removes those of the files that no listed category owns.
class PendingFiles {
  public:
    // Writes the record. A failure is reported as a failure to write `reportAs`, the file the
    // change is about: the record lies in the same folder, so that file could not be written
    // either.
    PendingFiles(const fs::path& appFolder, const std::vector<fs::path>& files,
                 const fs::path& reportAs) {
        std::string names;
        for (const fs::path& f : files) {
            names += f.filename().string();
            names += "\r\n";
        }
        try {
            path_ = ResolvePathForWriting(appFolder, kPendingSuffix);
            ReplaceFile(path_, names);
        } catch (const StoreError& e) {
            throw StoreError("Cannot write " + reportAs.string() + ": " + e.reason(), e.reason());
        }
    }
    // Drops the record, unless Keep was called.
    ~PendingFiles() {
        if (!keep_) {
            RemoveQuietly(path_);
        }
    }
    PendingFiles(const PendingFiles&) = delete;
    PendingFiles& operator=(const PendingFiles&) = delete;

    // The change could neither finish nor be undone: the next start finishes it.
    void Keep() { keep_ = true; }

  private:
    fs::path path_;
    bool keep_ = false;
};

// Runs an undo step; one that fails too leaves the record for the next start.
template <typename Step>
void Undo(PendingFiles& pending, Step undo) {
    try {
        undo();
    } catch (const StoreError&) {
        pending.Keep();
    }
}

// Creates a new category file and lists it; without the line the file goes again.
void AddCategory(const fs::path& appFolder, std::string_view name, const fs::path& path,
                 const std::function<void(ByteSink&)>& produce) {
    PendingFiles pending(appFolder, {path}, path);
    ReplaceFileWith(path, produce);
    try {
        AppendSelectedProgram(appFolder, name);
    } catch (const StoreError&) {
        Undo(pending, [&] { DeleteFile(path); });
        throw;
    }
}

CategoryList Without(const CategoryList& catalogue, size_t index) {
    CategoryList rest = catalogue;
    rest.erase(rest.begin() + static_cast<std::ptrdiff_t>(index));
    return rest;
}

void CheckIndex(const CategoryList& catalogue, size_t index) {
    if (index >= catalogue.size()) {
        throw StoreError("No program is selected.");
    }
}

bool IsOurTemporary(const std::string& name) {
    constexpr std::string_view prefix = ".kestrane-";
    constexpr std::string_view suffix = ".tmp";
    return name.size() > prefix.size() + suffix.size() && name.rfind(prefix, 0) == 0 &&
           name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Finishes or undoes a change cut short, from its record: a Rename names the file it removes
// and then the file it creates, the other changes the one file they create or remove. A
// recorded file that no listed category owns goes (no selection file lists nothing), except
// that a Rename's two files never both go: with its new file unlisted and its old file still
// there, the new one goes (undone); with its new file listed, the old one goes (finished);
// with the old one gone already, the new one holds the messages and stays.
void FinishPendingChange(const fs::path& appFolder) {
    const fs::path record = ResolvePath(appFolder, kPendingSuffix);
    if (!FileExists(record)) {
        return;
    }
    const fs::path selection = ResolvePath(appFolder, kSelectionFileSuffix);
    std::error_code missing;
    if (fs::exists(fs::symlink_status(selection, missing)) && !FileExists(selection)) {
        return;  // a link that leads nowhere, a folder: what is listed is not known
    }
    const CategoryList listed =
        FileExists(selection) ? ParseSelection(ReadFileBytes(selection)) : CategoryList{};
    const std::vector<fs::path> files =
        PendingRecordFiles(record.parent_path(), ReadFileBytes(record));
    auto owned = [&](const fs::path& file) {
        return std::any_of(listed.begin(), listed.end(), [&](const auto& entry) {
            try {
                return CategoryFilePath(appFolder, entry.name) == file;
            } catch (const StoreError&) {
                return false;
            }
        });
    };
    auto present = [](const fs::path& file) {
        std::error_code ec;
        return fs::exists(fs::symlink_status(file, ec));
    };
    std::vector<fs::path> remove;
    if (files.size() == 2 && files[0] != files[1]) {
        const fs::path& oldFile = files[0];
        const fs::path& newFile = files[1];
        if (!owned(newFile) && present(oldFile)) {
            remove.push_back(newFile);
        } else if (owned(newFile) && !owned(oldFile)) {
            remove.push_back(oldFile);
        }
    } else {
        for (const fs::path& file : files) {
            if (!owned(file)) {
                remove.push_back(file);
            }
        }
    }
    for (const fs::path& file : remove) {
        if (present(file)) {
            RemoveQuietly(file);
        }
    }
    RemoveQuietly(record);
}

// A second name (.kestrane-*.tmp, removed at the next start if left) for the file's present
// bytes, or nothing when the file system makes no hard links.
fs::path KeepSecondName(const fs::path& path) {
    static std::mt19937_64 random{std::random_device{}()};
    char name[40];
    std::snprintf(name, sizeof name, ".kestrane-%016llx.tmp",
                  static_cast<unsigned long long>(random()));
    const fs::path second = path.parent_path() / name;
    std::error_code ec;
    fs::create_hard_link(path, second, ec);
    return ec ? fs::path() : second;
}

// Puts the bytes kept under a second name back under the file's name, in one step.
void PutBack(const fs::path& second, const fs::path& path) {
    std::error_code ec;
    fs::rename(second, path, ec);
    if (ec) {
        throw StoreError("Cannot write " + path.string() + ": " + ec.message(), ec.message());
    }
}

bool IsSeedFolder(const std::string& name) {
    return name.rfind(".kestrane-seed-", 0) == 0;
}

}  // namespace

std::vector<fs::path> PendingRecordFiles(const fs::path& dataFolder, std::string_view bytes) {
    std::vector<fs::path> files;
    ForEachLine(bytes, [&](std::string_view name) {
        // A NUL byte ends the name the system sees: "..\0" would be the application folder.
        if (!name.empty() && name != "." && name != ".." &&
            name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos) {
            files.push_back(dataFolder / std::string(name));
        }
    });
    return files;
}

void CreateCategory(const fs::path& appFolder, const CategoryList& catalogue,
                    std::string_view name) {
    AddCategory(appFolder, name, NewCategoryFilePath(appFolder, name, catalogue), [](ByteSink&) {});
}

std::string ImportCategory(const fs::path& appFolder, const CategoryList& catalogue,
                           const fs::path& sourcePath, std::string_view sourceFileName) {
    const CategoryImport import = PrepareImport(appFolder, sourcePath, sourceFileName, catalogue);
    AddCategory(appFolder, import.name, import.path,
                [&](ByteSink& sink) { WriteImport(import, sink); });
    return import.name;
}

void RenameCategory(const fs::path& appFolder, const CategoryList& catalogue, size_t index,
                    std::string_view newName) {
    CheckIndex(catalogue, index);
    const CategoryCopy copy =
        PrepareCategoryCopy(appFolder, catalogue[index].name, newName, catalogue);
    if (copy.twoFiles) {
        CheckDeletable(copy.oldPath);
    }
    CategoryList renamed = Without(catalogue, index);
    renamed.push_back({std::string(newName), false});

    PendingFiles pending(appFolder, {copy.oldPath, copy.newPath}, copy.newPath);
    // The same name: the one file gets its line end added. Its present bytes stay reachable
    // under a second name of ours (a hard link, which needs no room on the disk), so that
    // putting them back needs no room either, also on a full disk.
    const fs::path kept = copy.twoFiles ? fs::path() : KeepSecondName(copy.newPath);
    try {
        ReplaceFileWith(copy.newPath, [&](ByteSink& sink) { WriteCategoryCopy(copy, sink); });
    } catch (const StoreError&) {
        if (!kept.empty()) {
            RemoveQuietly(kept);
        }
        throw;
    }
    try {
        WriteSelectedPrograms(appFolder, renamed, /*create=*/false);
    } catch (const StoreError&) {
        Undo(pending, [&] {
            if (copy.twoFiles) {
                DeleteFile(copy.newPath);
            } else if (!kept.empty()) {
                PutBack(kept, copy.newPath);
            } else {  // take the added line end off again
                ReplaceFileWith(copy.newPath,
                                [&](ByteSink& sink) { WithoutLastLineEnd(copy.newPath, sink); });
            }
        });
        throw;
    }
    if (!copy.twoFiles) {
        if (!kept.empty()) {
            RemoveQuietly(kept);
        }
        return;
    }
    try {
        DeleteFile(copy.oldPath);
    } catch (const StoreError&) {
        Undo(pending, [&] {
            WriteSelectedPrograms(appFolder, catalogue, /*create=*/false);
            DeleteFile(copy.newPath);
        });
        throw;
    }
}

void DeleteCategory(const fs::path& appFolder, const CategoryList& catalogue, size_t index) {
    CheckIndex(catalogue, index);
    const fs::path path = CategoryFilePath(appFolder, catalogue[index].name);
    CheckDeletable(path);
    PendingFiles pending(appFolder, {path}, path);
    WriteSelectedPrograms(appFolder, Without(catalogue, index), /*create=*/false);
    try {
        DeleteFile(path);
    } catch (const StoreError&) {
        Undo(pending, [&] { WriteSelectedPrograms(appFolder, catalogue, /*create=*/false); });
        throw;
    }
}

void RemoveLeftovers(const fs::path& appFolder) {
    try {
        FinishPendingChange(appFolder);
    } catch (const StoreError&) {
        // Start-up goes on; the record stays for the next start.
    }
    for (std::string_view folder : {"\\Data", "\\Images"}) {
        std::error_code ec;
        const fs::path path = ResolvePath(appFolder, folder);
        for (fs::directory_iterator it(path, ec), end; !ec && it != end; it.increment(ec)) {
            std::error_code typeError;
            if (IsOurTemporary(it->path().filename().string()) && !it->is_directory(typeError)) {
                RemoveQuietly(it->path());
            }
        }
    }
    // A first filling of the per-user folder cut short leaves its staging folder.
    std::error_code ec;
    for (fs::directory_iterator it(appFolder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (IsSeedFolder(it->path().filename().string()) && it->is_directory(typeError) &&
            !it->is_symlink(typeError)) {
            std::error_code removeError;
            fs::remove_all(it->path(), removeError);
        }
    }
}

}  // namespace kestrane
