// The main window as the operator finds it at start and the menu column's
// navigation, with and without a connection to the simulated controller.
#include <QHelpEvent>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>
#include <vector>

#include "engine/refusal_message.h"
#include "snp/memory.h"
#include "tests/ui/window_fixture.h"
#include "ui/panel12.h"
#include "ui/radio_group.h"

namespace tarnlight::test {
namespace {

using ui::MenuKind;

// Position, visibility and enabled state of everything the menu column and
// the page area show: equal snapshots mean nothing moved or changed.
std::vector<QString> MenuSnapshot(ui::TForm1& form) {
    std::vector<QWidget*> widgets = {form.MenuSB1, form.MenuSB2, form.MenuSB3, form.SubMenuSB11};
    for (QWidget* w : form.configureButtons) widgets.push_back(w);
    for (QWidget* w : form.memoryButtons) widgets.push_back(w);
    for (QWidget* w : form.Pages()) widgets.push_back(w);
    for (QWidget* w : form.SettingsFileGroup()) widgets.push_back(w);
    std::vector<QString> snapshot;
    for (QWidget* w : widgets) {
        snapshot.push_back(QStringLiteral("%1 %2,%3 %4%5")
                               .arg(w->objectName())
                               .arg(w->x())
                               .arg(w->y())
                               .arg(w->isVisible() ? "shown" : "hidden")
                               .arg(w->isEnabled() ? "" : " disabled"));
    }
    return snapshot;
}

// The visible pages' names.
QStringList VisiblePages(ui::TForm1& form) {
    QStringList names;
    for (QWidget* page : form.Pages())
        if (page->isVisible()) names << page->objectName();
    return names;
}

QStringList VisibleMemoryButtons(ui::TForm1& form) {
    QStringList names;
    for (QToolButton* button : form.memoryButtons)
        if (button->isVisible())
            names << QStringLiteral("%1@%2").arg(button->text()).arg(button->y());
    return names;
}

bool SettingsFileGroupVisible(ui::TForm1& form) {
    for (QWidget* widget : form.SettingsFileGroup())
        if (!widget->isVisible()) return false;
    return true;
}

class MainWindowTest : public WindowTest {};

TEST_F(MainWindowTest, StartsIdleWithEveryControlInPlace) {
    ui::TForm1& form = *form_;
    EXPECT_EQ(form.windowTitle(), "Tarnlight");
    EXPECT_EQ(form.size(), QSize(631, 512));
    EXPECT_EQ(form.pos(), QPoint(200, 128));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());  // not resizable
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(form.windowIcon().isNull());

