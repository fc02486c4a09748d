// main() of the tray tests: a private Xvfb display of their own, one
// QApplication on it for all cases, then GoogleTest. Without Xvfb the
// application runs on the offscreen platform and every case is skipped.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <cstdio>

#include "tests/support/x_session.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    tarnlight::test::XvfbServer xvfb;
    // Listing the cases (ctest's discovery at build time) needs no display.
    if (!GTEST_FLAG_GET(list_tests)) {
        if (xvfb.Start()) {
            setenv("DISPLAY", xvfb.display().c_str(), 1);
            setenv("QT_QPA_PLATFORM", "xcb", 1);
            unsetenv("WAYLAND_DISPLAY");
            // The icon goes through the X11 notification-area protocol that
            // trayer speaks; no session bus may take it elsewhere, nor be
            // started for it.
            setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent", 1);
        } else {
            std::fprintf(stderr, "Xvfb could not be started (scripts/install-deps)\n");
        }
    }
    if (xvfb.display().empty()) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int result = 0;
    {
        QApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    xvfb.Stop();  // after the application has let go of the display
    return result;
}
