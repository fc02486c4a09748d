// The tray icon on a real X server (a private Xvfb) with Debian's trayer as
// the desktop's notification area, and without one: the window hidden behind
// the icon while the engine runs against the simulator, the picture
// following the link, the window brought back, and Exit, About and Help from
// the icon's menu.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPointer>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <optional>
#include <utility>

#include "tests/support/x_session.h"
#include "tests/ui/modal_test_support.h"
#include "tests/ui/window_fixture.h"
#include "ui/about_box.h"
#include "ui/tray_icon.h"

namespace tarnlight::test {
namespace {

// The tile's colours in each picture: upper left, lower right.
const std::pair<QColor, QColor> kTileColours[] = {
    {QColor(0x0b, 0x2a, 0x6b), QColor(0x0b, 0x2a, 0x6b)},  // dark blue: no connection
    {QColor(0x1e, 0x9e, 0x3a), QColor(0x1e, 0x9e, 0x3a)},  // green: online
    {QColor(0x8b, 0x00, 0x00), QColor(0x8b, 0x00, 0x00)},  // dark red: connecting failed
    {QColor(0xd0, 0x18, 0x18), QColor(0x1e, 0x9e, 0x3a)},  // red / green: connection lost
};

bool Near(const QColor& a, const QColor& b) {
    return std::abs(a.red() - b.red()) < 48 && std::abs(a.green() - b.green()) < 48 &&
           std::abs(a.blue() - b.blue()) < 48;
}

class TrayTest : public WindowTest {
  protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != QStringLiteral("xcb"))
            GTEST_SKIP() << "no X display: Xvfb is missing (scripts/install-deps)";
        WindowTest::SetUp();
        tray_ = form_->TrayIcon1;
    }
    void TearDown() override {
        WindowTest::TearDown();
        trayer_.Stop();
    }

    // Debian's trayer as the notification area, on the test's display.
    bool StartNotificationArea() {
        if (!trayer_.Start({"trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                            "--height", "24", "--transparent", "false"}))
            return false;
        return QTest::qWaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 20000);
    }
    bool StopNotificationArea() {
        trayer_.Stop();
        return QTest::qWaitFor([] { return !QSystemTrayIcon::isSystemTrayAvailable(); }, 20000);
    }

    // Qt shows the icon as a small window that the notification area docks;
    // null while there is none.
    static QWidget* DockedIcon() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->inherits("QSystemTrayIconSys") && widget->isVisible()) return widget;
        }
        return nullptr;
    }

    // Whether the screen shows the icon with picture index, by the colours
    // of its tile beside the emblem.
    bool IconShows(int index) {
        return QTest::qWaitFor(
            [&] {
                const QRect at = tray_->trayIcon()->geometry();
                if (at.isEmpty()) return false;
                const QImage shot = QGuiApplication::primaryScreen()
                                        ->grabWindow(0, at.x(), at.y(), at.width(), at.height())
                                        .toImage();
                if (shot.isNull()) return false;
                const int near = at.width() * 18 / 100;
                const int far = at.width() - 1 - near;
                return Near(shot.pixelColor(near, near), kTileColours[index].first) &&
                       Near(shot.pixelColor(far, far), kTileColours[index].second);
            },
            20000);
    }

    // Opens the icon's menu with the right button and clicks item in it.
    void ChooseFromMenu(QAction* item) {
        QWidget* icon = DockedIcon();
        ASSERT_NE(icon, nullptr);
        QTest::mouseClick(icon, Qt::RightButton);
        QMenu* menu = tray_->PopupMenu1;
        ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }));
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
    }

    bool WindowBackIconGone() {
        return QTest::qWaitFor([&] {
            return form_->isVisible() && !form_->isMinimized() && !tray_->IsShown() &&
                   DockedIcon() == nullptr;
        });
    }

    // Connected to the simulator with %R read, transmission started, and a
    // link that is tried again and again when lost.
    void ConnectTransmitting() {
        ASSERT_NO_FATAL_FAILURE(StartSimulator());
        Settings pages = SimulatorPages({false, false, false, false, true, false});
        pages.lostconn = kPolicyTryConstantly;
        ShowOnPages(pages);
        ASSERT_TRUE(ConnectOnline()) << Panel(kMessagePanel).toStdString();
        Click(form_->SB_Transmit_Start);
        ASSERT_TRUE(QTest::qWaitFor([&] { return Panel(kCycleCountPanel) != "0x00"; }, 20000));
    }

    ui::TTrayIcon* tray_ = nullptr;
    ChildProcess trayer_;
};

