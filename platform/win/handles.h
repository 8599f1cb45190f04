// Handle numbers for windows, menus, icons and window procedures.
//
// A handle is a positive 32-bit number that is never handed out twice within a process, so a
// stale handle can never reach a newer object. The static libraries of this layer are linked
// into the program and, separately, into the tray library, and each of those copies keeps its
// own tables; the handles of the two copies must still not collide. Each copy therefore takes
// a tag that is unique in the process (a thread-local-storage key taken from the C library,
// which both copies share, and which is never given back) and puts it into the upper bits:
//
//     handle = tag << 20 | serial,   tag 1..1023, serial 1..0xFFFFF
//
// Nothing else is shared between the copies: a handle made by one copy is unknown to the
// other, which answers it as an invalid handle. When one copy has used up its serials of a
// kind, creation fails (returns 0) rather than reuse a number.
#pragma once

#include <atomic>
#include <cstdint>

namespace platform::win {

// One kind of handle (windows, menus, ...), counting its serials.
class HandleSpace {
  public:
    // The next handle of this kind, or 0 when the serials are used up.
    std::int32_t Next();

    // The tag of this copy of the layer (1..1023), the same for every kind.
    static std::int32_t ModuleTag();

  private:
    std::atomic<std::int32_t> serial_{0};
};

}  // namespace platform::win
