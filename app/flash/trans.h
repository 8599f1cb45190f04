// Module Trans: turns a window into a top-level, layered, click-through, topmost window whose
// back colour is the transparent colour key.
#pragma once

#include "platform/layered/layered_window.h"

#include <cstdint>

namespace kestrane::Trans {

// backColor is the window's back colour as the forms hold it: 0x00BBGGRR, or a system-colour
// reference (top bit set, the colour index in the low byte). bytOpacity 0..255.
void MakeTransparent(platform::layered::HWND hWnd, std::uint32_t backColor,
                     std::uint8_t bytOpacity);

}  // namespace kestrane::Trans
