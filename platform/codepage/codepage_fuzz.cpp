// Fuzzes the display decoding: every byte becomes at least one character, valid UTF-8 comes
// back byte for byte through the typed-text encoding (a leading byte-order mark included, which
// is a character of the text), and anything else decodes one character per byte.
#include "platform/codepage/codepage.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    using namespace platform::codepage;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const QString shown = DecodeForDisplay(bytes);
    if (IsValidUtf8(bytes)) {
        if (EncodeTyped(shown) != bytes) {
            std::abort();
        }
        // Qt's own decoder must agree that nothing was replaced.
        if (shown.contains(QChar(0xFFFD)) && bytes.find("\xEF\xBF\xBD") == std::string_view::npos) {
            std::abort();
        }
    } else if (shown.size() != static_cast<qsizetype>(size)) {
        std::abort();
    }
    return 0;
}
