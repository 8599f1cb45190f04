// The GNOME Shell path against a stand-in for the shell's extension on a private session bus:
// what the program asks of it, and the way back to the other paths when it goes. Runs in a
// process of its own (the bus must be there before the path first looks for it).
#include "platform/layered/shell_flash.h"
#include "platform/layered/layered_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QStandardPaths>
#include <QWidget>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>

namespace platform::layered {
namespace {

using namespace std::chrono_literals;

// The extension's interface as flash.js offers it; every call is noted.
class FakeFlash : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kestrane.Flash")
    Q_PROPERTY(uint Version READ Version)
  public:
    uint Version() const { return 1; }
    uint LastSerial() const { return serial_; }
    QStringList calls;
  public slots:
    uint Show(const QString& text, const QString& font, const QString& colour, int x, int y,
              int monitor, uint ms) {
        calls << QStringLiteral("Show %1|%2|%3|%4,%5|%6|%7")
                     .arg(text, font, colour)
                     .arg(x)
                     .arg(y)
                     .arg(monitor)
                     .arg(ms);
        return ++serial_;
    }
    void Hide(uint serial) { calls << QStringLiteral("Hide %1").arg(serial); }
  signals:
    void Hidden(uint serial, qlonglong time, uint frames);

  private:
    uint serial_ = 0;
};

// The shell's Hidden as the program's own connection receives it.
class HiddenSeen : public QObject {
    Q_OBJECT
  public:
    int count = 0;
  public slots:
    void Hidden(uint, qlonglong, uint) { ++count; }
};

bool WaitFor(const std::function<bool()>& done) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > 20000) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

class ShellFlash : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty()) {
            return;
        }
        bus_ = new QProcess;
        bus_->start(QStringLiteral("dbus-daemon"),
                    {QStringLiteral("--session"), QStringLiteral("--nofork"),
                     QStringLiteral("--print-address=1")});
        if (!bus_->waitForReadyRead(10000)) {
            return;
        }
        const QByteArray address = bus_->readLine().trimmed();
        ::setenv("DBUS_SESSION_BUS_ADDRESS", address.constData(), 1);
        // A Wayland session, where the shell's way is taken by itself once the extension answers.
        ::unsetenv("KESTRANE_FLASH_PATH");
        ::unsetenv("WAYLAND_DISPLAY");
        ::setenv("XDG_SESSION_TYPE", "wayland", 1);
        // The stand-in on a connection of its own, as the shell is another process.
        auto fake = QDBusConnection::connectToBus(QString::fromLatin1(address), "fake");
        fake_ = new FakeFlash;
        fake.registerObject(shell::kFlashPath, fake_,
                            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties |
                                QDBusConnection::ExportAllSignals);
        up_ = fake.registerService(shell::kFlashName);
    }
    static void TearDownTestSuite() {
        QDBusConnection::disconnectFromBus("fake");
        delete fake_;
        if (bus_ != nullptr) {
            bus_->kill();
            bus_->waitForFinished();
            delete bus_;
        }
    }
    void SetUp() override {
        if (!up_) {
            GTEST_SKIP() << "no private session bus (dbus-daemon)";
        }
        window_ = std::make_unique<QWidget>();
        label_ = new QLabel(window_.get());
        label_->move(2, 3);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setBold(true);
        font.setPointSize(30);
        label_->setFont(font);
        QPalette pal = label_->palette();
        pal.setColor(QPalette::WindowText, QColor(0, 255, 0));
        label_->setPalette(pal);
        window_->setGeometry(100, 200, 300, 60);
        hWnd_ = HandleOf(window_.get());
        ASSERT_TRUE(WaitFor([] { return shell::Available(); }));
        SetWindowLongA(hWnd_, GWL_EXSTYLE, WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_TOPMOST);
        SetLayeredWindowAttributes(hWnd_, 0xC0C0C0, 255, LWA_COLORKEY);
    }
    void Say(const QString& text) {
        label_->setText(text);
        label_->adjustSize();
    }
    bool CallsAre(const QStringList& want) {
        return WaitFor([&] { return fake_->calls.size() >= want.size(); }) && fake_->calls == want;
    }
    // The shell says a message has gone, and the program has heard it.
    void ShellHides(uint serial) {
        HiddenSeen seen;
        QDBusConnection::sessionBus().connect(shell::kFlashName, shell::kFlashPath,
                                              shell::kFlashInterface, QStringLiteral("Hidden"),
                                              &seen, SLOT(Hidden(uint, qlonglong, uint)));
        emit fake_->Hidden(serial, 0, 6);
        ASSERT_TRUE(WaitFor([&] { return seen.count == 1; }));
    }

    static QProcess* bus_;
    static FakeFlash* fake_;
    static bool up_;
    std::unique_ptr<QWidget> window_;
    QLabel* label_ = nullptr;
    HWND hWnd_ = 0;
};
QProcess* ShellFlash::bus_ = nullptr;
FakeFlash* ShellFlash::fake_ = nullptr;
bool ShellFlash::up_ = false;

