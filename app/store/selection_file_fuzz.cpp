// Fuzzes the selection file reader: the entries read back unchanged after a rewrite.
#include "app/store/autostart.h"
#include "app/store/selection_file.h"
#include "app/store/text_file.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const kestrane::CategoryList entries = kestrane::ParseSelection(bytes);
    std::string written;
    for (const auto& e : entries) {
        if (e.name.find_first_of(";\r\n") != std::string::npos) {
            std::abort();
        }
        written += e.name + (e.ticked ? ";1\r\n" : ";0\r\n");
    }
    // Written back, a first name that begins with U+FEFF reads as a file's byte-order mark and
    // loses that one character; everything else reads back unchanged.
    kestrane::CategoryList expected = entries;
    if (!expected.empty() && expected.front().name.rfind(kestrane::kUtf8Bom, 0) == 0) {
        expected.front().name.erase(0, kestrane::kUtf8Bom.size());
    }
    if (kestrane::ParseSelection(written) != expected) {
        std::abort();
    }
    // The autostart flag reader takes the same kind of file.
    (void)kestrane::AutoStartFlagIsOn(bytes);
    return 0;
}
