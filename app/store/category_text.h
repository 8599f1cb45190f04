// A category file's bytes held in memory with an index of its messages: per message where its
// line begins, the length of its text and its include flag, never an object per message, so
// that a category of a million messages is indexed at once and rewritten without a copy of its
// texts.
//
// The held bytes are the file's bytes: every rewrite below writes the file in one streamed pass
// and then changes the held bytes in place the same way (the offsets of the messages behind a
// change shifted), so they never need to be read again. While the held text is in the form the
// program writes (every message a line text;1 or text;0 ended by CR LF, nothing else), a
// rewrite writes the held bytes as they are; the first rewrite of a file in another form (empty
// lines, LF line ends, more fields) brings the held bytes into that form.
#pragma once

#include "app/store/category_entry.h"
#include "app/store/category_file.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrane {

class CategoryText : public MessageItemsView {
  public:
    enum class Rows {
        Every,         // one message per non-empty line
        IncludedOnly,  // the included messages alone (for reading only; never written)
    };

    // Indexes a file's bytes by the reading rule; a leading byte-order mark is no text.
    void Load(std::string bytes, Rows rows = Rows::Every);
    void Clear() { Load({}); }

    // Whether a file of this size can hold the held bytes: with or without the byte-order mark
    // they began with (a rewrite writes none).
    bool SizeFits(std::uintmax_t size) const {
        return size == bytes_.size() || size == bytes_.size() - begin_;
    }
    size_t Count() const override { return starts_.size(); }
    std::string_view Text(size_t i) const override;
    bool Included(size_t i) const override { return included_[i]; }
    // The held bytes when they are exactly what RewriteFromList writes.
    std::optional<std::string_view> AsWritten() const override;

    // A check mark changed; the held bytes follow when they are in the written form.
    void SetIncluded(size_t i, bool included);
    // A message appended as AppendMessage appends it: text;1 (text;0 when not included).
    void Append(std::string_view text, bool included);
    // Brings the held bytes into the form RewriteFromList writes (the same messages).
    void Normalize();

    // What the rewrites below do to the held bytes once the file has them. A text with ";" or
    // a line end goes through the general way: the new bytes built whole, then indexed again.
    bool InWrittenForm() const { return written_; }

  private:
    friend void UpdateMessageText(const std::filesystem::path&, std::string_view, CategoryText&,
                                  std::string_view, std::string_view, const CategoryList&,
                                  const std::function<void(bool)>&);
    friend void DeleteMessageText(const std::filesystem::path&, std::string_view, CategoryText&,
                                  std::string_view, const CategoryList&,
                                  const std::function<void(bool)>&);

    bool Matches(size_t i, std::string_view text) const;
    // Gives every message whose text is oldText the text newText, in place (written form, a
    // newText without ";" or line ends).
    void ReplaceTexts(std::string_view oldText, std::string_view newText);
    // Drops every message whose text is text, in place (written form).
    void RemoveTexts(std::string_view text);

    std::string bytes_;
    size_t begin_ = 0;                    // after a byte-order mark
    std::vector<std::uint64_t> starts_;   // where each message's line begins in bytes_
    std::vector<std::uint32_t> lengths_;  // of each message's text (kLong: longer, found again)
    std::vector<bool> included_;
    bool written_ = true;  // bytes_[begin_..] is what RewriteFromList writes
    Rows rows_ = Rows::Every;
};

// The rewrites of a category whose text is held, each one streamed rewrite of the file, after
// which `held` holds the new bytes. They act as the functions of the same names in
// category_file.h on the file's bytes, and refuse the same way; the file must still be there
// and readable. Append, Update and Delete read it again when its size is not that of the held
// bytes (another program changed it, or it was not there when they were read).
// On failure the file and `held` stay as they were; changing, when given, is called once the
// file has its new bytes, just before `held` changes, with whether its messages stay the same
// rows (only texts change) or rows may come and go.
void RewriteFromList(const std::filesystem::path& appFolder, std::string_view name,
                     CategoryText& held);
// Writes text;1 behind the file's last line as AppendMessage does; while `held` is in the written
// form, the new file is written from it rather than from the file. `held` itself is not changed
// (its Append follows once the file has the line).
void AppendMessage(const std::filesystem::path& appFolder, std::string_view name,
                   const CategoryText& held, std::string_view text);
void UpdateMessageText(const std::filesystem::path& appFolder, std::string_view name,
                       CategoryText& held, std::string_view oldText, std::string_view newText,
                       const CategoryList& catalogue,
                       const std::function<void(bool)>& changing = {});
void DeleteMessageText(const std::filesystem::path& appFolder, std::string_view name,
                       CategoryText& held, std::string_view text, const CategoryList& catalogue,
                       const std::function<void(bool)>& changing = {});

}  // namespace kestrane
