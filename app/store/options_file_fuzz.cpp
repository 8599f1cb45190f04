// Fuzzes the options reader: the timing values are never 0, the box texts show them, and what
// was read survives a save and a second read.
#include "app/store/options_file.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const kestrane::OptionsRead r = kestrane::ParseOptions(bytes, kestrane::FlashOptions{});
    const kestrane::FlashOptions& o = r.options;
    if (o.Msgduration == 0 || o.TimeBtnMsgs == 0 ||
        r.durationBox != std::to_string(o.Msgduration) ||
        r.intervalBox != std::to_string(o.TimeBtnMsgs)) {
        std::abort();
    }
    const kestrane::OptionsRead again =
        kestrane::ParseOptions(kestrane::FormatOptions(o), kestrane::FlashOptions{});
    if (!(again.options == o) || again.position != kestrane::PositionButtonFor(o.MsgOption)) {
        std::abort();
    }
    return 0;
}
