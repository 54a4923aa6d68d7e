// The main of every window test: offscreen Qt unless the caller chose a platform, one
// QApplication, and settings that can never reach the user's real configuration.
#include "tests/support/TestSettingsHome.h"

#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    ::testing::InitGoogleTest(&argc, argv);
    // Tests run as root under CI, where no session gives a runtime folder; one of their own
    // spares every test program Qt's warning about it.
    const QTemporaryDir runtimeDir;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtimeDir.isValid()) {
        qputenv("XDG_RUNTIME_DIR", runtimeDir.path().toLocal8Bit());
    }
    QApplication app(argc, argv);

    const QTemporaryDir settingsHome;
    if (!settingsHome.isValid()) {
        return 2;
    }
    CTestSettingsHome::SetProcessHome(settingsHome.path());
    return RUN_ALL_TESTS();
}
