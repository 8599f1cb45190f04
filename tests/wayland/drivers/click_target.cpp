// A window to click on in a Wayland session: it fills its screen with one colour and appends
// each pointer press it receives, as "x y" in window coordinates, to a file. Run it as a native
// Wayland client (QT_QPA_PLATFORM=wayland) to see which clicks the compositor routes to the
// window beneath everything else; since it is full screen at the origin, window coordinates
// are screen coordinates.
//
//   click_target RRGGBB presses.txt [X Y W H]
//
// With a geometry it is instead a borderless window the window manager leaves alone
// (override-redirect on X) at that place: run on XWayland (QT_QPA_PLATFORM=xcb), it stands for
// an X client above the native window. It prints "ready WxH" on its output once its first frame
// has been painted.
#include <QColor>
#include <QFile>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QRasterWindow>
#include <QTextStream>

#include <cstdio>

namespace {

class ClickTarget : public QRasterWindow {
  public:
    ClickTarget(QColor colour, const QString& path) : colour_(colour), presses_(path) {}

    bool open() { return presses_.open(QIODevice::WriteOnly | QIODevice::Append); }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(QRect(QPoint(0, 0), size()), colour_);
        if (!announced_) {
            announced_ = true;
            std::printf("ready %dx%d\n", width(), height());
            std::fflush(stdout);
        }
    }

    void mousePressEvent(QMouseEvent* event) override {
        const QPoint at = event->position().toPoint();
        presses_.write(QStringLiteral("%1 %2\n").arg(at.x()).arg(at.y()).toUtf8());
        presses_.flush();
    }

  private:
    QColor colour_;
    QFile presses_;
    bool announced_ = false;
};

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QColor colour = args.size() >= 3 ? QColor(u'#' + args[1]) : QColor();
    QList<int> geometry;
    for (int i = 3; i < args.size(); ++i)
        geometry.append(args[i].toInt());
    if (!colour.isValid() || (!geometry.isEmpty() && geometry.size() != 4)) {
        std::fprintf(stderr, "usage: click_target RRGGBB presses.txt [X Y W H]\n");
        return 2;
    }
    ClickTarget window(colour, args[2]);
    if (!window.open()) {
        std::fprintf(stderr, "click_target: cannot open %s\n", qPrintable(args[2]));
        return 1;
    }
    window.setTitle(QStringLiteral("click target"));
    if (geometry.isEmpty()) {
        window.showFullScreen();
    } else {
        window.setFlags(Qt::FramelessWindowHint | Qt::BypassWindowManagerHint);
        window.setGeometry(geometry[0], geometry[1], geometry[2], geometry[3]);
        window.show();
    }
    return app.exec();
}
