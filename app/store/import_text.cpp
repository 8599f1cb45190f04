#include "app/store/import_text.h"

#include "app/store/store_error.h"
#include "app/store/text_file.h"
#include "platform/codepage/utf8_append.h"

#include <algorithm>

namespace kestrane {

namespace {

constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";
constexpr char32_t kReplacement = 0xFFFD;

}  // namespace

std::string ImportConverter::Convert(std::string source, std::string_view bytes) {
    ImportConverter converter(std::move(source));
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8 + 16);
    converter.Feed(bytes, out);
    converter.Finish(out);
    return out;
}

void ImportConverter::NotText() const {
    throw StoreError("The file " + source_ +
                     " is not a text file: it holds bytes that are no text (a NUL byte, for "
                     "one). No program was made from it.");
}

void ImportConverter::Begin(std::string& out) {
    std::string_view head = head_;
    if (head.substr(0, 2) == kUtf16LeBom) {
        encoding_ = Encoding::Utf16Le;
        head.remove_prefix(2);
    } else if (head.substr(0, 2) == kUtf16BeBom) {
        encoding_ = Encoding::Utf16Be;
        head.remove_prefix(2);
    } else {
        encoding_ = Encoding::Bytes;
        head = WithoutBom(head);
    }
    const std::string rest(head);
    head_.clear();
    Dispatch(rest, out);
}

void ImportConverter::Dispatch(std::string_view piece, std::string& out) {
    if (encoding_ == Encoding::Bytes) {
        FeedText(piece, out);
    } else {
        FeedUtf16(piece, out);
    }
}

void ImportConverter::Feed(std::string_view piece, std::string& out) {
    if (encoding_ == Encoding::Unknown) {
        // A byte-order mark is at most three bytes long: they decide the encoding.
        const size_t take = std::min(piece.size(), 3 - head_.size());
        head_.append(piece.substr(0, take));
        piece.remove_prefix(take);
        if (head_.size() < 3) {
            return;
        }
        Begin(out);
    }
    Dispatch(piece, out);
}

void ImportConverter::Finish(std::string& out) {
    if (encoding_ == Encoding::Unknown) {
        Begin(out);  // a file shorter than three bytes
    }
    if (!odd_.empty()) {
        NotText();  // half a UTF-16 unit at the end
    }
    if (high_ != 0) {
        high_ = 0;
        AppendCodePoint(kReplacement);  // a high half at the end
        FeedText(utf8_, out);
        utf8_.clear();
    }
    if (!line_.empty()) {
        out += line_;
        out += ";1\r\n";
        line_.clear();
    }
}

void ImportConverter::FeedText(std::string_view text, std::string& out) {
    if (text.find('\0') != std::string_view::npos) {
        NotText();
    }
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = FindLineEnd(text, start);
        if (end == std::string_view::npos) {
            line_.append(text.substr(start));
            return;
        }
        if (!line_.empty() || end > start) {
            out += line_;
            out.append(text.substr(start, end - start));
            out += ";1\r\n";
            line_.clear();
        }
        start = end + 1;
    }
}

void ImportConverter::AppendCodePoint(char32_t c) {
    platform::codepage::AppendUtf8(utf8_, c);
}

void ImportConverter::FeedUtf16(std::string_view piece, std::string& out) {
    const bool little = encoding_ == Encoding::Utf16Le;
    utf8_.clear();
    utf8_.reserve(piece.size() + piece.size() / 2);
    auto unit = [&](unsigned char a, unsigned char b) {
        const auto u = static_cast<char16_t>(little ? (a | (b << 8)) : ((a << 8) | b));
        if (u == 0) {
            NotText();
        }
        if (high_ != 0) {
            if (u >= 0xDC00 && u <= 0xDFFF) {
                AppendCodePoint(0x10000 + ((char32_t(high_) - 0xD800) << 10) + (u - 0xDC00));
                high_ = 0;
                return;
            }
            AppendCodePoint(kReplacement);  // a high half without its low half
            high_ = 0;
        }
        if (u >= 0xD800 && u <= 0xDBFF) {
            high_ = u;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            AppendCodePoint(kReplacement);  // a low half alone
        } else {
            AppendCodePoint(u);
        }
    };
    size_t i = 0;
    if (!odd_.empty() && !piece.empty()) {
        unit(static_cast<unsigned char>(odd_[0]), static_cast<unsigned char>(piece[0]));
        odd_.clear();
        i = 1;
    }
    for (; i + 1 < piece.size(); i += 2) {
        unit(static_cast<unsigned char>(piece[i]), static_cast<unsigned char>(piece[i + 1]));
    }
    if (i < piece.size()) {
        odd_.assign(1, piece[i]);
    }
    FeedText(utf8_, out);
    utf8_.clear();
}

}  // namespace kestrane
