// Fuzzes the conversion of an imported text file: whatever the bytes, the file is refused as no
// text or becomes lines text + ";1" + CR LF without a NUL byte or a leading byte-order mark,
// valid UTF-8 for a UTF-16 file, and the same whether it is read in one piece or in many.
#include "app/store/import_text.h"
#include "app/store/store_error.h"

#include <QString>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace {

std::optional<std::string> Convert(std::string_view bytes, size_t piece) {
    kestrane::ImportConverter converter("fuzz");
    std::string out;
    try {
        for (size_t i = 0; i < bytes.size(); i += piece) {
            converter.Feed(bytes.substr(i, piece), out);
        }
        converter.Finish(out);
    } catch (const kestrane::StoreError&) {
        return std::nullopt;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const std::optional<std::string> whole = Convert(bytes, bytes.size() + 1);
    const size_t piece = size == 0 ? 1 : 1 + data[0] % 7;
    if (Convert(bytes, piece) != whole) {
        std::abort();
    }
    if (!whole) {
        return 0;
    }
    const std::string& out = *whole;
    if (out.find('\0') != std::string::npos) {
        std::abort();
    }
    // A UTF-8 byte-order mark in front is left out: a file of bytes reads the same with one.
    const bool marked = bytes.rfind("\xEF\xBB\xBF", 0) == 0 || bytes.rfind("\xFF\xFE", 0) == 0 ||
                        bytes.rfind("\xFE\xFF", 0) == 0;
    if (!marked && Convert("\xEF\xBB\xBF" + std::string(bytes), 7) != whole) {
        std::abort();
    }
    const bool utf16 = bytes.rfind("\xFF\xFE", 0) == 0 || bytes.rfind("\xFE\xFF", 0) == 0;
    // (Behind a letter, as QString::fromUtf8 would drop a leading U+FEFF.)
    const QByteArray utf8 = "a" + QByteArray::fromStdString(out);
    if (utf16 && QString::fromUtf8(utf8).toUtf8() != utf8) {
        std::abort();
    }
    size_t start = 0;
    while (start < out.size()) {
        const size_t end = out.find("\r\n", start);
        if (end == std::string::npos || end < start + 3 || out.compare(end - 2, 2, ";1") != 0) {
            std::abort();
        }
        const std::string_view line = std::string_view(out).substr(start, end - start);
        if (line.find_first_of("\r\n") != std::string_view::npos) {
            std::abort();
        }
        start = end + 2;
    }
    return 0;
}
