// The flash window on a real X server with a window manager: only the letters reach the screen,
// clicks on them reach the window beneath, and the window never takes the focus.
#include "app/flash/messages_form.h"
#include "app/flash/shared_state.h"
#include "platform/layered/layered_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <cstdlib>

namespace kestrane {

void WaitUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

void Settle(int ms) {
    WaitUntil([] { return false; }, ms);
}

QString Tool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(5000);
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

namespace {

// A window of one colour that records the mouse presses it receives.
class Beneath : public QWidget {
  public:
    Beneath() {
        setWindowTitle("beneath");
        setAutoFillBackground(true);
        QPalette pal = palette();
        pal.setColor(QPalette::Window, QColor(40, 120, 60));
        setPalette(pal);
    }
    std::vector<QPoint> presses;

  protected:
    void mousePressEvent(QMouseEvent* e) override { presses.push_back(e->position().toPoint()); }
};

QImage Screen() {
    return QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(
        QImage::Format_RGB32);
}

class FlashWindowOnX : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(QGuiApplication::platformName(), "xcb");
        beneath.setGeometry(200, 150, 800, 500);
        beneath.show();
        // Up once its colour is on the screen.
        WaitUntil(
            [&] {
                const QPoint c = beneath.geometry().center();
                const QImage shot =
                    QGuiApplication::primaryScreen()->grabWindow(0, c.x(), c.y(), 1, 1).toImage();
                return shot.pixelColor(0, 0) == QColor(40, 120, 60);
            },
            10000);
        beneath.activateWindow();
        Settle(300);

        FlashOptions& o = state.flashOptions;
        o = FlashOptions::Defaults();
        o.Color = "255";  // red
        o.Msgduration = 30000;
        o.TimeBtnMsgs = 1;
        o.SelFont = "DejaVu Sans";
        o.SelFontSize = 28;
        state.runList.RedimPreserve(1);
        state.runList.Set(0, "HIWX flash");
    }

    // Shows the flash window and waits for its first message to be on screen.
    void ShowMessage() {
        form.Show();
        WaitUntil([&] { return form.MsgShown(); }, 5000);
        ASSERT_TRUE(form.MsgShown());
        Settle(300);
    }

    Beneath beneath;
    SharedState state;
    Rnd rnd;
    MessagesForm form{state, PreciseTimers(), rnd};
};

TEST_F(FlashWindowOnX, OnlyTheLettersShow) {
    const QImage before = Screen();
    ShowMessage();
    const QImage during = Screen();
    ASSERT_EQ(before.size(), during.size());

    const QRect win = form.Window()->geometry();
    const QRegion letters = platform::layered::VisibleRegion(form.hWnd()).translated(win.topLeft());
    ASSERT_FALSE(letters.isEmpty());

    long changedOutside = 0, letterPixels = 0, reddish = 0;
    for (int y = 0; y < before.height(); ++y) {
        for (int x = 0; x < before.width(); ++x) {
            const QRgb a = before.pixel(x, y);
            const QRgb b = during.pixel(x, y);
            if (letters.contains(QPoint(x, y))) {
                ++letterPixels;
                if (qRed(b) > 100 && qGreen(b) < 80 && qBlue(b) < 80) {
                    ++reddish;
                }
            } else if (a != b) {
                ++changedOutside;
            }
        }
    }
    EXPECT_EQ(changedOutside, 0);
    if (changedOutside != 0 && std::getenv("KESTRANE_E2E_DUMP")) {
        before.save(QString(std::getenv("KESTRANE_E2E_DUMP")) + "/before.png");
        during.save(QString(std::getenv("KESTRANE_E2E_DUMP")) + "/during.png");
    }
    EXPECT_GT(letterPixels, 200);
    // Antialiased edges are darker; the bulk of the letters is the chosen red.
    EXPECT_GT(reddish, letterPixels / 2);
    // The letters cover only part of the window's box: the rest shows what lies beneath.
    EXPECT_LT(letterPixels, static_cast<long>(win.width()) * win.height() / 2);
}