    struct Expected {
        const char* name;
        QRect rect;
        const char* text;  // nullptr: not checked
        bool enabled;
    };
    const Expected controls[] = {
        {"MenuImage", {8, 9, 90, 360}, nullptr, true},
        {"MenuSB1", {8, 9, 90, 24}, "Configure", true},
        {"MenuSB2", {8, 322, 90, 24}, "PLC Info", false},
        {"MenuSB3", {8, 345, 90, 24}, "PLC Memory", false},
        {"SubMenuSB01", {16, 40, 74, 64}, "Serial port", true},
        {"SubMenuSB02", {16, 104, 74, 64}, "PLC", true},
        {"SubMenuSB03", {16, 168, 74, 64}, "Connection", true},
        {"SubMenuSB04", {16, 232, 74, 64}, "Database", true},
        {"Bevel6", {112, 8, 369, 329}, nullptr, true},
        {"Bevel_ini", {136, 344, 104, 25}, nullptr, true},
        {"Edit_inifile", {144, 347, 66, 19}, "tarnlight", true},
        {"StaticText_ini", {212, 348, 20, 20}, ".ini", true},
        {"SB_Load", {240, 344, 65, 25}, "Load", true},
        {"SB_Save", {304, 344, 65, 25}, "Save", true},
        {"SB_AllDefault", {368, 344, 89, 25}, "All Default", true},
        {"SB_Help", {560, 8, 65, 25}, "Help", true},
        {"SB_About", {560, 32, 65, 25}, "About", true},
        {"SB_Hide", {560, 56, 65, 25}, "Hide", true},
        {"Bevel1", {8, 384, 201, 105}, nullptr, true},
        {"Bevel3", {56, 412, 145, 68}, nullptr, true},
        {"Butt_PlcRun", {16, 430, 35, 35}, "", false},
        {"Butt_PlcStop", {64, 430, 35, 35}, "", false},
        {"RadioGroup_IOstatus", {104, 416, 89, 57}, nullptr, false},
        {"Bevel7", {496, 376, 129, 115}, nullptr, true},
        {"SB_Online", {497, 377, 127, 28}, " &Connect", true},
        {"SB_Transmit_Start", {497, 404, 127, 30}, " &Start Transmision", false},
        {"SB_Transmit_Stop", {497, 433, 127, 30}, " &Halt Transmision", false},
        {"SB_Offline", {497, 462, 127, 28}, " &Disconnect", false},
        {"StatusBar1", {0, 493, 631, 19}, nullptr, true},
    };
    for (const Expected& c : controls) {
        SCOPED_TRACE(c.name);
        auto* widget = form.findChild<QWidget*>(QString::fromLatin1(c.name));
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(), c.rect);
        EXPECT_TRUE(widget->isVisible());
        EXPECT_EQ(widget->isEnabled(), c.enabled);
        if (c.text == nullptr) continue;
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            EXPECT_EQ(button->text(), QString::fromLatin1(c.text));
            // Every button carries a picture but the three main menu buttons.
            const bool menuButton = QString::fromLatin1(c.name).startsWith("MenuSB");
            EXPECT_EQ(button->icon().isNull(), menuButton);
        } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            EXPECT_EQ(edit->text(), QString::fromLatin1(c.text));
        } else if (auto* label = qobject_cast<QLabel*>(widget)) {
            EXPECT_EQ(label->text(), QString::fromLatin1(c.text));
        }
    }
    EXPECT_EQ(form.Label1->text(), "PLC Control");
    EXPECT_EQ(form.Label1->pos(), QPoint(67, 390));
    EXPECT_TRUE(form.Label1->font().bold());
    EXPECT_EQ(form.Label2->text(), "Connection Control");
    EXPECT_EQ(form.Label2->pos(), QPoint(496, 360));
    EXPECT_EQ(form.RadioGroup_IOstatus->itemIndex(), 1);  // "Disabled"
    EXPECT_EQ(form.RadioGroup_IOstatus->button(0)->text(), "Enabled");
    EXPECT_FALSE(form.Edit_inifile->focusPolicy() & Qt::TabFocus);

    // Hidden sub-menus, no page, the Configure menu open.
    EXPECT_FALSE(form.SubMenuSB11->isVisible());
    EXPECT_TRUE(VisibleMemoryButtons(form).isEmpty());
    EXPECT_TRUE(VisiblePages(form).isEmpty());
    for (QWidget* page : form.Pages()) EXPECT_EQ(page->geometry(), QRect(128, 16, 342, 305));
    EXPECT_EQ(form.ActiveMenu(), MenuKind::ConfigureMenu);

    // Status bar: nine panels, the last stretching to the window's edge.
    const int widths[] = {100, 5, 104, 96, 5, 36, 36, 5, 220};
    const char* texts[] = {"Offline", "", "", "", "", "0x00", "0x00", "", ""};
    int x = 0;
    for (int i = 0; i < ui::TStatusBar::kPanelCount; ++i) {
        SCOPED_TRACE(i);
        QLabel* panel = form.StatusBar1->panel(i);
        EXPECT_EQ(panel->x(), x);
        EXPECT_EQ(panel->width(), widths[i]);
        EXPECT_EQ(panel->text(), texts[i]);
        EXPECT_EQ(panel->frameShape() == QFrame::Panel, i != 1 && i != 4 && i != 7);
        x += widths[i] + 3;  // panels stand 3 pixels apart
    }
    EXPECT_EQ(form.StatusBar1->panel(kMessagePanel)->geometry().right(), 630);
}

