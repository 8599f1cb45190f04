// Test entry point shared by every unit-test program: widgets run on Qt's offscreen platform,
// so tests need no X server, and the machine's registry is an empty folder of the test's own,
// so that nothing installed on the machine is found and nothing is written there.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <cstdlib>

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QTemporaryDir machineConfig;
    ::setenv("XDG_CONFIG_DIRS", machineConfig.path().toLocal8Bit().constData(), 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
