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
    QApplication app(argc, argv);

    const QTemporaryDir settingsHome;
    if (!settingsHome.isValid()) {
        return 2;
    }
    CTestSettingsHome::SetProcessHome(settingsHome.path());
    return RUN_ALL_TESTS();
}