// The message panel is 220 pixels wide: the program's own messages fit it
// whole at the longest addresses and ranges; a longer text is cut with "…"
// and shown whole as the panel's tooltip.
TEST_F(MainWindowTest, MessagesAreReadableInTheMessagePanel) {
    ui::TForm1& form = *form_;
    QLabel* panel = form.StatusBar1->panel(kMessagePanel);
    EXPECT_EQ(panel->font(), form.font());

    // What the controller refuses: the widest area names, four-digit
    // addresses, every error code.
    for (int type = snp::kI; type <= snp::kAQ; ++type) {
        const uint16_t last = snp::IsBitArea(type) ? 8192 : 4096;
        for (int code = 0; code < 256; ++code) {
            const auto codeByte = static_cast<uint8_t>(code);
            std::vector<snp::Refusal> refusals = {snp::Refusal::Read(type, last - 1, last),
                                                  snp::Refusal::Write(type, 8192),
                                                  snp::Refusal::RunStop(snp::kRunIoEnabled),
                                                  snp::Refusal::RunStop(snp::kStopIoDisabled)};
            for (snp::Refusal& refusal : refusals) {
                refusal.major = refusal.minor = codeByte;
                form.windowPort().SetPanelText(kMessagePanel, RefusalMessage(refusal));
                ASSERT_TRUE(ShowsWhole(kMessagePanel)) << Panel(kMessagePanel).toStdString();
            }
        }
    }

    // Connect's own checks of the pages.
    Settings pages = DefaultSettings();
    pages.areaFrom[0] = 100;
    pages.areaTo[0] = 10;
    ShowOnPages(pages);
    Click(form.SB_Online);
    EXPECT_EQ(Panel(kMessagePanel), "E23: Wrong memory range");
    EXPECT_TRUE(ShowsWhole(kMessagePanel));
    pages = DefaultSettings();
    pages.portNum = "three thousand";
    ShowOnPages(pages);
    Click(form.SB_Online);
    EXPECT_EQ(Panel(kMessagePanel), "E13: Wrong database port number");
    EXPECT_TRUE(ShowsWhole(kMessagePanel));

    // A text longer than the panel: cut at its right edge, whole in the
    // tooltip, and the panel keeps its width.
    const QString e31 = "E31: Cannot load settings from selected .ini file";
    form.windowPort().SetPanelText(kMessagePanel, e31.toStdString());
    EXPECT_EQ(Panel(kMessagePanel), e31);
    EXPECT_FALSE(ShowsWhole(kMessagePanel));
    EXPECT_TRUE(panel->text().startsWith("E31: Cannot load"));
    EXPECT_TRUE(panel->text().endsWith(QChar(0x2026)));
    EXPECT_EQ(panel->width(), 220);
    EXPECT_EQ(form.StatusBar1->width(), 631);
    const QPoint at(panel->width() / 2, panel->height() / 2);
    QHelpEvent rest(QEvent::ToolTip, at, panel->mapToGlobal(at));
    QApplication::sendEvent(panel, &rest);
    ASSERT_TRUE(QTest::qWaitFor([] { return QToolTip::isVisible(); }, 5000));
    EXPECT_EQ(QToolTip::text(), e31);
    QToolTip::hideText();

    // Every panel tells its whole text so.
    form.windowPort().SetPanelText(kLinkStatePanel, "Connecting..  3/5");
    EXPECT_EQ(form.StatusBar1->panel(kLinkStatePanel)->toolTip(), "Connecting..  3/5");
    EXPECT_TRUE(ShowsWhole(kLinkStatePanel));
}

