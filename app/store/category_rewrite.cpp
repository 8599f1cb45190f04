// The rewrites of a category whose bytes are held (see category_text.h): each one streamed
// rewrite of the file from the held bytes, after which the held bytes change in place.
#include "app/store/category_name.h"
#include "app/store/category_text.h"
#include "app/store/store_error.h"
#include "app/store/text_file.h"

namespace fs = std::filesystem;

namespace kestrane {

namespace {

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

// The checks of a rewrite of a held category, before anything is written: the file is still
// there, readable and writable, and no write goes through a link out of the folder.
fs::path CheckRewrite(const fs::path& appFolder, std::string_view name) {
    const fs::path path = CategoryFilePath(appFolder, name);
    CheckNoLinkOutside(appFolder, path);
    ReadFileInPieces(path, [](std::string_view) { return false; });
    const TextWriter check(path, WriteMode::Write);  // the checks of opening it for writing
    return path;
}

// Whether the held bytes can stand for the file's: a file of another size (made or changed by
// another program since it was read, or not read at all) is read again.
bool HoldsFile(const CategoryText& held, const fs::path& path) {
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    return !ec && held.SizeFits(size);
}

// The text a rewrite works from: held, or the file read afresh into fresh.
CategoryText& Source(CategoryText& held, const fs::path& path, CategoryText& fresh) {
    if (HoldsFile(held, path)) {
        return held;
    }
    fresh.Load(ReadFileBytes(path));
    return fresh;
}

// A text that a line in the written form can hold: no ";" and no line end.
bool PlainText(std::string_view text) {
    return text.find_first_of(";\r\n") == std::string_view::npos;
}

// The checks before an Update or Delete of a held category, and the text it works from: the
// held one, or the file read afresh when the held bytes no longer stand for it.
class HeldRewrite {
  public:
    HeldRewrite(const fs::path& appFolder, std::string_view name, const CategoryList& catalogue,
                CategoryText& target)
        : temp(CategoryTempFilePath(appFolder, name)), target_(target) {
        CheckNoCategoryUsesTempFile(name, catalogue, temp);
        CheckNoLinkOutside(appFolder, temp);
        path = CheckRewrite(appFolder, name);
        held_ = &Source(target_, path, fresh_);
    }

    CategoryText& Held() { return *held_; }
    // Once the file and the held text have the new bytes: the target holds them.
    void Done() {
        if (held_ != &target_) {
            target_ = std::move(fresh_);
        }
    }

    const fs::path temp;
    fs::path path;

