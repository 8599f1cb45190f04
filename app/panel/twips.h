// Geometry of the forms is given in twips; on screen 15 twips make one pixel.
#pragma once

#include <QRect>

#include <cmath>

namespace kestrane {

inline int TwipsToPixels(int twips) {
    return static_cast<int>(std::lround(twips / 15.0));
}

inline QRect TwipsRect(int left, int top, int width, int height) {
    return QRect(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width),
                 TwipsToPixels(height));
}

}  // namespace kestrane
