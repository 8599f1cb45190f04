// Drives a Wayland compositor as a user's mouse does and sees the screen as the compositor
// shows it, through the compositor's own interfaces (never XTEST inside XWayland, which the
// compositor does not route). Needs the session's WAYLAND_DISPLAY and DBUS_SESSION_BUS_ADDRESS
// (tests/wayland/drivers/session.sh prints both).
//
//   wayland_driver kwin|mutter click X Y
//       moves the pointer to X Y and presses and releases the left button there
//   wayland_driver kwin|mutter hold
//       keeps a pointer device in the compositor's seat until ended (a session runs one: see
//       CompositorDriver::hold)
//   wayland_driver kwin|mutter capture out.png [X Y W H]
//       writes the screen, or that area of it, as a PNG
//   wayland_driver kwin|mutter watch X Y W H MS out.txt [RRGGBB]
//       captures the area again and again for MS milliseconds and writes a line per capture:
//       the CLOCK_MONOTONIC times in milliseconds at which the capture was asked for and
//       arrived, and how many pixels differ from the background (RRGGBB, or else the colour
//       that fills most of the first capture) by more than 16 in a channel, so that the faint
//       shadow mutter draws around X windows does not count, and 1 for a picture composed
//       for this capture or 0 for the last one again (mutter sends a picture only when the
//       screen changes: after 100 ms without one the last is counted again), and when the
//       compositor composed the picture, where it says so (mutter), else -1; prints the rate
//       of captures and of new pictures achieved
//
// Exit status: 0 done, 1 the compositor refused or failed (the reason on the error output),
// 2 wrong arguments.
#include <QCoreApplication>
#include <QFile>
#include <QHash>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "kwin_driver.h"
#include "mutter_driver.h"

namespace {

double monotonicMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

int usage() {
    std::fprintf(stderr,
                 "usage: wayland_driver kwin|mutter click X Y\n"
                 "       wayland_driver kwin|mutter hold\n"
                 "       wayland_driver kwin|mutter capture out.png [X Y W H]\n"
                 "       wayland_driver kwin|mutter watch X Y W H MS out.txt [RRGGBB]\n");
    return 2;
}

int failed(const CompositorDriver& driver) {
    std::fprintf(stderr, "wayland_driver: %s\n", qPrintable(driver.error()));
    return 1;
}

// Parses the integers args[from..from+count) into `out`; false when one is not a number.
bool numbers(const QStringList& args, int from, int count, QList<int>* out) {
    if (args.size() < from + count)
        return false;
    for (int i = from; i < from + count; ++i) {
        bool ok = false;
        out->append(args[i].toInt(&ok));
        if (!ok)
            return false;
    }
    return true;
}

// The colour of most of a grid of at most about 64x64 pixels spread over the image.
QRgb mostCommonColour(const QImage& image) {
    QHash<QRgb, int> counts;
    const int stepX = std::max(1, image.width() / 64);
    const int stepY = std::max(1, image.height() / 64);
    for (int y = 0; y < image.height(); y += stepY) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); x += stepX)
            ++counts[line[x] & RGB_MASK];
    }
    QRgb best = 0;
    int bestCount = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > bestCount) {
            best = it.key();
            bestCount = it.value();
        }
    }
    return best;
}

// The number of pixels of an RGB32 image that differ from `background` by more than 16 in a
// channel.
int differing(const QImage& image, QRgb background) {
    const auto far = [](int a, int b) { return std::abs(a - b) > 16; };
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = line[x];
            count += far(qRed(p), qRed(background)) || far(qGreen(p), qGreen(background)) ||
                     far(qBlue(p), qBlue(background));
        }
    }
    return count;
}

int watch(CompositorDriver& driver, const QRect& area, int ms, const QString& path,
          const QString& colour) {
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "wayland_driver: cannot write %s\n", qPrintable(path));
        return 1;
    }
    bool haveBackground = !colour.isEmpty();
    QRgb background = QColor(u'#' + colour).rgb() & RGB_MASK;
    out.write("# asked_ms arrived_ms differing_pixels new shown_ms\n");
    int captures = 0, fresh = 0;
    const double start = monotonicMs();
    double arrived = start;
    double asked = start;
    while (arrived - start < ms) {
        const QImage image = driver.capture(area);
        arrived = monotonicMs();
        if (image.isNull())
            return failed(driver);
        // The next capture is asked for before this one is looked at.
        const double askedNow = asked;
        asked = monotonicMs();
        driver.askAhead(area);
        if (!haveBackground) {
            background = mostCommonColour(image);
            haveBackground = true;
        }
        const bool isNew = driver.lastCaptureWasNew();
        const double shown = driver.lastCaptureShownMs();
        out.write(QStringLiteral("%1 %2 %3 %4 %5\n")
                      .arg(askedNow, 0, 'f', 3)
                      .arg(arrived, 0, 'f', 3)
                      .arg(differing(image, background))
                      .arg(int(isNew))
                      .arg(shown < 0 ? QStringLiteral("-1") : QString::number(shown, 'f', 3))
                      .toUtf8());
        ++captures;
        fresh += isNew;
    }
    const double seconds = (arrived - start) / 1e3;
    std::printf("watch: %d captures (%d new pictures) in %.0f ms: %.1f per second (new: %.1f)\n",
                captures, fresh, seconds * 1e3, captures / seconds, fresh / seconds);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3)
        return usage();
    std::unique_ptr<CompositorDriver> driver;
    if (args[1] == QLatin1String("kwin"))
        driver = std::make_unique<KwinDriver>();
    else if (args[1] == QLatin1String("mutter"))
        driver = std::make_unique<MutterDriver>();
    else
        return usage();

    const QString& command = args[2];
    QList<int> n;
    if (command == QLatin1String("click") && args.size() == 5 && numbers(args, 3, 2, &n))
        return driver->click(QPoint(n[0], n[1])) ? 0 : failed(*driver);
    if (command == QLatin1String("hold") && args.size() == 3)
        return driver->hold() ? 0 : failed(*driver);
    if (command == QLatin1String("capture") && (args.size() == 4 || args.size() == 8)) {
        if (args.size() == 8 && !numbers(args, 4, 4, &n))
            return usage();
        const QRect area = n.isEmpty() ? QRect() : QRect(n[0], n[1], n[2], n[3]);
        const QImage image = driver->capture(area);
        if (image.isNull())
            return failed(*driver);
        if (!image.save(args[3], "PNG")) {
            std::fprintf(stderr, "wayland_driver: cannot write %s\n", qPrintable(args[3]));
            return 1;
        }
        return 0;
    }
    if (command == QLatin1String("watch") && (args.size() == 9 || args.size() == 10) &&
        numbers(args, 3, 5, &n) && n[2] > 0 && n[3] > 0)
        return watch(*driver, QRect(n[0], n[1], n[2], n[3]), n[4], args[8], args.value(9));
    return usage();
}
