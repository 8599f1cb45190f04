#include "platform/win/gui_thread.h"

#include <errno.h>

#include <QApplication>
#include <QMetaObject>
#include <QPointer>
#include <QThread>

#include <atomic>
#include <chrono>
#include <clocale>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/com/com_api.h"

// The two calls of Xlib used here, declared as Xlib does (its header's macros, such as None
// and Bool, would clash with Qt's and this file's names).
extern "C" {
struct _XDisplay;
_XDisplay* XOpenDisplay(const char* name);
int XCloseDisplay(_XDisplay* display);
}

namespace platform::win {

namespace com = platform::com;

namespace {

enum class Mode { None, Host, Own };

// The state of this layer's own GUI thread:
//   NotStarted -> Starting -> Running -> Stopping -> Idle -> Starting -> ... -> Ended
// Running: its application runs its event loop. Stopping: the last use has gone and the
// application is being taken down. Idle: the thread waits without an application.
// Parked: at process exit with uses still held, the thread has left its event loop for good.
enum class State { NotStarted, Starting, Running, Stopping, Idle, Parked, Ended };

struct Gui {
    std::mutex mutex;
    std::condition_variable changed;
    int uses = 0;
    Mode mode = Mode::None;
    QPointer<QCoreApplication> app;  // the GUI thread's application while uses are held
    State state = State::NotStarted;
    bool exiting = false;    // process exit: leave the event loop for good
    bool endThread = false;  // process exit with nothing held: end the thread
    std::thread thread;
    std::thread::id threadId;
};

// Never destroyed: the thread may outlive every static object of the process.
Gui& gui() {
    static Gui* g = new Gui;
    return *g;
}

// Whether this layer's own GUI thread can run here: Qt's xcb platform (the one the program
// is built for) with an X server that accepts a connection. Qt ends the process when its
// platform cannot start, so this is checked first.
bool OwnGuiPossible() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform != nullptr && *platform != '\0' && std::string(platform).rfind("xcb", 0) != 0) {
        return false;
    }
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display == '\0') {
        return false;
    }
    _XDisplay* connection = XOpenDisplay(nullptr);
    if (connection == nullptr) {
        return false;
    }
    XCloseDisplay(connection);
    return true;
}

// The application of the own GUI thread, made on that thread. Its command line gives it the
// program's name (window classes, the tray icon's owner) and the xcb platform; it must live as
// long as the application, which takes the options out of it.
std::unique_ptr<QApplication> MakeApplication() {
    static char name[256];
    static char platformOption[] = "-platform";
    static char platformName[] = "xcb";
    static char* argv[4];
    static int argc;
    std::snprintf(name, sizeof name, "%s", program_invocation_short_name);
    argv[0] = name;
    argv[1] = platformOption;
    argv[2] = platformName;
    argv[3] = nullptr;
    argc = 3;

    // Qt sets the C locale from the environment and would use GLib's default main context,
    // which a host may be running on another thread; the host keeps its locale, and this
    // thread gets Qt's own event loop.
    const std::string locale = std::setlocale(LC_ALL, nullptr);
    const bool glibChosen = std::getenv("QT_NO_GLIB") != nullptr;
    if (!glibChosen) {
        ::setenv("QT_NO_GLIB", "1", 1);
    }
    auto app = std::make_unique<QApplication>(argc, argv);
    if (!glibChosen) {
        ::unsetenv("QT_NO_GLIB");
    }
    std::setlocale(LC_ALL, locale.c_str());
    app->setQuitOnLastWindowClosed(false);
    return app;
}

void QuitLater(QCoreApplication* app) {
    if (app != nullptr) {
        QMetaObject::invokeMethod(app, &QCoreApplication::quit, Qt::QueuedConnection);
    }
}

void GuiThreadMain() {
    Gui& g = gui();
    std::unique_lock lock(g.mutex);
    for (;;) {
        g.changed.wait(lock, [&] { return g.state == State::Starting || g.endThread; });
        if (g.endThread) {
            break;
        }
        lock.unlock();
        std::unique_ptr<QApplication> app = MakeApplication();
        lock.lock();
        g.app = app.get();
        g.state = State::Running;
        g.changed.notify_all();
        for (;;) {
            lock.unlock();
            app->exec();
            lock.lock();
            if (g.exiting) {
                // Process exit while uses are held: the application stays, nothing of Qt runs
                // on this thread any more, and the process ends around it.
                g.state = State::Parked;
                g.changed.notify_all();
                g.changed.wait(lock, [] { return false; });
            }
            if (g.uses == 0) {
                break;
            }
        }
        g.state = State::Stopping;
        g.app = nullptr;
        lock.unlock();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        app.reset();
        lock.lock();
        g.state = State::Idle;
        g.changed.notify_all();
    }
    g.state = State::Ended;
    g.changed.notify_all();
}

