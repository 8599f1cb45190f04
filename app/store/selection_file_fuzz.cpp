// Fuzzes the selection file reader: the entries read back unchanged after a rewrite.
#include "app/store/autostart.h"
#include "app/store/selection_file.h"

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
    if (kestrane::ParseSelection(written) != entries) {
        std::abort();
    }
    // The autostart flag reader takes the same kind of file.
    (void)kestrane::AutoStartFlagIsOn(bytes);
    return 0;
}
