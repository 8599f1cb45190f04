// The text of a plain text file that the user imports as a category, as the store writes it:
// one message per non-empty line, each as line + ";1" + CR LF.
//
// Such files come from any editor. A UTF-8 file may begin with a byte-order mark, which is
// left out; a UTF-16 file (little- or big-endian, with its byte-order mark) is turned into the
// text it holds, written as UTF-8 like text the user types. Any other file is taken as bytes,
// line by line, as they stand. A file that is not text (a NUL byte in a file without a UTF-16
// byte-order mark, or a NUL character or a cut last character in a UTF-16 one) is refused:
// no state file ever holds a NUL byte.
//
// The source can be given in pieces of any size, so that a large file is converted while it
// is read.
#pragma once

#include <string>
#include <string_view>

namespace kestrane {

class ImportConverter {
  public:
    // `source` names the file in the message of a refusal.
    explicit ImportConverter(std::string source) : source_(std::move(source)) {}

    // Converts the next piece of the file, appending the lines it completes to out. Throws
    // StoreError when the file is not text.
    void Feed(std::string_view piece, std::string& out);
    // The end of the file: appends its last line when it has no line end.
    void Finish(std::string& out);

    // The whole conversion of a file's bytes.
    static std::string Convert(std::string source, std::string_view bytes);

  private:
    enum class Encoding { Unknown, Bytes, Utf16Le, Utf16Be };

    void Begin(std::string& out);
    void Dispatch(std::string_view piece, std::string& out);
    void FeedText(std::string_view text, std::string& out);
    void FeedUtf16(std::string_view piece, std::string& out);
    void AppendCodePoint(char32_t c);
    [[noreturn]] void NotText() const;

    std::string source_;
    Encoding encoding_ = Encoding::Unknown;
    std::string head_;   // the first bytes, until the encoding is known
    std::string line_;   // the line being read (UTF-8 or bytes)
    std::string utf8_;   // a UTF-16 piece converted
    std::string odd_;    // a byte of a UTF-16 unit cut by the end of a piece
    char16_t high_ = 0;  // a high surrogate waiting for its low half
};

}  // namespace kestrane
