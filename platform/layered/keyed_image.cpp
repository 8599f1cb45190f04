#include "platform/layered/keyed_image.h"

#include "platform/layered/layered_window.h"

#include <cstdlib>
#include <vector>

namespace platform::layered {

namespace {

// Whether a pixel (unpremultiplied ARGB) is the key colour. Antialiased edges lose a little
// precision when premultiplied; allow for that rounding so a key-coloured text stays
// invisible throughout.
bool IsKey(QRgb p, std::uint32_t crKey) {
    const int tol = qAlpha(p) == 255 ? 0 : 3;
    return std::abs(qRed(p) - static_cast<int>(crKey & 0xFF)) <= tol &&
           std::abs(qGreen(p) - static_cast<int>((crKey >> 8) & 0xFF)) <= tol &&
           std::abs(qBlue(p) - static_cast<int>((crKey >> 16) & 0xFF)) <= tol;
}

}  // namespace

QRegion KeyedRegion(const QImage& content, std::uint32_t crKey, bool useKey) {
    const QImage img = content.convertToFormat(QImage::Format_ARGB32);
    std::vector<QRect> runs;  // one pixel high, in y-x order: already banded
    for (int y = 0; y < img.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        int runStart = -1;
        for (int x = 0; x <= img.width(); ++x) {
            const bool opaque =
                x < img.width() && qAlpha(line[x]) >= 96 && !(useKey && IsKey(line[x], crKey));
            if (opaque && runStart < 0) {
                runStart = x;
            } else if (!opaque && runStart >= 0) {
                runs.emplace_back(runStart, y, x - runStart, 1);
                runStart = -1;
            }
        }
    }
    QRegion region;
    region.setRects(runs.data(), static_cast<int>(runs.size()));
    return region;
}

QImage WithoutKey(const QImage& content, std::uint32_t crKey) {
    QImage img = content.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            if (qAlpha(line[x]) != 0 && IsKey(line[x], crKey)) {
                line[x] = 0;
            }
        }
    }
    return img;
}

}  // namespace platform::layered