  private:
    CategoryText& target_;
    CategoryText fresh_;
    CategoryText* held_ = nullptr;
};

}  // namespace

void RewriteFromList(const fs::path& appFolder, std::string_view name, CategoryText& held) {
    if (!FileExists(CategoryFilePath(appFolder, name))) {
        return;
    }
    held.Normalize();
    RewriteFromList(appFolder, name, static_cast<const MessageItemsView&>(held));
}

void AppendMessage(const fs::path& appFolder, std::string_view name, const CategoryText& held,
                   std::string_view text) {
    const fs::path path = CategoryFilePath(appFolder, name);
    const auto written = held.AsWritten();
    if (!written || !HoldsFile(held, path)) {
        AppendMessage(appFolder, name, text);
        return;
    }
    CheckNoLinkOutside(appFolder, path);
    ReadFileInPieces(path, [](std::string_view) { return false; });
    const TextWriter check(path, WriteMode::Append);  // the checks of opening it for appending
    ReplaceFileWith(path, [&](ByteSink& sink) {
        sink.Append(*written);
        sink.Append(text);
        sink.Append(";1\r\n");
    });
}

void UpdateMessageText(const fs::path& appFolder, std::string_view name, CategoryText& target,
                       std::string_view oldText, std::string_view newText,
                       const CategoryList& catalogue,
                       const std::function<void(bool rowsKept)>& changing) {
    HeldRewrite rewrite(appFolder, name, catalogue, target);
    const fs::path& temp = rewrite.temp;
    const fs::path& path = rewrite.path;
    CategoryText& held = rewrite.Held();
    const std::string_view bytes = held.bytes_;
    if (held.InWrittenForm() && PlainText(newText)) {
        ReplaceFileWith(path, [&](ByteSink& sink) {
            size_t pos = held.begin_;
            for (size_t i = 0; i < held.Count(); ++i) {
                if (held.Matches(i, oldText)) {
                    sink.Append(bytes.substr(pos, held.starts_[i] - pos));
                    sink.Append(newText);
                    pos = held.starts_[i] + oldText.size();
                }
            }
            sink.Append(bytes.substr(pos));
        });
        if (changing) {
            changing(&held == &target);  // the same rows, only texts changed
        }
        held.ReplaceTexts(oldText, newText);
        rewrite.Done();
    } else {
        // Line by line: a matching line gets the new text and keeps what follows its text; the
        // new bytes split at their line ends as reading them would split them, empty lines
        // dropped. Built whole and indexed again: a file in another form, or a new text with
        // ";" or line ends, whose line reads back as other messages.
        std::string out;
        const auto keep = [&](std::string_view part) {
            if (!part.empty()) {
                out += part;
                out += "\r\n";
            }
        };
        ForEachLine(bytes.substr(held.begin_), [&](std::string_view line) {
            if (line.empty() || MessageText(line) != oldText) {
                keep(line);
                return;
            }
            const size_t semi = line.find(';');
            std::string piece(newText);
            if (semi != std::string_view::npos) {
                piece += line.substr(semi);
            }
            ForEachLine(piece, keep);
        });
        ReplaceFile(path, out);
        if (changing) {
            changing(false);
        }
        held.Load(std::move(out));
        rewrite.Done();
    }
    // The temporary file a Delete left behind goes, as after an update through it.
    if (FileExists(temp)) {
        RemoveQuietly(temp);
    }
}

void DeleteMessageText(const fs::path& appFolder, std::string_view name, CategoryText& target,
                       std::string_view text, const CategoryList& catalogue,
                       const std::function<void(bool rowsKept)>& changing) {
    HeldRewrite rewrite(appFolder, name, catalogue, target);
    const fs::path& temp = rewrite.temp;
    const fs::path& path = rewrite.path;
    CategoryText& held = rewrite.Held();
    const std::string_view bytes = held.bytes_;
    const std::string_view all = bytes.substr(held.begin_);
    // One pass writes both files: the category file, and the temporary file that stays behind
    // with the file's lines (empty ones included) that are kept, followed by CR LF. The
    // temporary file is complete before the category file takes its new bytes.
    // A category file that cannot take its new bytes leaves no temporary file either.
    const auto orNothing = [&](const std::function<void()>& write) {
        try {
            write();
        } catch (const StoreError&) {
            RemoveQuietly(temp);
            throw;
        }
    };
    if (held.InWrittenForm()) {
        orNothing([&] {
            ReplaceFileWith(path, [&](ByteSink& sink) {
                ReplaceFileWith(
                    temp,
                    [&](ByteSink& scratch) {
                        size_t pos = held.begin_;
                        for (size_t i = 0; i < held.Count(); ++i) {
                            if (held.Matches(i, text)) {
                                const std::string_view kept =
                                    bytes.substr(pos, held.starts_[i] - pos);
                                sink.Append(kept);
                                scratch.Append(kept);
                                pos = held.starts_[i] + text.size() + 4;
                            }
                        }
                        sink.Append(bytes.substr(pos));
                        scratch.Append(bytes.substr(pos));
                        scratch.Append("\r\n");
                    },
                    Durability::Scratch);
            });
        });
        if (changing) {
            changing(false);
        }
        held.RemoveTexts(text);
        rewrite.Done();
        return;
    }
    std::string out;
    ReplaceFileWith(
        temp,
        [&](ByteSink& scratch) {
            ForEachLine(all, [&](std::string_view line) {
                if (line.empty() || MessageText(line) != text) {
                    scratch.Append(line);
                    scratch.Append("\r\n");
                    if (!line.empty()) {
                        out += line;
                        out += "\r\n";
                    }
                }
            });
            if (all.empty() || all.back() == '\r' || all.back() == '\n') {
                scratch.Append("\r\n");
            }
        },
        Durability::Scratch);
    orNothing([&] { ReplaceFile(path, out); });
    if (changing) {
        changing(false);
    }
    held.Load(std::move(out));
    rewrite.Done();
}

}  // namespace kestrane
