#include "app/store/category_text.h"

#include "app/store/text_file.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define KESTRANE_SCAN_SSE2 1
#endif

namespace fs = std::filesystem;

namespace kestrane {

namespace {

constexpr std::uint32_t kLong = std::numeric_limits<std::uint32_t>::max();

// The first CR or LF at or after p, or the first ";" when semi is set: sixteen bytes at a time
// where the processor allows, as a line is a few dozen bytes and a file a million lines.
const char* FindLineMark(const char* p, const char* end, bool semi) {
#ifdef KESTRANE_SCAN_SSE2
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i sc = semi ? _mm_set1_epi8(';') : lf;
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)),
                                         _mm_cmpeq_epi8(v, sc));
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
        if (mask != 0) {
            return p + std::countr_zero(mask);
        }
        p += 16;
    }
#endif
    for (; p < end; ++p) {
        if (*p == '\r' || *p == '\n' || (semi && *p == ';')) {
            return p;
        }
    }
    return end;
}

}  // namespace

void CategoryText::Load(std::string bytes, Rows rows) {
    bytes_ = std::move(bytes);
    rows_ = rows;
    begin_ = bytes_.size() - WithoutBom(bytes_).size();
    starts_.clear();
    lengths_.clear();
    included_.clear();
    written_ = true;
    const char* const data = bytes_.data();
    const char* const end = data + bytes_.size();
    // About one message per 40 bytes, as short messages are: few reallocations on the way.
    const size_t guess = (bytes_.size() - begin_) / 32 + 1;
    starts_.reserve(guess);
    lengths_.reserve(guess);
    included_.reserve(guess);
    const char* p = data + begin_;
    while (p < end) {
        const char* mark = FindLineMark(p, end, true);
        const char* semi = mark < end && *mark == ';' ? mark : nullptr;
        const char* e = semi ? FindLineMark(semi + 1, end, false) : mark;
        const size_t textLength = static_cast<size_t>((semi ? semi : e) - p);
        bool included = true;
        bool writtenForm = false;
        if (semi != nullptr) {
            const std::string_view flag(semi + 1, static_cast<size_t>(e - semi - 1));
            writtenForm = flag.size() == 1 && (flag[0] == '0' || flag[0] == '1');
            included = writtenForm ? flag[0] == '1' : LineIncluded({p, static_cast<size_t>(e - p)});
        }
        const bool crlf = e + 1 < end && e[0] == '\r' && e[1] == '\n';
        written_ = written_ && writtenForm && crlf;
        if (e > p && (included || rows_ == Rows::Every)) {
            starts_.push_back(static_cast<std::uint64_t>(p - data));
            lengths_.push_back(textLength < kLong ? static_cast<std::uint32_t>(textLength) : kLong);
            included_.push_back(included);
        }
        if (e == end) {
            break;
        }
        p = crlf ? e + 2 : e + 1;
    }
}

std::string_view CategoryText::Text(size_t i) const {
    const char* const begin = bytes_.data() + starts_[i];
    if (lengths_[i] != kLong) {
        return {begin, lengths_[i]};
    }
    const char* const end = bytes_.data() + bytes_.size();
    return {begin, static_cast<size_t>(FindLineMark(begin, end, true) - begin)};
}

std::optional<std::string_view> CategoryText::AsWritten() const {
    if (!written_ || rows_ != Rows::Every) {
        return std::nullopt;
    }
    return std::string_view(bytes_).substr(begin_);
}

void CategoryText::SetIncluded(size_t i, bool included) {
    included_[i] = included;
    if (written_) {
        bytes_[starts_[i] + Text(i).size() + 1] = included ? '1' : '0';
    }
}

void CategoryText::Append(std::string_view text, bool included) {
    if (bytes_.size() > begin_ && bytes_.back() != '\r' && bytes_.back() != '\n') {
        bytes_ += "\r\n";
        written_ = false;
    }
    const size_t start = bytes_.size();
    bytes_ += text;
    bytes_ += included ? ";1\r\n" : ";0\r\n";
    // The text is the bytes up to a ";" or a line end. One that is empty still makes a row:
    // its line ";1" is not empty.
    const size_t length = text.find_first_of(";\r\n");
    if (length != std::string_view::npos) {
        written_ = false;
    }
    const size_t shown = length == std::string_view::npos ? text.size() : length;
    starts_.push_back(start);
    lengths_.push_back(shown < kLong ? static_cast<std::uint32_t>(shown) : kLong);
    included_.push_back(included);
}

