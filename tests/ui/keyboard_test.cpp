// The window driven from the keyboard alone, as the X server delivers keys
// (XTEST events through xdotool) to a window that a window manager (openbox)
// manages: Connect's dialogs, once gone, leave the accelerators working.
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>

#include "tests/support/private_db.h"
#include "tests/support/x_session.h"
#include "tests/ui/window_fixture.h"

namespace tarnlight::test {
namespace {

class KeyboardTest : public WindowTest {
  protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != QStringLiteral("xcb"))
            GTEST_SKIP() << "no X display: Xvfb is missing (scripts/install-deps)";
        if (!ProgramInPath("openbox") || !ProgramInPath("xdotool"))
            GTEST_SKIP() << "openbox or xdotool missing (scripts/install-deps)";
        if (!PrivateDbAvailable()) GTEST_SKIP() << "no test database server";
        // The window manager first, so that it manages the window from its
        // first showing; it says it is up by touching a file.
        const QString started = QString::fromStdString(home_.path() + "/openbox-started");
        ASSERT_TRUE(windowManager_.Start(
            {"openbox", "--sm-disable", "--startup", "touch " + started.toStdString()}));
        ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(started); }, 20000));
        WindowTest::SetUp();
        form_->SetMessageBoxHook({});  // real boxes, closed by a key
        ASSERT_NO_FATAL_FAILURE(StartSimulator());
        ASSERT_TRUE(HasKeyboard(form_.get(), 20000));
    }
    void TearDown() override {
        WindowTest::TearDown();
        windowManager_.Stop();
        if (!dbName_.empty()) OtherClient().Exec("DROP DATABASE IF EXISTS " + dbName_);
    }

    Settings DatabasePages() {
        const db::ConnectionParams params = PrivateDbParams();
        Settings settings = SimulatorPages({false, false, false, false, true, false});
        settings.dbEnabled = true;
        settings.addressIP = params.host;
        settings.portNum = std::to_string(params.port);
        settings.username = params.user;
        settings.dbPassword = params.password;
        settings.dbName = dbName_ = UniqueDbName("keys");
        return settings;
    }

    // Keys as the X server sends them to the focused window.
    static bool Keys(const char* keys) {
        return std::system((std::string("xdotool key --delay 40 ") + keys).c_str()) == 0;
    }
    // Whether window gets the keyboard within timeoutMs: the X server's
    // focus, where the keys go and what the window manager shows, not Qt's
    // idea of the active window, which may run ahead of the server's.
    static bool HasKeyboard(QWidget* window, int timeoutMs) {
        const auto xFocus = [] {
            unsigned long id = 0;
            if (FILE* out = ::popen("xdotool getwindowfocus", "r")) {
                if (std::fscanf(out, "%lu", &id) != 1) id = 0;
                ::pclose(out);
            }
            return id;
        };
        return QTest::qWaitFor([&] { return xFocus() == window->winId(); }, timeoutMs);
    }

    ChildProcess windowManager_;
    std::string dbName_;
};

TEST_F(KeyboardTest, AcceleratorsWorkAtOnceAfterConnectsDialogs) {
    // A server that is not there: Connect's box, closed with Enter.
    Settings pages = DatabasePages();
    pages.portNum = "1";
    ShowOnPages(pages);
    ASSERT_TRUE(Keys("alt+c"));
    // Enter once the box has the keyboard.
    ASSERT_TRUE(QTest::qWaitFor(
        [] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr; },
        20000));
    ASSERT_TRUE(HasKeyboard(QApplication::activeModalWidget(), 20000));
    ASSERT_TRUE(Keys("Return"));
    ASSERT_TRUE(WaitForPanel(kMessagePanel, "E11: Connecting to database error"));
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activeModalWidget() == nullptr; }, 5000));

    // Connect with the progress dialog up long enough for the window manager
    // to give it the focus, then Start, Halt and Disconnect, without a click
    // anywhere.
    pages = DatabasePages();
    pages.areaEnabled = {true, true, true, true, true, true};
    pages.areaTo = {8192, 8192, 8192, 4096, 4096, 4096};
    ShowOnPages(pages);
    ASSERT_TRUE(Keys("alt+c"));
    ASSERT_TRUE(WaitForPanel(kLinkStatePanel, "Online"));
    // The window takes the keyboard back by itself; the window manager may
    // take a moment on a busy machine.
    ASSERT_TRUE(HasKeyboard(form_.get(), 5000));
    ASSERT_TRUE(Keys("alt+s"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return form_->SB_Transmit_Stop->isEnabled(); }, 5000));
    // Cycles counted: the window shows the newest count it had time for, so
    // any count after the first, not one in particular.
    EXPECT_TRUE(QTest::qWaitFor([&] { return Panel(kCycleCountPanel) != "0x00"; }, 20000));
    ASSERT_TRUE(Keys("alt+h"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return form_->SB_Transmit_Start->isEnabled(); }, 5000));
    ASSERT_TRUE(Keys("alt+d"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form_->engine().IsWorkerRunning(); }, 20000));
    EXPECT_TRUE(WaitForPanel(kLinkStatePanel, "Offline"));
}

}  // namespace
}  // namespace tarnlight::test