TEST_F(ShellFlash, AMessageGoesUpWithItsTimeAndOnlyAnEarlyEndIsSent) {
    EXPECT_EQ(FlashPath(), "gnome-shell");
    EXPECT_TRUE(shell::Attached(window_.get()));
    fake_->calls.clear();
    // Letters up for 100 ms: one call with all of it, at the label's place on the desktop.
    Say(QStringLiteral("MMMM"));
    const auto handed = Present(hWnd_, std::nullopt, {}, 100ms);
    EXPECT_TRUE(handed.has_value());
    EXPECT_EQ(PresentAhead(hWnd_), std::chrono::microseconds(0));
    const QPoint at = QPoint(100, 200) + QPoint(2, 3) + label_->contentsRect().topLeft();
    auto showFor = [at](int ms) {
        return QStringLiteral("Show MMMM|DejaVu Sans, Bold 30|#00ff00|%1,%2|-1|%3")
            .arg(at.x())
            .arg(at.y())
            .arg(ms);
    };
    const QString show = showFor(100);
    ASSERT_TRUE(CallsAre({show})) << fake_->calls.join(QStringLiteral("; ")).toStdString();
    // Its end at the time due is the shell's: nothing is sent.
    Say(QString());
    EXPECT_FALSE(Present(hWnd_, std::chrono::steady_clock::now()).has_value());
    ShellHides(1);
    // The next one, taken down early (no due time): a Hide of that very message.
    Say(QStringLiteral("MMMM"));
    Present(hWnd_, std::nullopt, {}, 100ms);
    ASSERT_TRUE(CallsAre({show, show}));
    Say(QString());
    Present(hWnd_);
    EXPECT_TRUE(CallsAre({show, show, QStringLiteral("Hide 2")}))
        << fake_->calls.join(QStringLiteral("; ")).toStdString();
    // A window that goes takes its message with it.
    Say(QStringLiteral("MMMM"));
    Present(hWnd_, std::nullopt, {}, 1000ms);
    ASSERT_TRUE(CallsAre({show, show, QStringLiteral("Hide 2"), showFor(1000)}));
    window_.reset();
    EXPECT_TRUE(WaitFor([] { return fake_->calls.size() == 5; }));
    EXPECT_EQ(fake_->calls.value(4), QStringLiteral("Hide 3"));
}

// A shell held up shows late what it was asked for: a message it has not said gone is still
// the window's, taken away before the next one and at a stop.
TEST_F(ShellFlash, AMessageTheShellHasNotEndedIsTakenAwayBeforeTheNextAndAtAStop) {
    fake_->calls.clear();
    const uint before = fake_->LastSerial();  // serials go on from the earlier tests
    const auto hide = [before](uint n) { return QStringLiteral("Hide %1").arg(before + n); };
    const auto flash = [this] {
        Say(QStringLiteral("MMMM"));
        Present(hWnd_, std::nullopt, {}, 100ms);
        Say(QString());
        Present(hWnd_, std::chrono::steady_clock::now());  // its end at the time due
    };
    flash();
    ASSERT_TRUE(WaitFor([] { return fake_->calls.size() == 1; }));
    flash();
    ASSERT_TRUE(WaitFor([] { return fake_->calls.size() == 3; }));
    // Its Hide goes once the first answer is in: before the next Show or after it.
    EXPECT_TRUE(fake_->calls.value(1) == hide(1) || fake_->calls.value(2) == hide(1));
    EXPECT_EQ(fake_->calls.filter(QStringLiteral("Show MMMM|")).size(), 2);
    Say(QString());
    Present(hWnd_);  // a stop
    ASSERT_TRUE(WaitFor([] { return fake_->calls.size() == 4; }));
    EXPECT_EQ(fake_->calls.value(3), hide(2))
        << fake_->calls.join(QStringLiteral("; ")).toStdString();
}

// Looked for in Wayland sessions, where XWayland cannot time the letters; in X sessions only
// when asked for; never when another way is asked for.
TEST(ShellFlashWanted, InWaylandSessionsOrWhenAskedFor) {
    EXPECT_TRUE(shell::Wanted(nullptr, "wayland-0", nullptr));
    EXPECT_TRUE(shell::Wanted("", nullptr, "wayland"));
    EXPECT_FALSE(shell::Wanted(nullptr, "", "x11"));
    EXPECT_FALSE(shell::Wanted(nullptr, nullptr, nullptr));
    EXPECT_TRUE(shell::Wanted("gnome-shell", nullptr, "x11"));
    EXPECT_FALSE(shell::Wanted("x11", "wayland-0", "wayland"));
}

TEST_F(ShellFlash, WhenTheExtensionGoesTheWindowTakesAnotherWay) {
    QDBusConnection fake = QDBusConnection("fake");
    ASSERT_TRUE(fake.unregisterService(shell::kFlashName));
    ASSERT_TRUE(WaitFor([] { return !shell::Available(); }));
    fake_->calls.clear();
    Say(QStringLiteral("MMMM"));
    Present(hWnd_, std::nullopt, {}, 100ms);
    EXPECT_FALSE(shell::Attached(window_.get()));
    EXPECT_NE(FlashPath(), "gnome-shell");
    // Back again: the next change goes through the shell.
    ASSERT_TRUE(fake.registerService(shell::kFlashName));
    ASSERT_TRUE(WaitFor([] { return shell::Available(); }));
    Present(hWnd_, std::nullopt, {}, 100ms);
    EXPECT_TRUE(shell::Attached(window_.get()));
    EXPECT_TRUE(WaitFor([] { return fake_->calls.size() == 1; }));
}

}  // namespace
}  // namespace platform::layered

#include "shell_flash_test.moc"