// Hovered and pressed, the flat sub-menu buttons still let the menu picture
// show through, and their white captions stay readable on it.
TEST_F(MainWindowTest, SubMenuButtonsKeepTheirCaptionsOnHoverAndPress) {
    ui::TForm1& form = *form_;
    ASSERT_NO_FATAL_FAILURE(StartSimulator());
    ShowOnPages(SimulatorPages({false, true, false, false, false, false}));
    ASSERT_TRUE(ConnectOnline());

    // The button as the window shows it, with the menu picture under it.
    const auto look = [&](QToolButton* button) {
        return form.grab(button->geometry()).toImage().convertToFormat(QImage::Format_RGB32);
    };
    // Caption pixels: near white, where the menu picture has none.
    const auto captionPixels = [](const QImage& image) {
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qGray(image.pixel(x, y)) > 225) ++count;
        return count;
    };
    const auto check = [&](QToolButton* button) {
        SCOPED_TRACE(button->text().toStdString());
        const QImage normal = look(button);
        QTest::mouseMove(button, button->rect().center());
        ASSERT_TRUE(QTest::qWaitFor([&] { return button->underMouse(); }));
        const QImage hovered = look(button);
        QTest::mousePress(button, Qt::LeftButton, {}, button->rect().center());
        ASSERT_TRUE(button->isDown());
        const QImage pressed = look(button);
        QTest::mouseRelease(button, Qt::LeftButton, {}, button->rect().center());
        QTest::mouseMove(&form, QPoint(300, 480));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !button->underMouse(); }));
        // Hovering and pressing show, and each differs from the other.
        EXPECT_NE(hovered, normal);
        EXPECT_NE(pressed, hovered);
        const int caption = captionPixels(normal);
        EXPECT_GT(caption, 10);
        for (const QImage* state : {&hovered, &pressed}) {
            // The background stays a dark blue (a corner inside the button)
            // and the white caption stands out of it as before.
            const QColor corner = state->pixelColor(4, state->height() - 4);
            EXPECT_LT(corner.lightness(), 140) << corner.name().toStdString();
            EXPECT_GT(corner.blue(), corner.red());
            EXPECT_NEAR(captionPixels(*state), caption, caption / 3);
        }
    };
    for (QToolButton* button : form.configureButtons) check(button);
    Click(form.MenuSB2);
    check(form.SubMenuSB11);
    Click(form.MenuSB3);
    check(form.memoryButtons[1]);  // (%M)
    check(form.memoryButtons[6]);  // Edit
}

TEST_F(MainWindowTest, OnlyTheConfigureMenuWorksBeforeAConnect) {
    ui::TForm1& form = *form_;
    const auto start = MenuSnapshot(form);
    QTest::mouseClick(form.MenuSB2, Qt::LeftButton);  // disabled
    QTest::mouseClick(form.MenuSB3, Qt::LeftButton);
    EXPECT_EQ(MenuSnapshot(form), start);
    EXPECT_EQ(form.ActiveMenu(), MenuKind::ConfigureMenu);

    // Each Configure button shows its page and only that one.
    const char* const pages[] = {"Frame01", "Frame02", "Frame03", "Frame04"};
    for (int i = 0; i < 4; ++i) {
        Click(form.configureButtons[i]);
        EXPECT_EQ(VisiblePages(form), QStringList{pages[i]});
    }
    // The active menu's button again: nothing moves, nothing changes.
    const auto before = MenuSnapshot(form);
    Click(form.MenuSB1);
    EXPECT_EQ(MenuSnapshot(form), before);
}

