// Drives a Wayland compositor as a user's mouse does and sees the screen as the compositor
// shows it, through the compositor's own interfaces (never XTEST inside XWayland, which the
// compositor does not route). Needs the session's WAYLAND_DISPLAY and DBUS_SESSION_BUS_ADDRESS
// (tests/wayland/drivers/session.sh prints both).
//
//   wayland_driver kwin|mutter click X Y
//       moves the pointer to X Y and presses and releases the left button there
//   wayland_driver kwin|mutter hold
//       keeps a pointer device in the compositor's seat until ended (see CompositorDriver::hold)
//   wayland_driver kwin|mutter serve FIFO
//       holds the pointer as `hold` does and clicks with that same device: reads lines
//       "click X Y REPLY" from the named pipe FIFO (opened again whenever its writers have
//       closed it) and writes "ok", or "failed: <reason>", to the file REPLY once the click was
//       made. A session runs one: under mutter every other way of clicking makes the
//       compositor a new remote-desktop session, virtual devices and screen-cast stream, which
//       costs it seconds of software rendering each on a busy machine and held its main loop
//       for up to 25 s
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
//   wayland_driver kwin|mutter watchclick X Y W H MS out.txt RRGGBB between|both
//       watch, and meanwhile clicks where the letters are (over 50 pixels differing; the
//       point is the first capture's that shows them, on a letter near their middle, written
//       "point X Y") as the captures cue it: once in each pause, as soon as the last letters
//       were seen 200 ms before, and with `both` also once in each message, as soon as a
//       capture shows it; a line "click <pressed_ms> <released_ms> between|on" for each, in
//       the same clock
//
// Exit status: 0 done, 1 the compositor refused or failed (the reason on the error output),
// 2 wrong arguments.
#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QLineF>

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
                 "       wayland_driver kwin|mutter serve FIFO\n"
                 "       wayland_driver kwin|mutter capture out.png [X Y W H]\n"
                 "       wayland_driver kwin|mutter watch X Y W H MS out.txt [RRGGBB]\n"
                 "       wayland_driver kwin|mutter watchclick X Y W H MS out.txt RRGGBB "
                 "between|both\n");
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

// Whether watch clicks, and also on the letters.
struct Clicks {
    bool enabled = false;
    bool onLetters = false;
};

// A pixel of the letters near their middle: of the pixels far off the background (by more than
// 96 in a channel, not the edges' blend), the one nearest their mean.
QPoint letterPoint(const QImage& image, QRgb background) {
    const auto far = [](int a, int b) { return std::abs(a - b) > 96; };
    QList<QPoint> points;
    QPointF sum;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = line[x];
            if (far(qRed(p), qRed(background)) || far(qGreen(p), qGreen(background)) ||
                far(qBlue(p), qBlue(background))) {
                points.append(QPoint(x, y));
                sum += QPointF(x, y);
            }
        }
    }
    if (points.isEmpty())
        return {-1, -1};
    const QPointF mean = sum / points.size();
    return *std::min_element(points.cbegin(), points.cend(), [&](QPoint a, QPoint b) {
        return QLineF(a, mean).length() < QLineF(b, mean).length();
    });
}

