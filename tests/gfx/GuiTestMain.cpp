// SPDX-License-Identifier: MIT
// Fonts need a QGuiApplication, so these tests bring their own main.
#include <QGuiApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // CTest sets the platform for the runs, but test discovery starts the program bare.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    testing::InitGoogleTest(&argc, argv);
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
