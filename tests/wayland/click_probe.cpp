// A client of the session's compositor for the session tests: a window filled with one plain
// colour that writes every pointer press it is given to a file, a line each ("press <x> <y>
// <ms>": window pixels, and when it came in CLOCK_MONOTONIC milliseconds), and "ready" once
// it is on screen. 1280x800, or with --full-screen the whole screen (where the window manager
// would otherwise place and frame a window of that size). With --tick as well, the pixel at its
// bottom left changes every 20 ms, so that a compositor that sends a picture only when the
// screen changes (mutter's screen cast) sends them all along. A full-screen one leaves full-screen
// at SIGUSR1 and goes back at the next (a line "normal" or "full-screen" once asked).
//
//   QT_QPA_PLATFORM=wayland click_probe [--full-screen [--tick]] <file> [colour]
//
// With --passing <x> <y> <w> <h> (on X: QT_QPA_PLATFORM=xcb) it is instead an unmanaged X window
// of that place and size with an empty input shape, as the flash window is: what a click on it
// does tells whether the X server passes the input shape on to the compositor.
#include <QFile>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QRasterWindow>
#include <QTimer>

#include <time.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

std::atomic<int> toggles{0};  // SIGUSR1s so far

class Probe : public QRasterWindow {
  public:
    Probe(const QString& path, QColor colour) : log_(path), colour_(colour) {
        if (!log_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
            std::fprintf(stderr, "click_probe: cannot write %s\n", qPrintable(path));
            std::exit(2);
        }
        setTitle(QStringLiteral("click_probe"));
    }

    void Tick() { startTimer(20); }

  protected:
    void timerEvent(QTimerEvent*) override {
        ++ticks_;
        update(QRect(0, height() - 1, 1, 1));
    }
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(QRect(QPoint(0, 0), size()), colour_);
        painter.fillRect(QRect(0, height() - 1, 1, 1), ticks_ % 2 ? Qt::black : Qt::white);
        if (!ready_) {
            ready_ = true;
            // Said after the first frame went to the compositor.
            QTimer::singleShot(200, this, [this] { Write("ready\n"); });
        }
    }
    void mousePressEvent(QMouseEvent* e) override {
        const QPoint p = e->position().toPoint();
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const double ms = double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
        Write(QStringLiteral("press %1 %2 %3\n").arg(p.x()).arg(p.y()).arg(ms, 0, 'f', 3).toUtf8());
    }

  public:
    void Write(const QByteArray& line) {
        log_.write(line);
        log_.flush();
    }

  private:
    QFile log_;
    QColor colour_;
    bool ready_ = false;
    int ticks_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc >= 6 && QByteArray(argv[1]) == "--passing") {
        Probe probe(QStringLiteral("/dev/null"), QColor(255, 0, 255));
        probe.setFlags(Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint |
                       Qt::WindowStaysOnTopHint | Qt::WindowTransparentForInput);
        probe.setGeometry(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]),
                          std::atoi(argv[5]));
        probe.show();
        return app.exec();
    }
    // (argc and argv stay as QGuiApplication was given them.)
    const bool fullScreen = argc >= 2 && QByteArray(argv[1]) == "--full-screen";
    const bool tick = fullScreen && argc >= 3 && QByteArray(argv[2]) == "--tick";
    const int n = argc - int(fullScreen) - int(tick);
    char** const arg = argv + int(fullScreen) + int(tick);
    if (n < 2) {
        std::fprintf(stderr,
                     "usage: click_probe [--full-screen [--tick]] <file> [colour] | --passing "
                     "<x> <y> <w> <h>\n");
        return 2;
    }
    Probe probe(QString::fromLocal8Bit(arg[1]),
                QColor(n > 2 ? QString::fromLatin1(arg[2]) : QStringLiteral("#3050a0")));
    if (tick) {
        probe.Tick();
    }
    if (fullScreen) {
        probe.showFullScreen();
        std::signal(SIGUSR1, [](int) { toggles.fetch_add(1); });
        auto* poll = new QTimer(&probe);
        QObject::connect(poll, &QTimer::timeout, &probe, [&probe, seen = 0]() mutable {
            if (toggles.load() == seen) {
                return;
            }
            seen = toggles.load();
            const bool full = seen % 2 == 0;
            full ? probe.showFullScreen() : probe.showNormal();
            probe.Write(full ? "full-screen\n" : "normal\n");
        });
        poll->start(50);
    } else {
        probe.resize(1280, 800);
        probe.show();
    }
    return app.exec();
}
