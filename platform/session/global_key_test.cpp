#include "platform/session/global_key.h"
#include "platform/session/shortcuts_portal.h"

#include <gtest/gtest.h>

namespace platform::session {
namespace {

// What is refused before the X server is asked (the grab itself is tested on a real X server
// with real key presses, in the lock screen end-to-end test).
TEST(GlobalKey, RefusesKeysThatCannotWorkAndSaysWhy) {
    qunsetenv("WAYLAND_DISPLAY");  // the X grab's answers, not a portal's
    qunsetenv("XDG_SESSION_TYPE");
    GlobalKey key;
    EXPECT_EQ(key.Set(QString()), QString());  // no key: nothing to say
    for (const char* typing : {"K", "Shift+K", "Space", "1"}) {
        EXPECT_TRUE(key.Set(QString::fromLatin1(typing)).contains("typing of every program"))
            << typing;
        EXPECT_EQ(key.Key(), QString());
    }
    EXPECT_TRUE(key.Set(QStringLiteral("Ctrl+Volume Up")).contains("cannot be used"))
        << "no keysym";
    const QByteArray display = qgetenv("DISPLAY");
    qunsetenv("DISPLAY");
    EXPECT_TRUE(key.Set(QStringLiteral("Ctrl+Alt+K")).contains("only with an X server"));
    EXPECT_EQ(key.Key(), QString());
    if (!display.isEmpty()) {
        qputenv("DISPLAY", display);
    }
}

}  // namespace
}  // namespace platform::session

namespace platform::session {
namespace {

// The portal's trigger text: its modifier names, then the X keysym's name.
TEST(ShortcutsPortal, TriggerIsTheShortcutsText) {
    EXPECT_EQ(ShortcutsPortal::TriggerOf(QStringLiteral("Ctrl+Alt+K")), "CTRL+ALT+k");
    EXPECT_EQ(ShortcutsPortal::TriggerOf(QStringLiteral("Shift+Meta+F5")), "SHIFT+LOGO+F5");
    EXPECT_EQ(ShortcutsPortal::TriggerOf(QStringLiteral("Ctrl+Home")), "CTRL+Home");
    EXPECT_EQ(ShortcutsPortal::TriggerOf(QStringLiteral("Alt+,")), "ALT+comma");
    EXPECT_EQ(ShortcutsPortal::TriggerOf(QString()), QString());
}

}  // namespace
}  // namespace platform::session
