// The GUI thread: the thread on which the windows of this layer that have something on the
// screen, the icons of the notification area and popup menus live. Qt allows them only on the
// thread of the process's QApplication, and only when there is one.
//
//   - In a process that runs a QApplication (a Qt GUI program), the GUI thread is the thread of
//     that application.
//   - In a process without any Qt application object (a plain client of a component, a program
//     written with another toolkit), this layer runs a GUI thread of its own, with a
//     QApplication of its own on the X display, for as long as a GuiThreadUse is held. The
//     thread is started once, on Qt's xcb platform (QT_QPA_PLATFORM unset or naming xcb) and
//     only when DISPLAY names an X server that accepts a connection. Between uses it waits
//     without an application (the process then has no Qt application object again); it ends
//     at process exit, or stops running Qt code there when uses are still held. Its
//     application takes its name from the program, keeps the process's C locale as it was,
//     and uses Qt's own event loop rather than GLib's, whose default loop the host may run
//     (QT_NO_GLIB is set in the environment while the application starts).
//   - Otherwise (no display, a QCoreApplication or QGuiApplication without widgets, another
//     platform) there is no GUI thread: the window side is not available, calls that need it
//     fail cleanly (Shell_NotifyIconA, TrackPopupMenuEx), and RunOnGuiThread runs its work on
//     the calling thread.
//
// Which of the three holds is decided when the first use is taken and stays so while any use
// is held. A Qt program must therefore construct its QApplication before it takes a use (it
// cannot construct one while this layer's own application runs).
#pragma once

#include <functional>

namespace platform::win {

// Holds the GUI thread: while a use is held, the thread that RunOnGuiThread hands work to
// stays the same and runs its event loop. Taking the first use may start this layer's own
// GUI thread and waits until its application runs. Uses may be taken and dropped on any
// thread, the GUI thread included.
class GuiThreadUse {
  public:
    GuiThreadUse();
    ~GuiThreadUse();
    GuiThreadUse(const GuiThreadUse&) = delete;
    GuiThreadUse& operator=(const GuiThreadUse&) = delete;
};

// Whether the calling thread runs a QApplication: windows, tray icons and menus may be made
// here.
bool OnGuiThread();

// Runs work on the GUI thread of the held use and returns when it has run. On the GUI thread
// itself, or when there is no GUI thread, work runs at once on the calling thread. Otherwise
// it is queued on the GUI thread's event loop (work also runs while the GUI thread is inside a
// popup menu or another nested event loop) while the caller waits, running the calls posted to
// its own apartment meanwhile (platform::com::CoWaitForCalls); an exception that work throws
// is thrown again in the caller. Call only while holding a GuiThreadUse, and never while the
// GUI thread waits for the calling thread.
void RunOnGuiThread(const std::function<void()>& work);

}  // namespace platform::win
