#include "platform/win/icon.h"

#include <map>
#include <mutex>

#include "platform/win/handles.h"

namespace platform::win {

namespace {

struct State {
    std::mutex mutex;
    HandleSpace handles{HandleKind::Icon};
    std::map<HICON, QIcon> icons;
};

State& state() {
    static State s;
    return s;
}

}  // namespace

HICON CreateIconFromQIcon(const QIcon& icon) {
    if (icon.isNull()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    State& s = state();
    std::lock_guard lock(s.mutex);
    const HICON handle = s.handles.Next();
    if (handle == 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    s.icons.emplace(handle, icon);
    return handle;
}

QIcon IconFromHandle(HICON hIcon) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    auto found = s.icons.find(hIcon);
    return found != s.icons.end() ? found->second : QIcon();
}

BOOL DestroyIcon(HICON hIcon) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    if (s.icons.erase(hIcon) == 0) {
        SetLastError(ERROR_INVALID_ICON_HANDLE);
        return FALSE;
    }
    return TRUE;
}

}  // namespace platform::win
