// main() of the window tests: Qt's offscreen platform unless the test run
// chose another (the tray tests run under Xvfb), one QApplication for all
// cases, then GoogleTest.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
