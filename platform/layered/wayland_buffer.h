// Pictures for the layer-shell path (wayland_surface.h) in shared memory: premultiplied ARGB32,
// which on little-endian machines is the wl_shm format ARGB8888 byte for byte.
#pragma once

#include <QImage>
#include <QSize>

#include <cstddef>
#include <memory>

struct wl_buffer;
struct wl_shm;

namespace platform::layered::wayland {

struct ShmBuffer {
    ShmBuffer() = default;
    ~ShmBuffer();
    ShmBuffer(const ShmBuffer&) = delete;
    ShmBuffer& operator=(const ShmBuffer&) = delete;

    wl_buffer* buffer = nullptr;
    void* data = nullptr;
    std::size_t size = 0;
    QSize pixels;
    bool busy = false;  // attached: the compositor may read it until it lets it go
};

// A buffer holding the picture at its top left, its width and height made whole multiples of
// `multiple` (a surface's buffer scale) with transparent pixels; nullptr when the memory cannot
// be had.
std::unique_ptr<ShmBuffer> MakeShmBuffer(wl_shm* shm, const QImage& picture, int multiple = 1);

// One fully transparent surface pixel: scale x scale buffer pixels.
std::unique_ptr<ShmBuffer> TransparentPixel(wl_shm* shm, int scale = 1);

}  // namespace platform::layered::wayland
