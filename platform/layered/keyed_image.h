// The colour key of layered windows applied to their rendered content: which pixels show
// (KeyedRegion, declared in layered_window.h) and the content with the key made transparent.
#pragma once

#include <QImage>

#include <cstdint>

namespace platform::layered {

// The content with every key-coloured pixel made fully transparent.
QImage WithoutKey(const QImage& content, std::uint32_t crKey);

}  // namespace platform::layered