TEST_F(TrayTest, TheHiddenWindowsIconFollowsTheLinkAndBringsTheWindowBack) {
    ui::TForm1& form = *form_;
    ASSERT_TRUE(StartNotificationArea());
    EXPECT_FALSE(tray_->IsShown());  // not at start
    ASSERT_NO_FATAL_FAILURE(ConnectTransmitting());

    // Hide: the icon with the online picture, the window gone, the cycle going on.
    Click(form.SB_Hide);
    EXPECT_FALSE(form.isVisible());
    ASSERT_TRUE(tray_->IsShown());
    EXPECT_EQ(tray_->trayIcon()->toolTip(), "Tarnlight");
    EXPECT_TRUE(IconShows(kIconOnline));
    const QString cycles = Panel(kCycleCountPanel);
    EXPECT_TRUE(QTest::qWaitFor([&] { return Panel(kCycleCountPanel) != cycles; }, 20000));

    // The PLC goes silent and comes back: the picture follows while the
    // window stays hidden.
    sim_->SetDead(true);
    EXPECT_TRUE(WaitForPanel(kMessagePanel, "E21: Lost connection with PLC"));
    EXPECT_TRUE(IconShows(kIconConnectionLost));
    sim_->SetDead(false);
    EXPECT_TRUE(WaitForPanel(kLinkStatePanel, "Online"));
    EXPECT_TRUE(IconShows(kIconOnline));
    EXPECT_FALSE(form.isVisible());

    // A click on the icon: the window back, the icon gone.
    QTest::mouseClick(DockedIcon(), Qt::LeftButton);
    EXPECT_TRUE(WindowBackIconGone());

    // A double click also brings the window to the front.
    Click(form.SB_Hide);
    ASSERT_TRUE(QTest::qWaitFor([] { return DockedIcon() != nullptr; }));
    QTest::mouseDClick(DockedIcon(), Qt::LeftButton);
    EXPECT_TRUE(WindowBackIconGone());
    EXPECT_TRUE(QTest::qWaitForWindowActive(&form));

    // "Show" in the menu is a click.
    Click(form.SB_Hide);
    ChooseFromMenu(tray_->aaa1);
    EXPECT_TRUE(WindowBackIconGone());

    // While the icon is shown (as after a failed removal), minimising
    // hides the window entirely; the icon brings it back restored.
    ASSERT_TRUE(tray_->Show());
    form.showMinimized();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !form.isVisible(); }));
    ChooseFromMenu(tray_->aaa1);
    EXPECT_TRUE(WindowBackIconGone());
    EXPECT_TRUE(boxes_.isEmpty()) << boxes_.join('\n').toStdString();
}