TEST_F(FlashWindowOnX, ClicksOnTheLettersReachTheWindowBeneath) {
    ShowMessage();
    const QRect win = form.Window()->geometry();
    // The middle of the widest run of letter pixels.
    QRect target;
    for (const QRect& r : platform::layered::VisibleRegion(form.hWnd())) {
        if (r.width() > target.width()) {
            target = r;
        }
    }
    ASSERT_GE(target.width(), 3);
    const QPoint onScreen = win.topLeft() + target.center();
    ASSERT_TRUE(beneath.geometry().contains(onScreen));

    Tool("xdotool",
         {"mousemove", QString::number(onScreen.x()), QString::number(onScreen.y()), "click", "1"});
    WaitUntil([&] { return !beneath.presses.empty(); }, 3000);
    ASSERT_EQ(beneath.presses.size(), 1u);
    EXPECT_EQ(beneath.mapToGlobal(beneath.presses[0]), onScreen);
}

TEST_F(FlashWindowOnX, NeverTakesTheFocusNorJoinsTheTaskbar) {
    ShowMessage();
    const QString flashId = QString::number(form.Window()->winId());
    const QString beneathId = QString::number(beneath.winId());
    EXPECT_EQ(Tool("xdotool", {"getwindowfocus"}), beneathId);
    EXPECT_EQ(Tool("xdotool", {"getactivewindow"}), beneathId);
    EXPECT_NE(QGuiApplication::focusWindow(), form.Window()->windowHandle());

    // Unmanaged: no frame to catch clicks, not in the window manager's client list.
    const QString info = Tool("xwininfo", {"-id", flashId});
    EXPECT_TRUE(info.contains("Override Redirect State: yes")) << info.toStdString();
    const QString clients = Tool("xprop", {"-root", "_NET_CLIENT_LIST"});
    EXPECT_FALSE(clients.contains(QString("0x%1").arg(form.Window()->winId(), 0, 16)))
        << clients.toStdString();

    // Clicking on the letters or beside them leaves the focus where it was.
    const QPoint centre = form.Window()->geometry().center();
    Tool("xdotool",
         {"mousemove", QString::number(centre.x()), QString::number(centre.y()), "click", "1"});
    Settle(300);
    EXPECT_EQ(Tool("xdotool", {"getwindowfocus"}), beneathId);

    // Above the other windows, also after the one beneath has been raised.
    beneath.raise();
    Settle(200);
    form.Timer1_Timer();  // pause
    form.Timer1_Timer();  // next message
    Settle(200);
    // The frame that the window manager put around the window beneath is a child of the root.
    const QString beneathTree = Tool("xwininfo", {"-tree", "-id", beneathId});
    const QRegularExpressionMatch parent =
        QRegularExpression("Parent window id: (0x[0-9a-f]+)").match(beneathTree);
    ASSERT_TRUE(parent.hasMatch()) << beneathTree.toStdString();
    const QString tree = Tool("xwininfo", {"-root", "-children"});
    const qsizetype flashAt = tree.indexOf(QString("0x%1 ").arg(form.Window()->winId(), 0, 16));
    const qsizetype frameAt = tree.indexOf(parent.captured(1) + " ");
    ASSERT_GE(flashAt, 0) << tree.toStdString();
    ASSERT_GE(frameAt, 0) << tree.toStdString();
    // xwininfo lists the children from the top of the stack down.
    EXPECT_LT(flashAt, frameAt) << tree.toStdString();
}

}  // namespace
}  // namespace kestrane

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    QApplication app(argc, argv);
    // The window manager may still be starting; windows mapped before it runs get framed
    // (and moved) later, in the middle of a test.
    for (int i = 0; i < 100; ++i) {
        if (kestrane::Tool("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id")) {
            break;
        }
        kestrane::Settle(50);
    }
    // openbox announces itself before it handles map requests; windows mapped in that gap
    // stay unpainted for seconds.
    kestrane::Settle(1000);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