void CategoryText::Normalize() {
    if (written_ || rows_ != Rows::Every) {
        return;
    }
    std::string out;
    size_t size = 0;
    for (size_t i = 0; i < Count(); ++i) {
        size += Text(i).size() + 4;
    }
    out.reserve(size);
    for (size_t i = 0; i < Count(); ++i) {
        const std::string_view text = Text(i);
        const size_t start = out.size();
        out += text;
        out += included_[i] ? ";1\r\n" : ";0\r\n";
        starts_[i] = start;
    }
    bytes_ = std::move(out);
    begin_ = 0;
    written_ = true;
}

bool CategoryText::Matches(size_t i, std::string_view text) const {
    return (lengths_[i] == kLong || lengths_[i] == text.size()) && Text(i) == text;
}

void CategoryText::ReplaceTexts(std::string_view oldText, std::string_view newText) {
    std::vector<size_t> hits;
    for (size_t i = 0; i < Count(); ++i) {
        if (Matches(i, oldText)) {
            hits.push_back(i);
        }
    }
    if (hits.empty()) {
        return;
    }
    char* b = bytes_.data();
    const size_t oldSize = bytes_.size();
    const size_t grow = newText.size() > oldText.size() ? newText.size() - oldText.size() : 0;
    const size_t shrink = oldText.size() > newText.size() ? oldText.size() - newText.size() : 0;
    if (grow == 0) {
        // Front to back: every piece moves towards the start (or stays).
        size_t r = starts_[hits[0]];
        size_t w = r;
        for (const size_t h : hits) {
            const size_t s = starts_[h];
            std::memmove(b + w, b + r, s - r);
            w += s - r;
            std::memcpy(b + w, newText.data(), newText.size());
            w += newText.size();
            r = s + oldText.size();
        }
        std::memmove(b + w, b + r, oldSize - r);
        bytes_.resize(w + oldSize - r);
    } else {
        // Back to front: every piece moves towards the end.
        bytes_.resize(oldSize + hits.size() * grow);
        b = bytes_.data();
        size_t r = oldSize;
        size_t w = bytes_.size();
        for (auto it = hits.rbegin(); it != hits.rend(); ++it) {
            const size_t s = starts_[*it];
            const size_t tail = r - (s + oldText.size());
            w -= tail;
            std::memmove(b + w, b + s + oldText.size(), tail);
            w -= newText.size();
            std::memcpy(b + w, newText.data(), newText.size());
            r = s;
        }
    }
    size_t passed = 0;
    for (size_t i = hits[0]; i < Count(); ++i) {
        starts_[i] = starts_[i] + passed * grow - passed * shrink;
        if (passed < hits.size() && hits[passed] == i) {
            lengths_[i] = static_cast<std::uint32_t>(std::min<size_t>(newText.size(), kLong));
            ++passed;
        }
    }
}

void CategoryText::RemoveTexts(std::string_view text) {
    char* const b = bytes_.data();
    size_t r = begin_, w = begin_, kept = 0;
    for (size_t i = 0; i < Count(); ++i) {
        const size_t s = starts_[i];
        const size_t length = Text(i).size();
        if (Matches(i, text)) {
            std::memmove(b + w, b + r, s - r);
            w += s - r;
            r = s + length + 4;  // the line text;F CR LF
            continue;
        }
        starts_[kept] = s - (r - w);
        lengths_[kept] = lengths_[i];
        included_[kept] = included_[i];
        ++kept;
    }
    std::memmove(b + w, b + r, bytes_.size() - r);
    bytes_.resize(w + bytes_.size() - r);
    starts_.resize(kept);
    lengths_.resize(kept);
    included_.resize(kept);
}

}  // namespace kestrane
