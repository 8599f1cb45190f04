// A run started from the control panel of the real program, on a real X server: the message
// flashes in the chosen colour at the chosen place, and Stop takes the flash window away.
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>

#include <cstdlib>
#include <filesystem>
#include <functional>

namespace {

using testsupport::ReadBytes;
using testsupport::TempDir;
using testsupport::WriteBytes;

void WaitUntil(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

QString Tool(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(5000);
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

// The bounding box of the pure red pixels on the screen.
// The box of the red pixels on the screen, those of the control panel (its red Stop picture)
// left out.
QRect RedArea(const QRect& panel = {}) {
    const QImage shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(
        QImage::Format_RGB32);
    QRect box;
    for (int y = 0; y < shot.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(shot.constScanLine(y));
        for (int x = 0; x < shot.width(); ++x) {
            if (qRed(line[x]) > 200 && qGreen(line[x]) < 60 && qBlue(line[x]) < 60 &&
                !panel.contains(x, y)) {
                box |= QRect(x, y, 1, 1);
            }
        }
    }
    return box;
}

bool FlashWindowExists() {
    return Tool("xwininfo", {"-root", "-tree"}).contains("\"messagesform\"");
}

TEST(KestraneRun, StartFlashesTheRunListAndStopEndsIt) {
    TempDir dir;
    const std::filesystem::path exe = dir / "kestrane";
    std::filesystem::copy_file(KESTRANE_EXE, exe);
    // The program's shared libraries lie beside it, found through its RUNPATH $ORIGIN.
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(KESTRANE_EXE).parent_path())) {
        if (entry.path().extension() == ".so") {
            std::filesystem::copy_file(entry.path(), dir / entry.path().filename());
        }
    }
    const std::string options =
        "Color;255\r\nMsgduration;999\r\nTimeBtnMsgs;1\r\nMsgOption;Center\r\n"
        "SelFont;DejaVu Sans\r\nSelFontBold;True\r\nSelFontItalic;False\r\nSelFontSize;30\r\n";
    WriteBytes(dir / "Images/SelectedOptions.txt", options);
    WriteBytes(dir / "Images/SelectedPrograms.txt", "Words;1\r\n");
    WriteBytes(dir / "Images/AutoStart.txt", "0\r\n");
    WriteBytes(dir / "Data/Words.txt", "MMMM;1\r\nnot this;0\r\n");

    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(QString::fromStdString(exe.string()), {});
    ASSERT_TRUE(program.waitForStarted());
    QString wid;
    WaitUntil(
        [&] {
            wid = Tool("xdotool", {"search", "--onlyvisible", "--name", "^Orvessa$"})
                      .section('\n', 0, 0);
            return !wid.isEmpty();
        },
        10000);
    ASSERT_FALSE(wid.isEmpty());
    WaitUntil([] { return false; }, 700);
    EXPECT_FALSE(FlashWindowExists());
    EXPECT_TRUE(RedArea().isEmpty());

    const QString info = Tool("xwininfo", {"-id", wid});
    const int ax =
        QRegularExpression("Absolute upper-left X:\\s+(-?\\d+)").match(info).captured(1).toInt();
    const int ay =
        QRegularExpression("Absolute upper-left Y:\\s+(-?\\d+)").match(info).captured(1).toInt();
    // The middle of the Start picture (7140, 720, 1275 x 450 twips).
    const QRect panel(ax, ay,
                      QRegularExpression("Width:\\s+(\\d+)").match(info).captured(1).toInt(),
                      QRegularExpression("Height:\\s+(\\d+)").match(info).captured(1).toInt());
    const QString sx = QString::number(ax + 476 + 42);
    const QString sy = QString::number(ay + 48 + 15);
    Tool("xdotool", {"mousemove", sx, sy, "click", "1"});

    WaitUntil(FlashWindowExists, 5000);
    ASSERT_TRUE(FlashWindowExists());
    QRect red;
    WaitUntil(
        [&] {
            red = RedArea();
            return !red.isEmpty();
        },
        5000);
    ASSERT_FALSE(red.isEmpty()) << "no red letters came up";
    // Centred on the screen, and as large as 30 pt letters are.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_LE(std::abs(red.center().x() - screen.center().x()), 6) << red.x() << "," << red.width();
    EXPECT_LE(std::abs(red.center().y() - screen.center().y()), 8)
        << red.y() << "," << red.height();
    EXPECT_GE(red.height(), 18);
    EXPECT_GE(red.width(), 80);
    // The focus stays with the control panel.
    EXPECT_EQ(Tool("xdotool", {"getwindowfocus"}), wid);

    Tool("xdotool", {"mousemove", sx, sy, "click", "1"});
    WaitUntil([] { return !FlashWindowExists(); }, 5000);
    EXPECT_FALSE(FlashWindowExists());
    // (The panel may not have repainted its Start picture yet on a busy machine.)
    EXPECT_TRUE(RedArea(panel).isEmpty());
    // Start committed the timing boxes: the options file holds the same values, byte for byte.
    EXPECT_EQ(ReadBytes(dir / "Images/SelectedOptions.txt"), options);

    program.kill();
    program.waitForFinished();
}

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    QApplication app(argc, argv);
    for (int i = 0; i < 100; ++i) {
        if (Tool("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("window id")) {
            break;
        }
        WaitUntil([] { return false; }, 50);
    }
    WaitUntil([] { return false; }, 1000);  // see flash_window_e2e.cpp
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