TEST_F(MainWindowTest, MenusFollowTheAreasOfTheLastConnect) {
    ASSERT_NO_FATAL_FAILURE(StartSimulator());
    ui::TForm1& form = *form_;
    ShowOnPages(SimulatorPages({false, false, false, false, true, false}));  // only %R
    Click(form.configureButtons[3]);                                         // Database page
    ASSERT_TRUE(ConnectOnline());
    EXPECT_TRUE(form.MenuSB2->isEnabled());
    EXPECT_TRUE(form.MenuSB3->isEnabled());

    // PLC Info keeps the Database page in view and hides the settings file box.
    Click(form.MenuSB2);
    EXPECT_EQ(form.ActiveMenu(), MenuKind::PlcInfoMenu);
    EXPECT_EQ(VisiblePages(form), QStringList{"Frame04"});
    EXPECT_FALSE(SettingsFileGroupVisible(form));
    EXPECT_EQ(form.MenuSB2->y(), 32);
    EXPECT_EQ(form.MenuSB3->y(), 345);
    EXPECT_TRUE(form.SubMenuSB11->isVisible());
    for (QToolButton* button : form.configureButtons) EXPECT_FALSE(button->isVisible());
    Click(form.SubMenuSB11);
    EXPECT_EQ(VisiblePages(form), QStringList{"Frame11"});

    // PLC Memory: only the %R button, at 88, and Edit at 120.
    Click(form.MenuSB3);
    EXPECT_EQ(form.ActiveMenu(), MenuKind::PlcMemoryMenu);
    EXPECT_EQ(form.MenuSB2->y(), 32);
    EXPECT_EQ(form.MenuSB3->y(), 55);
    EXPECT_FALSE(form.SubMenuSB11->isVisible());
    EXPECT_EQ(VisibleMemoryButtons(form), (QStringList{"(%R)@88", "Edit@120"}));
    const auto memoryMenu = MenuSnapshot(form);
    Click(form.MenuSB3);
    EXPECT_EQ(MenuSnapshot(form), memoryMenu);

    // A sub-menu button hides the page of another menu.
    EXPECT_EQ(VisiblePages(form), QStringList{"Frame11"});
    Click(form.memoryButtons[4]);
    EXPECT_EQ(VisiblePages(form), QStringList{"Frame2b2"});
    Click(form.memoryButtons[6]);
    EXPECT_EQ(VisiblePages(form), QStringList{"Frame2c1"});

    // Back to Configure: the buttons return, the page stays.
    Click(form.MenuSB1);
    EXPECT_EQ(form.MenuSB2->y(), 322);
    EXPECT_EQ(form.MenuSB3->y(), 345);
    EXPECT_TRUE(SettingsFileGroupVisible(form));
    EXPECT_TRUE(VisibleMemoryButtons(form).isEmpty());
    EXPECT_EQ(VisiblePages(form), QStringList{"Frame2c1"});

    // After Disconnect both menus stay usable.
    ASSERT_TRUE(DisconnectAndWait());
    EXPECT_TRUE(form.MenuSB2->isEnabled());
    EXPECT_TRUE(form.MenuSB3->isEnabled());
    Click(form.MenuSB2);
    Click(form.SubMenuSB11);
    EXPECT_EQ(VisiblePages(form), QStringList{"Frame11"});

    // No area read: PLC Memory shows only Edit, at 96; Start Transmision
    // stays disabled.
    ShowOnPages(SimulatorPages({false, false, false, false, false, false}));
    ASSERT_TRUE(ConnectOnline());
    EXPECT_FALSE(form.SB_Transmit_Start->isEnabled());
    Click(form.MenuSB3);
    EXPECT_EQ(VisibleMemoryButtons(form), QStringList{"Edit@96"});
    ASSERT_TRUE(DisconnectAndWait());

    // A Connect made with the memory menu open shows its new areas at once.
    ShowOnPages(SimulatorPages({true, false, true, false, false, true}));
    ASSERT_TRUE(ConnectOnline());
    EXPECT_EQ(VisibleMemoryButtons(form),
              (QStringList{"(%I)@88", "(%Q)@112", "(%AQ)@136", "Edit@168"}));
}

