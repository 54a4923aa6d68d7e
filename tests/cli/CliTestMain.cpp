// The command line's tests: a QCoreApplication for the event loop, no display, and settings
// that can never reach the user's real configuration.
#include "tests/support/TestSettingsHome.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication application(argc, argv);
    const QTemporaryDir settingsHome;
    if (!settingsHome.isValid()) {
        return 2;
    }
    CTestSettingsHome::SetProcessHome(settingsHome.path());
    return RUN_ALL_TESTS();
}