int watch(CompositorDriver& driver, const QRect& area, int ms, const QString& path,
          const QString& colour, const Clicks& clicks = {}) {
    // Letters are up in a capture with more pixels than this off the background; a pause is
    // clicked once this long after they were last seen.
    constexpr int kLetterPixels = 50;
    constexpr double kPauseClickMs = 200;
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "wayland_driver: cannot write %s\n", qPrintable(path));
        return 1;
    }
    bool haveBackground = !colour.isEmpty();
    QRgb background = QColor(u'#' + colour).rgb() & RGB_MASK;
    out.write("# asked_ms arrived_ms differing_pixels new shown_ms\n");
    if (clicks.enabled)
        driver.willClick();
    int captures = 0, fresh = 0;
    const double start = monotonicMs();
    double arrived = start;
    double asked = start;
    double lettersSeen = -1;  // when a capture last showed letters
    QPoint at(-1, -1);        // where clicks go
    bool flashClicked = false, pauseClicked = false;
    while (arrived - start < ms) {
        const QImage image = driver.capture(area);
        arrived = monotonicMs();
        if (image.isNull())
            return failed(driver);
        if (!haveBackground) {
            background = mostCommonColour(image);
            haveBackground = true;
        }
        const bool isNew = driver.lastCaptureWasNew();
        const double shown = driver.lastCaptureShownMs();
        const int count = differing(image, background);
        out.write(QStringLiteral("%1 %2 %3 %4 %5\n")
                      .arg(asked, 0, 'f', 3)
                      .arg(arrived, 0, 'f', 3)
                      .arg(count)
                      .arg(int(isNew))
                      .arg(shown < 0 ? QStringLiteral("-1") : QString::number(shown, 'f', 3))
                      .toUtf8());
        ++captures;
        fresh += isNew;
        const bool letters = count > kLetterPixels;
        if (letters && clicks.enabled && at.x() < 0) {
            at = letterPoint(image, background);
            if (at.x() >= 0) {
                at += area.topLeft();
                out.write(QStringLiteral("point %1 %2\n").arg(at.x()).arg(at.y()).toUtf8());
            }
        }
        const char* click = nullptr;
        if (letters) {
            lettersSeen = arrived;
            pauseClicked = false;
            if (clicks.onLetters && !flashClicked)
                click = "on";
            flashClicked = true;
        } else {
            flashClicked = false;
            if (lettersSeen >= 0 && !pauseClicked && arrived - lettersSeen >= kPauseClickMs) {
                click = "between";
                pauseClicked = true;
            }
        }
        if (click && clicks.enabled && at.x() >= 0) {
            const double pressed = monotonicMs();
            if (!driver.click(at))
                return failed(driver);
            out.write(QStringLiteral("click %1 %2 %3\n")
                          .arg(pressed, 0, 'f', 3)
                          .arg(monotonicMs(), 0, 'f', 3)
                          .arg(QLatin1String(click))
                          .toUtf8());
        }
        // The next capture is asked for once this one is counted (a matter of a millisecond)
        // and a click it cued is made: that capture shows the screen after the click.
        asked = monotonicMs();
        driver.askAhead(area);
    }
    const double seconds = (arrived - start) / 1e3;
    std::printf("watch: %d captures (%d new pictures) in %.0f ms: %.1f per second (new: %.1f)\n",
                captures, fresh, seconds * 1e3, captures / seconds, fresh / seconds);
    return 0;
}

// The `serve` loop: never returns but when the pipe cannot be read.
int serve(CompositorDriver& driver, const QString& fifo) {
    if (!driver.takePointer())
        return failed(driver);
    for (;;) {
        QFile in(fifo);
        // Blocks until a writer opens the pipe; reads until every writer has closed it.
        if (!in.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "wayland_driver: cannot read %s\n", qPrintable(fifo));
            return 1;
        }
        for (;;) {
            const QByteArray line = in.readLine().trimmed();
            if (line.isEmpty() && in.atEnd())
                break;
            const QList<QByteArray> words = line.split(' ');
            bool x = false, y = false;
            if (words.size() != 4 || words[0] != "click" || (words[1].toInt(&x), !x) ||
                (words[2].toInt(&y), !y)) {
                std::fprintf(stderr, "wayland_driver: not a request: %s\n", line.constData());
                continue;
            }
            const bool clicked = driver.click(QPoint(words[1].toInt(), words[2].toInt()));
            const QString reply = QString::fromLocal8Bit(words[3]);
            QFile answer(reply + QStringLiteral(".tmp"));
            if (answer.open(QIODevice::WriteOnly)) {
                answer.write(clicked ? QByteArray("ok\n")
                                     : "failed: " + driver.error().toUtf8() + "\n");
                answer.close();
                QFile::rename(answer.fileName(), reply);
            }
        }
    }
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
    if (command == QLatin1String("serve") && args.size() == 4)
        return serve(*driver, args[3]);
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
    const QString mode = args.value(10);
    if (command == QLatin1String("watchclick") && args.size() == 11 && numbers(args, 3, 5, &n) &&
        n[2] > 0 && n[3] > 0 && (mode == QLatin1String("between") || mode == QLatin1String("both")))
        return watch(*driver, QRect(n[0], n[1], n[2], n[3]), n[4], args[8], args[9],
                     Clicks{true, mode == QLatin1String("both")});
    return usage();
}
