// Handle numbers for windows, menus, icons and window procedures.
//
// A handle is a positive 32-bit number that is never handed out twice within a process, so a
// stale handle can never reach a newer object. This layer is one shared library, as the
// window manager is on Windows: the program, the tray library and every other module of a
// process use the same copy and see the same windows, menus and icons, so a window of the
// tray library can receive messages sent by the program and an icon made by the program can
// be shown by the tray library.
//
// Each kind of handle counts in its own range, so that a handle of one kind is never taken
// for a handle of another:
//
//     handle = kind << 20 | serial,   serial 1..0xFFFFF
//
// When a kind has used up its serials, creation fails (returns 0) rather than reuse a number.
#pragma once

#include <atomic>
#include <cstdint>

namespace platform::win {

enum class HandleKind : std::int32_t { Window = 1, Menu = 2, Icon = 3, Procedure = 4 };

// One kind of handle, counting its serials.
class HandleSpace {
  public:
    explicit HandleSpace(HandleKind kind) : kind_(static_cast<std::int32_t>(kind)) {}

    // The next handle of this kind, or 0 when the serials are used up.
    std::int32_t Next();

    // The kind a handle belongs to (0 when it belongs to none).
    static std::int32_t KindOf(std::int32_t handle) { return handle > 0 ? handle >> 20 : 0; }

  private:
    const std::int32_t kind_;
    std::atomic<std::int32_t> serial_{0};
};

}  // namespace platform::win
