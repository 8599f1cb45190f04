#include "platform/win/handles.h"

namespace platform::win {

namespace {

constexpr std::int32_t kSerialBits = 20;
constexpr std::int32_t kMaxSerial = (1 << kSerialBits) - 1;

}  // namespace

std::int32_t HandleSpace::Next() {
    std::int32_t current = serial_.load();
    do {
        if (current >= kMaxSerial) {
            return 0;
        }
    } while (!serial_.compare_exchange_weak(current, current + 1));
    return (kind_ << kSerialBits) | (current + 1);
}

}  // namespace platform::win
