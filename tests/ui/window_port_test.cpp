// The engine's view of the window: a worker far faster than the window never
// builds a queue, and the window still ends on the newest state, in the
// order the calls were made.
#include <QComboBox>
#include <QToolButton>
#include <chrono>
#include <future>
#include <thread>

#include "tests/ui/window_fixture.h"
#include "ui/panel2a.h"
#include "ui/panel2b.h"
#include "ui/panel2c.h"
#include "ui/panel2d.h"

namespace tarnlight::test {
namespace {

using namespace std::chrono_literals;

class WindowPortTest : public WindowTest {
  protected:
    ui::QtWindowPort& port() { return form_->windowPort(); }

    // Runs work on another thread while this (the user-interface) thread is
    // blocked; fails instead of hanging when work waits for this thread.
    static void RunBlocked(const std::function<void()>& work) {
        auto done = std::async(std::launch::async, work);
        ASSERT_EQ(done.wait_for(20s), std::future_status::ready) << "the worker waited for the UI";
    }
};

TEST_F(WindowPortTest, ABlockedWindowEndsOnTheNewestValuesWithoutAQueue) {
    LinkConfig config;
    config.areaFrom = {1, 1, 1, 1, 1, 1};
    config.areaTo = {48, 48, 48, 16, 16, 16};
    port().SetUpMemoryGrids(config);  // on this thread: at once
    EXPECT_EQ(form_->Frame2b[1]->RowCount(), 17);
    const auto before = port().stats();

    constexpr int kRounds = 20000;
    RunBlocked([&] {
        for (int i = 1; i <= kRounds; ++i) {
            port().ShowWordArea(4, 1, 16, std::vector<uint16_t>(16, static_cast<uint16_t>(i)));
            port().ShowBitArea(1, 1, 48, std::vector<uint8_t>(48, static_cast<uint8_t>(i & 1)));
            port().SetPanelText(kCycleCountPanel, "cycle " + std::to_string(i));
            port().SetEnabled(Control::SB_Transmit_Start, i % 2 == 0);
        }
    });
    const auto blocked = port().stats();
    EXPECT_EQ(blocked.calls - before.calls, 4u * kRounds);
    EXPECT_EQ(blocked.wakeUps - before.wakeUps, 1u);  // one event waiting, not 80000
    EXPECT_EQ(port().pendingCount(), 4);              // one value per target

    ASSERT_TRUE(QTest::qWaitFor([&] { return port().pendingCount() == 0; }, 5000));
    EXPECT_EQ(port().stats().applied - blocked.applied, 4u);
    EXPECT_EQ(form_->Frame2b[1]->Cell(1, 1), "  20000");
    EXPECT_EQ(form_->Frame2b[1]->Cell(3, 16), "  0x4E20");
    EXPECT_EQ(form_->Frame2a[1]->Cell(2, 1), "  0");  // address 1, last value 0
    EXPECT_EQ(Panel(kCycleCountPanel), "cycle 20000");
    EXPECT_TRUE(form_->SB_Transmit_Start->isEnabled());
}

TEST_F(WindowPortTest, CallsOnTheWindowThreadComeAfterWhatTheWorkerSentBefore) {
    RunBlocked([&] {
        port().SetPanelText(kMessagePanel, "E21: Lost connection with PLC");
        port().SetEnabled(Control::MenuSB2, true);
        port().SetPanelText(kLinkStatePanel, "Offline");
    });
    // The window's own call: the worker's older values first, then this one.
    port().SetPanelText(kMessagePanel, "");
    EXPECT_EQ(port().pendingCount(), 0);
    EXPECT_EQ(Panel(kMessagePanel), "");
    EXPECT_TRUE(form_->MenuSB2->isEnabled());
    QTest::qWait(3 * static_cast<int>(ui::QtWindowPort::kMinFlushInterval.count()));
    EXPECT_EQ(Panel(kMessagePanel), "");
}

TEST_F(WindowPortTest, AMessageBoxFromAnotherThreadDoesNotWaitForTheOperator) {
    RunBlocked([&] { port().ShowMessageBox("text from the worker", "Caption"); });
    EXPECT_TRUE(boxes_.isEmpty());  // not shown yet: this thread was busy
    EXPECT_TRUE(QTest::qWaitFor([&] { return !boxes_.isEmpty(); }, 5000));
    EXPECT_EQ(boxes_, QStringList{"Caption|text from the worker"});
}

TEST_F(WindowPortTest, TagChangesTheWindowHadNoTimeForAreMergedNotLost) {
    LinkConfig config;
    config.areaEnabled = {false, false, false, false, true, false};
    config.areaFrom = {1, 1, 1, 1, 1, 1};
    config.areaTo = {48, 48, 48, 16, 16, 16};
    config.tags = {{"level", 4, 1, TagType::Int}, {"count", 4, 2, TagType::Int}};
    form_->MenuSB3->setEnabled(true);
    Click(form_->MenuSB3);
    port().LayOutMemoryMenu(config.areaEnabled);
    port().SetUpMemoryGrids(config);
    // The Tags button comes after the areas, Edit below it.
    EXPECT_TRUE(form_->memoryButtons[7]->isVisible());
    EXPECT_EQ(form_->memoryButtons[7]->text(), "Tags");
    EXPECT_EQ(form_->memoryButtons[7]->y(), 88 + 24);
    EXPECT_EQ(form_->memoryButtons[6]->y(), 88 + 2 * 24 + 8);
    EXPECT_EQ(form_->Frame2c1->ComboBox_Tag->itemText(2), "count");
    Click(form_->memoryButtons[7]);
    EXPECT_TRUE(form_->Frame2d1->isVisible());

    // Each pass sends only its changes: both reach the window.
    RunBlocked([&] {
        port().ShowTagValues({{0, 7, 7.0}});
        port().ShowTagValues({{1, 8, 8.0}});
        port().ShowTagValues({{0, 9, 9.0}});
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return port().pendingCount() == 0; }, 5000));
    EXPECT_EQ(form_->Frame2d1->Cell(3, 1), "  9");
    EXPECT_EQ(form_->Frame2d1->Cell(3, 2), "  8");

    // A link without tags hides the button; Edit moves back up.
    config.tags.clear();
    port().SetUpMemoryGrids(config);
    EXPECT_FALSE(form_->memoryButtons[7]->isVisible());
    EXPECT_EQ(form_->memoryButtons[6]->y(), 88 + 24 + 8);
}

}  // namespace
}  // namespace tarnlight::test