TEST_F(TrayTest, ExitInTheMenuEndsTheProgramSafelyWhileConnected) {
    ASSERT_TRUE(StartNotificationArea());
    ASSERT_NO_FATAL_FAILURE(ConnectTransmitting());
    Click(form_->SB_Hide);
    ASSERT_FALSE(form_->isVisible());
    // The icon leaves the notification area before the worker is waited for.
    std::optional<bool> workerRanAtRemoval;
    ASSERT_TRUE(QTest::qWaitFor([] { return DockedIcon() != nullptr; }));
    QObject::connect(DockedIcon(), &QObject::destroyed, form_.get(),
                     [&] { workerRanAtRemoval = form_->engine().IsWorkerRunning(); });

    // The program's event loop, ended by Exit, or by the guard.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    guard.start(30000);
    QTimer::singleShot(0, form_.get(), [&] { ChooseFromMenu(tray_->ccc1); });
    EXPECT_EQ(QApplication::exec(), 0);

    // The worker was stopped before the window went, not cut off by it.
    EXPECT_EQ(workerRanAtRemoval, std::optional<bool>(true));
    EXPECT_FALSE(form_->engine().IsWorkerRunning());
    EXPECT_NE(Panel(kMessagePanel), "E21: Lost connection with PLC");
    EXPECT_FALSE(form_->isVisible());
    form_.reset();
    EXPECT_TRUE(QTest::qWaitFor([] { return DockedIcon() == nullptr; }));
    EXPECT_TRUE(boxes_.isEmpty()) << boxes_.join('\n').toStdString();
}

TEST_F(TrayTest, AboutAndHelpFromTheWindowAndFromTheHiddenWindowsMenu) {
    ui::TForm1& form = *form_;
    UrlCatcher viewer("file");

    // F1 ("&Contents", "Help Contents") and Help: the help document at its
    // contents.
    EXPECT_EQ(form.HelpContents1->text(), "&Contents");
    EXPECT_EQ(form.HelpContents1->toolTip(), "Help Contents");
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    QTest::keyClick(&form, Qt::Key_F1);
    ASSERT_EQ(viewer.urls.size(), 1);
    EXPECT_TRUE(viewer.urls[0].toLocalFile().endsWith("/tarnlight.html"));
    EXPECT_EQ(viewer.urls[0].fragment(), "contents");
    Click(form.SB_Help);
    EXPECT_EQ(viewer.urls.size(), 2);

    // About from the menu of the hidden window: a window-modal dialog opened
    // without an event loop of its own (the click returns while it is up),
    // a new one each time, gone once closed; the window stays hidden.
    ASSERT_TRUE(StartNotificationArea());
    Click(form.SB_Hide);
    int shown = 0;
    QPointer<ui::TAboutBox> previous;
    for (int round = 0; round < 2; ++round) {
        ChooseFromMenu(tray_->About1);
        ASSERT_TRUE(QTest::qWaitFor([&] {
            auto* box = qobject_cast<ui::TAboutBox*>(QApplication::activeModalWidget());
            return box != nullptr && box->isVisible() && box != previous;
        }));
        auto* box = qobject_cast<ui::TAboutBox*>(QApplication::activeModalWidget());
        EXPECT_TRUE(previous.isNull());
        previous = box;
        ++shown;
        EXPECT_EQ(box->windowModality(), Qt::WindowModal);
        EXPECT_FALSE(form.isVisible());
        box->close();  // as the title bar's close button
        EXPECT_TRUE(QTest::qWaitFor([&] { return previous.isNull(); }));
    }
    EXPECT_EQ(shown, 2);
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(tray_->IsShown());

    ChooseFromMenu(tray_->Help1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return viewer.urls.size() == 3; }));
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(boxes_.isEmpty()) << boxes_.join('\n').toStdString();
}

TEST_F(TrayTest, WithoutANotificationAreaHideReportsItAndTheWindowStays) {
    ui::TForm1& form = *form_;
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    Click(form.SB_Hide);
    EXPECT_EQ(boxes_, QStringList{"Tarnlight|Cannot Create System Shell Notification Icon"});
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(tray_->IsShown());

    // An area that appears later takes the icon; when it goes away while
    // the window is hidden, the window comes back by itself.
    ASSERT_TRUE(StartNotificationArea());
    Click(form.SB_Hide);
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(IconShows(kIconNoConnection));
    ASSERT_TRUE(StopNotificationArea());
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.isVisible(); }));
    EXPECT_FALSE(tray_->IsShown());
    EXPECT_EQ(boxes_.size(), 1);
}

}  // namespace
}  // namespace tarnlight::test
