// A client of the session's compositor for the session tests: a window filled with one plain
// colour that writes every pointer press it is given to a file, a line each ("press <x> <y>",
// window pixels), and "ready" once it is on screen.
//
//   QT_QPA_PLATFORM=wayland click_probe <file> [colour]
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

#include <cstdio>
#include <cstdlib>

namespace {

class Probe : public QRasterWindow {
  public:
    Probe(const QString& path, QColor colour) : log_(path), colour_(colour) {
        if (!log_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
            std::fprintf(stderr, "click_probe: cannot write %s\n", qPrintable(path));
            std::exit(2);
        }
        setTitle(QStringLiteral("click_probe"));
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(QRect(QPoint(0, 0), size()), colour_);
        if (!ready_) {
            ready_ = true;
            // Said after the first frame went to the compositor.
            QTimer::singleShot(200, this, [this] { Write("ready\n"); });
        }
    }
    void mousePressEvent(QMouseEvent* e) override {
        const QPoint p = e->position().toPoint();
        Write(QStringLiteral("press %1 %2\n").arg(p.x()).arg(p.y()).toUtf8());
    }

  private:
    void Write(const QByteArray& line) {
        log_.write(line);
        log_.flush();
    }

    QFile log_;
    QColor colour_;
    bool ready_ = false;
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
    if (argc < 2) {
        std::fprintf(stderr, "usage: click_probe <file> [colour] | --passing <x> <y> <w> <h>\n");
        return 2;
    }
    Probe probe(QString::fromLocal8Bit(argv[1]),
                QColor(argc > 2 ? QString::fromLatin1(argv[2]) : QStringLiteral("#3050a0")));
    probe.resize(1280, 800);
    probe.show();
    return app.exec();
}
