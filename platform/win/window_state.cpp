#include "platform/win/window_state.h"

#include <algorithm>

#include "platform/win/ansi_text.h"

namespace platform::win::detail {

State& state() {
    static State s;
    return s;
}

std::string Lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) {
        return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    });
    return out;
}

LONG NumberLocked(State& s, WNDPROC procedure) {
    if (procedure == nullptr) {
        return 0;
    }
    auto found = s.procedureNumbers.find(procedure);
    if (found != s.procedureNumbers.end()) {
        return found->second;
    }
    const LONG number = s.procedureHandles.Next();
    if (number == 0) {
        return 0;
    }
    s.procedureNumbers.emplace(procedure, number);
    s.procedures.emplace(number, procedure);
    return number;
}

WNDPROC ProcedureLocked(State& s, LONG value) {
    auto found = s.procedures.find(value);
    return found == s.procedures.end() ? nullptr : found->second;
}

void EnsureStaticClassLocked(State& s) {
    if (s.classes.find("static") == s.classes.end()) {
        s.classes.emplace("static", NumberLocked(s, &DefWindowProcA));
    }
}

QObject* DispatcherLocked(State& s) {
    auto& slot = s.dispatchers[std::this_thread::get_id()];
    if (!slot) {
        slot = std::make_unique<QObject>();
    }
    return slot.get();
}

Window* FindLocked(State& s, HWND hWnd) {
    auto found = s.windows.find(hWnd);
    return found == s.windows.end() ? nullptr : &found->second;
}

std::string CaptionLocked(const Window& w) {
    if (w.widget) {
        return EncodeAnsi(w.widget->windowTitle());
    }
    return w.caption;
}

void Forget(HWND hWnd) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    auto found = s.windows.find(hWnd);
    if (found != s.windows.end()) {
        QObject::disconnect(found->second.widgetGone);
        s.windows.erase(found);
    }
}
}  // namespace platform::win::detail
