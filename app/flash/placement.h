// Where a message goes on the screen. All lengths are twips; every result is rounded to a
// whole twip (a half to the even neighbour). Results are held as 32-bit numbers: a 16-bit
// place would end at 32767 twips (2184 pixels), so on a wider or taller screen "Top Right" and
// "Random" could not reach the far side of it.
#pragma once

#include "app/store/screen_choice.h"

#include <cstdint>
#include <optional>
#include <random>
#include <string_view>
#include <vector>

namespace kestrane {

// The program's uniform pseudo-random generator: values in [0, 1). It is never reseeded, so
// the same sequence of values recurs each time the program starts.
class Rnd {
  public:
    double Next() {
        // minstd yields 1 .. modulus-1.
        return static_cast<double>(engine_() - 1) / static_cast<double>(engine_.modulus - 1);
    }

  private:
    std::minstd_rand engine_;
};

struct WindowPlace {
    int left = 0;
    int top = 0;
    bool operator==(const WindowPlace&) const = default;
};

// The window's place for a message of size w x h on a screen of sw x sh, by the option word:
// "Center" centres it, "Top Right" puts it at the right edge keeping its top, "Random" takes
// two draws of rnd (left, then top), and any other word ("Top Left" included) leaves it where
// it is. A result that does not fit 32 bits leaves that coordinate as it was.
WindowPlace PlaceMessage(std::string_view option, int sw, int sh, int w, int h, WindowPlace current,
                         Rnd& rnd);

// A screen's area on the desktop (any one unit for all screens and the pointer).
struct ScreenArea {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool Holds(int x, int y) const {
        return x >= left && y >= top && x - left < width && y - top < height;
    }
};

// The screens (indexes into `screens`) that a message goes to by the choice: the primary one;
// the one that holds the pointer (the primary one when the pointer's place is not known or
// lies on no screen); or every screen, the primary one first. Nothing when there is no screen.
std::vector<size_t> TargetScreens(ScreenChoice choice, const std::vector<ScreenArea>& screens,
                                  size_t primary, std::optional<std::pair<int, int>> pointer);

}  // namespace kestrane
