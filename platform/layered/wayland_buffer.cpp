#include "platform/layered/wayland_buffer.h"

#include <wayland-client.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

namespace platform::layered::wayland {

ShmBuffer::~ShmBuffer() {
    if (buffer != nullptr) {
        wl_buffer_destroy(buffer);
    }
    if (data != nullptr) {
        munmap(data, size);
    }
}

std::unique_ptr<ShmBuffer> MakeShmBuffer(wl_shm* shm, const QImage& picture, int multiple) {
    const QImage img = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (img.isNull() || multiple < 1) {
        return nullptr;
    }
    auto b = std::make_unique<ShmBuffer>();
    auto whole = [multiple](int n) { return (n + multiple - 1) / multiple * multiple; };
    b->pixels = QSize(whole(img.width()), whole(img.height()));
    const int stride = b->pixels.width() * 4;
    b->size = static_cast<std::size_t>(stride) * static_cast<std::size_t>(b->pixels.height());
    const int fd = memfd_create("kestrane-flash", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, static_cast<off_t>(b->size)) != 0) {
        if (fd >= 0) {
            close(fd);
        }
        return nullptr;
    }
    void* data = mmap(nullptr, b->size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED) {
        close(fd);
        return nullptr;
    }
    b->data = data;
    // A new file reads as zeros: the padding is transparent already.
    for (int y = 0; y < img.height(); ++y) {
        std::memcpy(static_cast<char*>(data) + static_cast<std::ptrdiff_t>(y) * stride,
                    img.constScanLine(y), static_cast<std::size_t>(img.width()) * 4);
    }
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, static_cast<int32_t>(b->size));
    b->buffer = wl_shm_pool_create_buffer(pool, 0, b->pixels.width(), b->pixels.height(), stride,
                                          WL_SHM_FORMAT_ARGB8888);
    wl_shm_pool_destroy(pool);
    close(fd);  // the compositor has its own reference once the pool is sent
    static const wl_buffer_listener listener = {
        [](void* data, wl_buffer*) { static_cast<ShmBuffer*>(data)->busy = false; }};
    wl_buffer_add_listener(b->buffer, &listener, b.get());
    return b;
}

std::unique_ptr<ShmBuffer> TransparentPixel(wl_shm* shm, int scale) {
    QImage pixel(1, 1, QImage::Format_ARGB32_Premultiplied);
    pixel.fill(Qt::transparent);
    return MakeShmBuffer(shm, pixel, scale);
}

}  // namespace platform::layered::wayland
