#include "app/flash/placement.h"

#include "app/flash/numbers.h"

namespace kestrane {

WindowPlace PlaceMessage(std::string_view option, int sw, int sh, int w, int h, WindowPlace current,
                         Rnd& rnd) {
    WindowPlace place = current;
    if (option == "Center") {
        const auto y = ToInt32((static_cast<double>(sh) - h) / 2.0);
        const auto x = ToInt32((static_cast<double>(sw) - w) / 2.0);
        if (x)
            place.left = *x;
        if (y)
            place.top = *y;
    } else if (option == "Top Right") {
        if (const auto x = ToInt32(static_cast<double>(sw) - w))
            place.left = *x;
    } else if (option == "Random") {
        const auto spanY = ToInt32(static_cast<double>(sh) - h);
        const auto spanX = ToInt32(static_cast<double>(sw) - w);
        const double r1 = rnd.Next();
        const double r2 = rnd.Next();
        if (spanX) {
            if (const auto x = ToInt32(*spanX * r1))
                place.left = *x;
        }
        if (spanY) {
            if (const auto y = ToInt32(*spanY * r2))
                place.top = *y;
        }
    }
    return place;
}

std::vector<size_t> TargetScreens(ScreenChoice choice, const std::vector<ScreenArea>& screens,
                                  size_t primary, std::optional<std::pair<int, int>> pointer) {
    if (screens.empty()) {
        return {};
    }
    if (primary >= screens.size()) {
        primary = 0;
    }
    std::vector<size_t> out{primary};
    if (choice == ScreenChoice::Every) {
        for (size_t i = 0; i < screens.size(); ++i) {
            if (i != primary) {
                out.push_back(i);
            }
        }
    } else if (choice == ScreenChoice::Pointer && pointer) {
        for (size_t i = 0; i < screens.size(); ++i) {
            if (screens[i].Holds(pointer->first, pointer->second)) {
                out.front() = i;
                break;
            }
        }
    }
    return out;
}

}  // namespace kestrane
