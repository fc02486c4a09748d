#pragma once
// The real main window on Qt's offscreen platform, in a private settings
// directory, with its message boxes answered by the test (each box is
// recorded as "caption|text" and closed at once). StartSimulator publishes a
// simulated controller as COM1, so Connect opens "COM1" as the program does.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QStringList>
#include <QTest>
#include <QToolButton>
#include <functional>
#include <memory>

#include "apps/window_driver.h"
#include "engine/engine.h"
#include "sim/plc_simulator.h"
#include "tests/support/temp_config_home.h"
#include "ui/qt_window_port.h"
#include "ui/settings_pages.h"
#include "ui/status_bar.h"
#include "ui/unit1.h"

namespace tarnlight::test {

// Runs action whenever target receives an event of the given type, for as
// long as the watch lives.
class EventWatch : public QObject {
  public:
    EventWatch(QObject* target, QEvent::Type type, std::function<void()> action)
        : type_(type), action_(std::move(action)) {
        target->installEventFilter(this);
    }

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == type_) action_();
        return false;
    }

  private:
    QEvent::Type type_;
    std::function<void()> action_;
};

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(home_.ok());
        form_ = std::make_unique<ui::TForm1>();
        form_->SetMessageBoxHook([this](const QString& text, const QString& caption) {
            boxes_.append(caption + QStringLiteral("|") + text);
        });
        form_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
    }

    void TearDown() override {
        if (form_) form_->close();
        form_.reset();
        sim_.reset();
    }

    // A simulator answering as "TARN7" at full speed, linked as COM1.
    void StartSimulator() {
        sim::SimConfig config;
        config.cpuId = "TARN7";
        config.t1 = 0;
        config.ackWaitMs = 500;
        sim_ = tools::StartSimulatorAsCom1(config);
        ASSERT_TRUE(sim_ != nullptr);
    }

    // Settings for the simulator, with the given areas read.
    static Settings SimulatorPages(std::array<bool, kAreaCount> areas) {
        Settings settings = tools::SimulatorSettings("TARN7");
        settings.areaEnabled = areas;
        settings.lostconn = kPolicyGiveUp;
        return settings;
    }
    void ShowOnPages(const Settings& settings) { ui::ShowSettings(form_->configPages(), settings); }

    static void Click(QAbstractButton* button) {
        ASSERT_TRUE(button->isVisible() && button->isEnabled())
            << button->objectName().toStdString();
        QTest::mouseClick(button, Qt::LeftButton);
    }

    QString Panel(int index) const { return form_->StatusBar1->panelText(index); }
    // Whether the panel shows its text whole: measured in the panel's font
    // against the room inside its bevel, and not cut.
    bool ShowsWhole(int index) const {
        const QLabel* panel = form_->StatusBar1->panel(index);
        const int room = panel->contentsRect().width() - panel->indent() - 2 * panel->margin();
        return QFontMetrics(panel->font()).horizontalAdvance(Panel(index)) <= room &&
               panel->text() == Panel(index);
    }
    bool WaitForPanel(int index, const QString& text, int timeoutMs = 20000) {
        return QTest::qWaitFor([&] { return Panel(index) == text; }, timeoutMs);
    }

    // Connect with the pages as they stand and wait for "Online".
    bool ConnectOnline() {
        QTest::mouseClick(form_->SB_Online, Qt::LeftButton);
        return WaitForPanel(kLinkStatePanel, QStringLiteral("Online"));
    }
    bool DisconnectAndWait() {
        QTest::mouseClick(form_->SB_Offline, Qt::LeftButton);
        return QTest::qWaitFor([&] { return !form_->engine().IsWorkerRunning(); }, 20000) &&
               WaitForPanel(kLinkStatePanel, QStringLiteral("Offline"));
    }

    TempConfigHome home_{"tl-ui"};
    std::unique_ptr<sim::PlcSimulator> sim_;
    std::unique_ptr<ui::TForm1> form_;
    QStringList boxes_;
};

}  // namespace tarnlight::test