TEST_F(MainWindowTest, AltLettersPressOnlyEnabledConnectionButtons) {
    ASSERT_NO_FATAL_FAILURE(StartSimulator());
    ui::TForm1& form = *form_;
    ShowOnPages(SimulatorPages({true, false, false, false, false, false}));
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));

    // A pressed accelerator clicks its button a moment later (the button
    // shows itself pressed first): wait for the effects.
    const auto enabled = [](QWidget* button) {
        return QTest::qWaitFor([button] { return button->isEnabled(); }, 20000);
    };
    QTest::keyClick(&form, Qt::Key_S, Qt::AltModifier);  // disabled: no effect
    QTest::keyClick(&form, Qt::Key_D, Qt::AltModifier);
    QTest::keyClick(&form, Qt::Key_C, Qt::AltModifier);
    ASSERT_TRUE(WaitForPanel(kLinkStatePanel, "Online"));
    EXPECT_FALSE(form.SB_Transmit_Stop->isEnabled());  // Alt+S above did nothing
    EXPECT_TRUE(form.SB_Offline->isEnabled());         // nor did Alt+D

    QTest::keyClick(&form, Qt::Key_S, Qt::AltModifier);
    ASSERT_TRUE(enabled(form.SB_Transmit_Stop));
    EXPECT_TRUE(QTest::qWaitFor([&] { return Panel(kCycleCountPanel) != "0x00"; }, 20000));
    QTest::keyClick(&form, Qt::Key_H, Qt::AltModifier);
    ASSERT_TRUE(enabled(form.SB_Transmit_Start));
    EXPECT_FALSE(form.SB_Transmit_Stop->isEnabled());
    QTest::keyClick(&form, Qt::Key_D, Qt::AltModifier);
    EXPECT_TRUE(WaitForPanel(kLinkStatePanel, "Offline"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.SB_Online->isEnabled(); }));
}

// The Statistics page below Info: the link's figures while it is shown, its
// Reset, and the last figures kept after Disconnect until the next Connect.
TEST_F(MainWindowTest, StatisticsPageShowsTheLinksFiguresUntilTheNextConnect) {
    ASSERT_NO_FATAL_FAILURE(StartSimulator());
    ui::TForm1& form = *form_;
    ShowOnPages(SimulatorPages({false, false, false, false, true, false}));
    ASSERT_TRUE(ConnectOnline());
    Click(form.MenuSB2);
    QToolButton& info = *form.SubMenuSB11;
    QToolButton& button = *form.SubMenuSB12;
    EXPECT_EQ(button.text(), "Statistics");
    EXPECT_EQ(button.x(), info.x());
    EXPECT_GE(button.y(), info.y() + info.height());
    EXPECT_EQ(button.styleSheet(), info.styleSheet());
    EXPECT_EQ(button.iconSize(), info.iconSize());
    Click(&button);
    EXPECT_EQ(VisiblePages(form), QStringList{"Frame12"});

    ui::TFrame12& page = *form.Frame12;
    const auto shown = [&](const char* name) { return page.value(name)->text(); };
    EXPECT_EQ(shown("link_state"), "Online");
    EXPECT_EQ(shown("last_read_at"), "-");  // halted: nothing read yet
    EXPECT_EQ(page.refreshTimer()->interval(), 500);
    Click(form.SB_Transmit_Start);
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return shown("cycles").toInt() >= 3 && shown("last_read_at") != "-" &&
               shown("cycle_ms_mean") != "-";
    }));
    // Each area read shows its period and age; the others show nothing.
    EXPECT_EQ(shown("scan_ms_R"), "0");
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown("age_R") != "-"; }));
    EXPECT_GE(shown("age_R").toDouble(), 0.0);
    EXPECT_EQ(shown("scan_ms_I"), "-");
    EXPECT_EQ(shown("age_AQ"), "-");

    // A bad check code: counted, the link back, the loss the last message.
    sim_->CorruptBcc(1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown("bad_bcc") == "1"; }));
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown("links_lost") == "1"; }));
    EXPECT_EQ(shown("last_message"), "E21: Lost connection with PLC");
    Click(page.Butt_Reset);
    EXPECT_EQ(shown("bad_bcc"), "0");
    EXPECT_EQ(shown("links_lost"), "0");

    // Disconnect keeps the figures; the next Connect starts from zero.
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown("cycles").toInt() >= 1; }));
    ASSERT_TRUE(DisconnectAndWait());
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown("link_state") == "Offline"; }));
    EXPECT_NE(shown("cycles"), "0");
    EXPECT_NE(shown("last_read_at"), "-");
    EXPECT_EQ(shown("tls"), "-");  // no database
    ASSERT_TRUE(ConnectOnline());
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return shown("cycles") == "0" && shown("last_message").isEmpty(); }));
    // Not shown, not read.
    Click(&info);
    EXPECT_FALSE(page.refreshTimer()->isActive());
}

}  // namespace
}  // namespace tarnlight::test
