// The window table shared by the files of the window-manager layer: the windows, their
// classes and procedures, and each thread's dispatcher of posted and sent messages. Every
// function named ...Locked expects the caller to hold State::mutex.
#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "platform/win/handles.h"
#include "platform/win/window.h"

namespace platform::win::detail {

struct Window {
    std::string className;
    std::string caption;
    LONG style = 0;
    LONG exStyle = 0;
    LONG id = 0;
    LONG userData = 0;
    HWND parent = 0;
    LONG wndProc = 0;
    std::thread::id owner;
    QObject* dispatcher = nullptr;  // lives on the owner thread; receives posted messages
    QPointer<QWidget> widget;
    QMetaObject::Connection widgetGone;
    bool destroying = false;
};

struct State {
    std::mutex mutex;
    std::map<HWND, Window> windows;  // handles grow, so this is creation order
    HandleSpace windowHandles{HandleKind::Window};
    HandleSpace procedureHandles{HandleKind::Procedure};
    std::map<LONG, WNDPROC> procedures;
    std::map<WNDPROC, LONG> procedureNumbers;
    std::map<std::string, LONG> classes;  // lower-case name -> procedure number
    std::map<std::thread::id, std::unique_ptr<QObject>> dispatchers;
};

State& state();
std::string Lower(std::string_view s);
// Numbers a procedure (0 for none), the same number each time.
LONG NumberLocked(State& s, WNDPROC procedure);
WNDPROC ProcedureLocked(State& s, LONG value);
void EnsureStaticClassLocked(State& s);
// The dispatcher object of the calling thread, created on first use on that thread.
QObject* DispatcherLocked(State& s);
Window* FindLocked(State& s, HWND hWnd);
std::string CaptionLocked(const Window& w);
// Drops a window from the table (takes the lock itself).
void Forget(HWND hWnd);

}  // namespace platform::win::detail