// At process exit the own GUI thread ends: by then it normally waits without a Qt application
// (the host released its last object). With uses still held it only leaves its event loop for
// good, so that no Qt code runs on it while the process takes its static objects down.
void EndAtExit() {
    Gui& g = gui();
    std::unique_lock lock(g.mutex);
    if (g.state == State::NotStarted || std::this_thread::get_id() == g.threadId) {
        return;
    }
    if (g.state == State::Running && g.uses > 0) {
        g.exiting = true;
        QuitLater(g.app);
    }
    const auto settled = [&] {
        return g.state == State::Idle || g.state == State::Parked || g.state == State::Ended;
    };
    // A thread busy in a client's handler for that long is left to the end of the process.
    if (!g.changed.wait_for(lock, std::chrono::seconds(2), settled) || g.state != State::Idle) {
        g.thread.detach();
        return;
    }
    g.endThread = true;
    g.changed.notify_all();
    g.changed.wait(lock, [&] { return g.state == State::Ended; });
    lock.unlock();
    g.thread.join();
}

// Takes a use; with the first one, decides where the GUI thread is.
void Acquire() {
    Gui& g = gui();
    std::unique_lock lock(g.mutex);
    if (g.uses++ > 0) {
        return;
    }
    g.changed.notify_all();  // a caller may wait for the application to stay or go
    if (g.state == State::Running) {
        // The last use went a moment ago and the application has not left its loop yet: it
        // stays.
        g.mode = Mode::Own;
        return;
    }
    g.changed.wait(lock, [&] { return g.state != State::Stopping && g.state != State::Starting; });
    if (QCoreApplication* app = QCoreApplication::instance()) {
        const bool widgets = qobject_cast<QApplication*>(app) != nullptr;
        g.mode = widgets ? Mode::Host : Mode::None;
        g.app = widgets ? app : nullptr;
        return;
    }
    if (g.state == State::Parked || g.state == State::Ended || !OwnGuiPossible()) {
        g.mode = Mode::None;
        g.app = nullptr;
        return;
    }
    g.mode = Mode::Own;
    const bool first = g.state == State::NotStarted;
    g.state = State::Starting;
    if (first) {
        g.thread = std::thread(GuiThreadMain);
        g.threadId = g.thread.get_id();
        std::atexit(EndAtExit);
    } else {
        g.changed.notify_all();
    }
    g.changed.wait(lock, [&] { return g.state == State::Running; });
}

// Waits until the own application, whose last use has gone, has been taken down (or a new
// use keeps it).
void WaitForTeardown(Gui& g, std::unique_lock<std::mutex>& lock) {
    g.changed.wait(lock, [&] {
        return g.uses > 0 || g.mode != Mode::Own ||
               (g.state != State::Running && g.state != State::Stopping);
    });
}

void Release() {
    Gui& g = gui();
    std::unique_lock lock(g.mutex);
    if (--g.uses > 0 || g.mode != Mode::Own) {
        return;
    }
    QuitLater(g.app);
    // Off the GUI thread the caller returns once the application has gone (a client releasing
    // its last object before it ends leaves nothing running behind it).
    if (std::this_thread::get_id() != g.threadId) {
        WaitForTeardown(g, lock);
    }
}

}  // namespace

GuiThreadUse::GuiThreadUse() {
    Acquire();
}

GuiThreadUse::~GuiThreadUse() {
    Release();
}

bool OnGuiThread() {
    const QCoreApplication* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    return app != nullptr && QThread::currentThread() == app->thread();
}

void RunOnGuiThread(const std::function<void()>& work) {
    QCoreApplication* app = nullptr;
    {
        Gui& g = gui();
        std::lock_guard lock(g.mutex);
        if (g.mode != Mode::None) {
            app = g.app;
        }
    }
    if (app == nullptr || QThread::currentThread() == app->thread()) {
        work();
        return;
    }
    // The work is queued on the GUI thread's event loop; meanwhile the caller runs the calls
    // posted to its own apartment (the events the work raises for it among them). The call
    // counts as finished when the work has run, or when Qt drops it unrun (its application
    // going away), whichever comes first.
    struct Call {
        std::atomic<bool> done = false;
        std::exception_ptr failure;
        com::ApartmentRef caller = com::CurrentApartment();
        void Finish() {
            done = true;
            com::WakeApartment(caller);
        }
    };
    struct Finisher {
        std::shared_ptr<Call> call;
        ~Finisher() { call->Finish(); }
    };
    const auto call = std::make_shared<Call>();
    std::shared_ptr<Finisher> finisher(new Finisher{call});
    QMetaObject::invokeMethod(
        app,
        [finisher, &work] {
            try {
                work();
            } catch (...) {
                finisher->call->failure = std::current_exception();
            }
            finisher->call->Finish();
        },
        Qt::QueuedConnection);
    finisher.reset();
    com::CoWaitForCalls([&] { return call->done.load(); });
    const std::exception_ptr failure = call->failure;
    // When that work dropped the last use, the own application is taken down now: the caller
    // (typically releasing its last object before it ends) returns once it is gone.
    {
        Gui& g = gui();
        std::unique_lock lock(g.mutex);
        WaitForTeardown(g, lock);
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

}  // namespace platform::win
