// Fuzzes the reading rule of category files: whatever the bytes, the messages read back
// unchanged after they are written the way the program writes them.
#include "app/store/category_file.h"
#include "app/store/text_file.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const kestrane::MessageList messages = kestrane::ParseMessages(bytes);
    std::string written;
    for (const auto& m : messages) {
        if (m.text.find_first_of(";\r\n") != std::string::npos) {
            std::abort();  // a text can never hold the separator or a line end
        }
        written += m.text + (m.included ? ";1\r\n" : ";0\r\n");
    }
    // Written back, a first text that begins with U+FEFF reads as a file's byte-order mark and
    // loses that one character; everything else reads back unchanged.
    kestrane::MessageList expected = messages;
    if (!expected.empty() && expected.front().text.rfind(kestrane::kUtf8Bom, 0) == 0) {
        expected.front().text.erase(0, kestrane::kUtf8Bom.size());
    }
    if (kestrane::ParseMessages(written) != expected) {
        std::abort();
    }
    return 0;
}
