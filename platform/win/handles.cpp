#include "platform/win/handles.h"

#include <pthread.h>

namespace platform::win {

namespace {

constexpr std::int32_t kSerialBits = 20;
constexpr std::int32_t kMaxSerial = (1 << kSerialBits) - 1;
constexpr std::int32_t kMaxTag = (1 << (31 - kSerialBits)) - 1;

std::int32_t TakeTag() {
    // Thread-local-storage keys are unique across the whole process and are never released
    // here, so two copies of this layer always get different keys.
    pthread_key_t key;
    std::int64_t value;
    if (pthread_key_create(&key, nullptr) == 0) {
        value = static_cast<std::int64_t>(key);
    } else {
        // Out of keys: fall back to where this copy sits in memory, which differs between
        // copies but may, rarely, give the same tag.
        value = static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(&TakeTag) >> 12);
    }
    return static_cast<std::int32_t>(value % kMaxTag) + 1;
}

}  // namespace

std::int32_t HandleSpace::ModuleTag() {
    static const std::int32_t tag = TakeTag();
    return tag;
}

std::int32_t HandleSpace::Next() {
    std::int32_t current = serial_.load();
    do {
        if (current >= kMaxSerial) {
            return 0;
        }
    } while (!serial_.compare_exchange_weak(current, current + 1));
    return (ModuleTag() << kSerialBits) | (current + 1);
}

}  // namespace platform::win
