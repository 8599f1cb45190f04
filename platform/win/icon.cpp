#include "platform/win/icon.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QThread>

#include <map>
#include <mutex>

#include "platform/win/handles.h"

namespace platform::win {

namespace {

// One icon: a QIcon made by a Qt GUI application, or an image that becomes one on demand.
struct Entry {
    QIcon icon;
    QImage image;
};

struct State {
    std::mutex mutex;
    HandleSpace handles{HandleKind::Icon};
    std::map<HICON, Entry> icons;
};

State& state() {
    static State s;
    return s;
}

HICON Store(Entry entry) {
    State& s = state();
    std::lock_guard lock(s.mutex);
    const HICON handle = s.handles.Next();
    if (handle == 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    s.icons.emplace(handle, std::move(entry));
    return handle;
}

// Pixmaps exist only on the thread of a Qt GUI application.
bool OnPixmapThread() {
    const QCoreApplication* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    return app != nullptr && QThread::currentThread() == app->thread();
}

}  // namespace

HICON CreateIconFromQIcon(const QIcon& icon) {
    if (icon.isNull()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return Store({icon, {}});
}

HICON CreateIconFromImage(const QImage& image) {
    if (image.isNull()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return Store({{}, image});
}

QIcon IconFromHandle(HICON hIcon) {
    Entry entry;
    {
        State& s = state();
        std::lock_guard lock(s.mutex);
        auto found = s.icons.find(hIcon);
        if (found == s.icons.end()) {
            return QIcon();
        }
        entry = found->second;
    }
    if (!entry.icon.isNull() || entry.image.isNull() || !OnPixmapThread()) {
        return entry.icon;
    }
    return QIcon(QPixmap::fromImage(entry.image));
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
