#include "platform/session/global_key.h"

#include <gtest/gtest.h>

namespace platform::session {
namespace {

// What is refused before the X server is asked (the grab itself is tested on a real X server
// with real key presses, in the lock screen end-to-end test).
TEST(GlobalKey, RefusesKeysThatCannotWorkAndSaysWhy) {
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
