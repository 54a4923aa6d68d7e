// The end-to-end cases' main. Unlike the window tests' main, it leaves the settings where the
// program itself puts them ($XDG_CONFIG_HOME, which run-case points at a folder of the case's
// own), so that the cases check the files the program really writes.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
