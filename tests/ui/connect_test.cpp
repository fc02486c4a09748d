// The whole window against the simulated controller and the private MariaDB
// server of the test run: what an operator does in a session, the progress
// dialog of a long table build, and closing the window in the middle.
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <optional>

#include "settings/settings_directory.h"
#include "settings/settings_file.h"
#include "tests/support/private_db.h"
#include "tests/ui/window_fixture.h"
#include "ui/build_progress.h"
#include "ui/panel01.h"
#include "ui/panel11.h"
#include "ui/panel2a.h"
#include "ui/panel2b.h"
#include "ui/panel2c.h"
#include "ui/radio_group.h"
#include "ui/spin_edit.h"

namespace tarnlight::test {
namespace {

class ConnectTest : public WindowTest {
  protected:
    void SetUp() override {
        if (!PrivateDbAvailable()) GTEST_SKIP() << "no test database server";
        WindowTest::SetUp();
        ASSERT_NO_FATAL_FAILURE(StartSimulator());
        params_ = PrivateDbParams();
        dbName_ = UniqueDbName("window");
        other_ = std::make_unique<OtherClient>(params_);
        ASSERT_TRUE(other_->ok()) << other_->Error();
    }
    void TearDown() override {
        WindowTest::TearDown();
        if (other_) other_->Exec("DROP DATABASE IF EXISTS " + dbName_);
    }

    Settings DatabasePages(std::array<bool, kAreaCount> areas) const {
        Settings settings = SimulatorPages(areas);
        settings.dbEnabled = true;
        settings.addressIP = params_.host;
        settings.portNum = std::to_string(params_.port);
        settings.username = params_.user;
        settings.dbPassword = params_.password;
        settings.dbName = dbName_;
        return settings;
    }

    // Values another program reads from the mirror.
    long Mirrored(const std::string& table, int id) {
        return other_->Number("SELECT value FROM " + dbName_ + "." + table +
                              " WHERE id=" + std::to_string(id));
    }
    bool WaitForDb(const std::function<bool()>& done) { return QTest::qWaitFor(done, 20000); }

    static void TypeInto(QLineEdit* edit, const QString& text) {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }
    // Clicks a radio button on its indicator.
    static void ClickRadio(QRadioButton* button) {
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
    }

    db::ConnectionParams params_;
    std::string dbName_;
    std::unique_ptr<OtherClient> other_;
};

TEST_F(ConnectTest, AnOperatorsSessionFromLoadToClosingWhileConnected) {
    ui::TForm1& form = *form_;
    sim_->SetBit(sim::kAreaM, 3, true);
    sim_->SetWord(sim::kAreaR, 2, 0xFFFF);
    sim_->SetWord(sim::kAreaR, 3, 255);

    // Load a settings file naming the simulator and the database.
    Settings file = DatabasePages({false, true, false, false, true, false});
    file.areaFrom[1] = 1;
    file.areaTo[1] = 20;
    file.areaTo[4] = 16;
    ASSERT_EQ(SaveSettings(file, SettingsFilePath("session"), nullptr), SaveResult::Ok);
    TypeInto(form.Edit_inifile, "session");
    Click(form.SB_Load);
    ASSERT_TRUE(boxes_.isEmpty()) << boxes_.join('\n').toStdString();

    // Connect: online, the controller's identity, the CPU ID in the mirror.
    ASSERT_TRUE(ConnectOnline()) << Panel(kMessagePanel).toStdString();
    EXPECT_FALSE(form.SB_Online->isEnabled());
    EXPECT_TRUE(form.SB_Offline->isEnabled());
    EXPECT_TRUE(form.SB_Transmit_Start->isEnabled());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return form.Frame11->label(InfoLabel::LabelCPU_ID)->text() == "TARN7"; }, 20000));
    EXPECT_TRUE(WaitForDb([&] {
        return other_->Scalar("SELECT cpu_id FROM " + dbName_ + ".info WHERE id=1") == "TARN7";
    }));

    // Start Transmision: the grids and the mirror show the controller's values.
    Click(form.SB_Transmit_Start);
    EXPECT_TRUE(form.SB_Transmit_Stop->isEnabled());
    ui::TFrame2b& registers = *form.Frame2b[1];
    ui::TFrame2a& internals = *form.Frame2a[1];
    ASSERT_TRUE(QTest::qWaitFor([&] { return registers.Cell(1, 2) == "  -1"; }, 20000));
    EXPECT_EQ(registers.Cell(2, 2), "  65535");
    EXPECT_EQ(registers.Cell(3, 3), "  0x00FF");
    EXPECT_EQ(internals.Cell(4, 1), "  1");  // %M3
    EXPECT_EQ(internals.Cell(5, 1), "  0");  // %M4
    EXPECT_TRUE(WaitForDb([&] { return Mirrored("plc_r", 2) == -1 && Mirrored("plc_m", 3) == 1; }));

    // The Edit page writes a register.
    Click(form.MenuSB3);
    Click(form.memoryButtons[6]);
    ui::TFrame2c& edit = *form.Frame2c1;
    ClickRadio(edit.RadioGroup_MemType->button(4));  // %R
    EXPECT_TRUE(edit.GroupBox1->isVisible());
    TypeInto(edit.CSpinEdit_Adres->editor(), "5");
    TypeInto(edit.CSpinEdit1->editor(), "4242");
    Click(edit.Butt_UpdateMem);
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim_->GetWord(sim::kAreaR, 5) == 4242; }, 20000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return edit.Butt_UpdateMem->isEnabled(); }, 20000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return registers.Cell(1, 5) == "  4242"; }, 20000));

    // Stop with the outputs disabled, then Run again.
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.Butt_PlcStop->isEnabled(); }, 20000));
    EXPECT_FALSE(form.Butt_PlcRun->isEnabled());
    EXPECT_EQ(form.RadioGroup_IOstatus->itemIndex(), 1);  // "Disabled"
    Click(form.Butt_PlcStop);
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim_->plcState() == 2; }, 20000));
    EXPECT_TRUE(WaitForPanel(kPlcStatePanel, "Stop, I/O Disabled"));
    EXPECT_TRUE(WaitForPanel(kSweepPanel, "PLC Stopped"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.Butt_PlcRun->isEnabled(); }, 20000));
    EXPECT_FALSE(form.RadioGroup_IOstatus->isEnabled());
    EXPECT_EQ(form.RadioGroup_IOstatus->itemIndex(), 0);  // the other stop state next
    Click(form.Butt_PlcRun);
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim_->plcState() == 0; }, 20000));
    EXPECT_TRUE(WaitForPanel(kPlcStatePanel, "Run, I/O Enabled"));

    // Disconnect: offline, the mirror dropped as configured.
    ASSERT_TRUE(DisconnectAndWait());
    EXPECT_TRUE(QTest::qWaitFor([&] { return form.SB_Online->isEnabled(); }, 20000));
    EXPECT_FALSE(form.SB_Offline->isEnabled());
    EXPECT_FALSE(other_->DatabaseExists(dbName_));
    EXPECT_EQ(registers.Cell(1, 5), "  4242");  // the last values stay

    // Apply while offline: Apply is disabled and stays so, nothing is sent.
    TypeInto(edit.CSpinEdit1->editor(), "777");
    Click(edit.Butt_UpdateMem);
    EXPECT_FALSE(edit.Butt_UpdateMem->isEnabled());
    const uint64_t writes = sim_->stats().writes;
    QCoreApplication::processEvents();
    EXPECT_FALSE(edit.Butt_UpdateMem->isEnabled());
    // Connect: the write goes out at the first chance after the attach, in
    // the halted cycle, and then Apply is enabled again.
    ASSERT_TRUE(ConnectOnline());
    EXPECT_TRUE(QTest::qWaitFor([&] { return sim_->GetWord(sim::kAreaR, 5) == 777; }, 20000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return edit.Butt_UpdateMem->isEnabled(); }, 20000));
    EXPECT_EQ(sim_->stats().writes, writes + 1);
    EXPECT_TRUE(form.SB_Transmit_Start->isEnabled());  // transmission never started

    // Closing while connected stops the worker before the window goes; the
    // window is off the screen while the worker still finishes.
    Click(form.SB_Transmit_Start);
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim_->stats().mailboxRequests > 50; }, 20000));
    std::optional<bool> workerRanAtHide;
    const EventWatch hidden(&form, QEvent::Hide, [&] {
        if (!workerRanAtHide) workerRanAtHide = form.engine().IsWorkerRunning();
    });
    EXPECT_TRUE(form.close());
    EXPECT_EQ(workerRanAtHide, std::optional<bool>(true));
    EXPECT_FALSE(form.engine().IsWorkerRunning());
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(other_->DatabaseExists(dbName_));
    EXPECT_TRUE(boxes_.isEmpty()) << boxes_.join('\n').toStdString();
}

// The largest ranges: building the mirror takes seconds, long enough to act
// while the progress dialog is up.
class BuildProgressTest : public ConnectTest {
  protected:
    void SetUp() override {
        ConnectTest::SetUp();
        if (IsSkipped()) return;
        form_->SetBuildProgressDelay(0);  // up however fast the build
        ShowOnPages(LargePages());
    }
    void TearDown() override {
        if (own_) own_->Continue();  // a test that failed while it was frozen
        ConnectTest::TearDown();
    }
    Settings LargePages() const {
        Settings pages = DatabasePages({true, true, true, true, true, true});
        pages.areaTo = {8192, 8192, 8192, 4096, 4096, 4096};
        return pages;
    }
    // A server instance of the test's own, for a test that freezes it.
    void UseOwnServer(const std::string& name) {
        own_ = std::make_unique<OwnServer>(name);
        ASSERT_TRUE(own_->ok()) << "see " << own_->dir() << "/error.log";
        params_ = own_->params();
        other_ = std::make_unique<OtherClient>(params_);
        ASSERT_TRUE(other_->ok()) << other_->Error();
        ShowOnPages(LargePages());
    }

    // Runs action once the dialog shows some progress.
    void WhenTheDialogShowsProgress(std::function<void(ui::TBuildProgress&)> action) {
        auto* timer = new QTimer(form_.get());
        QObject::connect(timer, &QTimer::timeout, [timer, action] {
            auto* dialog = qobject_cast<ui::TBuildProgress*>(QApplication::activeModalWidget());
            if (dialog == nullptr || dialog->value() < 1) return;
            timer->stop();
            action(*dialog);
        });
        timer->start(5);
    }
    bool WaitForConnectEnd() {
        return QTest::qWaitFor([&] { return !form_->connecting(); }, 20000);
    }

    // The database connection of the cancelled Connect has gone away.
    bool NoConnectionTo(const std::string& database) {
        return QTest::qWaitFor(
            [&] {
                return other_->Number(
                           "SELECT COUNT(*) FROM information_schema.PROCESSLIST "
                           "WHERE DB='" +
                           database + "'") == 0;
            },
            10000);
    }

    void ExpectIdleAfterCancel(const QString& message = QStringLiteral("W14: Connect cancelled")) {
        EXPECT_EQ(Panel(kMessagePanel), message);
        EXPECT_EQ(Panel(kLinkStatePanel), "Offline");
        EXPECT_FALSE(form_->connecting());
        EXPECT_FALSE(form_->engine().IsWorkerRunning());
        EXPECT_TRUE(form_->SB_Online->isEnabled());
        EXPECT_FALSE(form_->SB_Offline->isEnabled());
        EXPECT_FALSE(form_->MenuSB2->isEnabled());  // the port was never opened
        EXPECT_EQ(sim_->stats().attaches, 0u);
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        EXPECT_TRUE(NoConnectionTo(dbName_));
    }

    std::unique_ptr<OwnServer> own_;
};

TEST_F(BuildProgressTest, CancelEndsConnectWithTheWindowIdle) {
    int shownPercent = -1;
    WhenTheDialogShowsProgress([&](ui::TBuildProgress& dialog) {
        shownPercent = dialog.value();
        EXPECT_TRUE(dialog.isModal());
        QTest::mouseClick(dialog.Butt_Cancel, Qt::LeftButton);
    });
    QTest::mouseClick(form_->SB_Online, Qt::LeftButton);
    ASSERT_TRUE(WaitForConnectEnd());
    EXPECT_GE(shownPercent, 1);
    EXPECT_LT(shownPercent, 100);
    ExpectIdleAfterCancel();
    EXPECT_TRUE(ShowsWhole(kMessagePanel));

    // The window is usable again: the next Connect with small ranges works.
    Settings small = DatabasePages({false, false, false, false, true, false});
    ShowOnPages(small);
    ASSERT_TRUE(ConnectOnline());
    ASSERT_TRUE(DisconnectAndWait());
}

// A server that stops answering in the middle of the build holds neither the
// window nor the operator's Cancel: the window paints and takes clicks, Cancel
// ends Connect within about a second, and a command clicked meanwhile runs on
// its own, never inside Connect, with its message kept.
TEST_F(BuildProgressTest, AFrozenServerHoldsNeitherTheWindowNorCancel) {
    UseOwnServer("window-frozen");
    ui::TBuildProgress* frozenAt = nullptr;
    WhenTheDialogShowsProgress([&](ui::TBuildProgress& dialog) {
        EXPECT_TRUE(own_->Freeze());
        frozenAt = &dialog;
    });
    QTest::mouseClick(form_->SB_Online, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return frozenAt != nullptr; }, 20000));
    ui::TBuildProgress& dialog = *frozenAt;

    // Painted on request while the build waits for the server.
    int paints = 0;
    const EventWatch painted(&dialog, QEvent::Paint, [&] { ++paints; });
    dialog.update();
    EXPECT_TRUE(QTest::qWaitFor([&] { return paints > 0; }, 5000));
    EXPECT_TRUE(form_->connecting());

    int dialogsShown = 0;
    const EventWatch shown(form_.get(), QEvent::ChildAdded, [&] { ++dialogsShown; });
    QTest::mouseClick(dialog.Butt_Cancel, Qt::LeftButton);
    EXPECT_EQ(Panel(kMessagePanel), "W14: Connect cancelled");
    // Load while the frozen statement is still being cut short.
    QElapsedTimer sinceCancel;
    sinceCancel.start();
    TypeInto(form_->Edit_inifile, "no-such-file");
    Click(form_->SB_Load);
    EXPECT_TRUE(form_->connecting());
    EXPECT_EQ(boxes_, QStringList{"Error|Cannot load settings from selected .ini file"});
    ASSERT_TRUE(WaitForConnectEnd());
    // The client's read time-out is ten seconds; the cut comes after one.
    EXPECT_LT(sinceCancel.elapsed(), 5000);
    EXPECT_EQ(dialogsShown, 0);
    EXPECT_TRUE(form_->findChildren<ui::TBuildProgress*>().isEmpty() ||
                !form_->findChild<ui::TBuildProgress*>()->isVisible());

    ASSERT_TRUE(own_->Continue());
    ExpectIdleAfterCancel(QStringLiteral("E31: Cannot load settings from selected .ini file"));
    EXPECT_EQ(boxes_.size(), 1);
}

TEST_F(BuildProgressTest, ThePortsErrorBoxComesWithTheProgressDialogGone) {
    // COM2 leads to a device that is not there.
    const std::string devices = SettingsDirectory() + "devices";
    std::filesystem::create_directories(devices);
    std::filesystem::create_symlink(devices + "/no-such-adapter", devices + "/COM2");
    form_->Frame01->ComboBoxPort->setCurrentIndex(1);

    QString label;
    WhenTheDialogShowsProgress([&](ui::TBuildProgress& dialog) { label = dialog.labelText(); });
    bool progressWithBox = false;
    form_->SetMessageBoxHook([&](const QString& text, const QString& caption) {
        boxes_.append(caption + QStringLiteral("|") + text);
        for (const ui::TBuildProgress* dialog : form_->findChildren<ui::TBuildProgress*>())
            progressWithBox = progressWithBox || dialog->isVisible();
    });
    QTest::mouseClick(form_->SB_Online, Qt::LeftButton);
    ASSERT_TRUE(WaitForConnectEnd());
    EXPECT_EQ(label, "Preparing the database...");
    ASSERT_EQ(boxes_.size(), 1);
    EXPECT_TRUE(boxes_[0].startsWith("Error|[BADID]")) << boxes_[0].toStdString();
    EXPECT_FALSE(progressWithBox);
    EXPECT_TRUE(WaitForPanel(kMessagePanel, "E1-1: Openning COM port error"));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(form_->SB_Online->isEnabled());
    EXPECT_FALSE(form_->engine().IsWorkerRunning());
}

TEST_F(BuildProgressTest, ClosingDuringTheBuildCancelsItAndThenCloses) {
    WhenTheDialogShowsProgress([&](ui::TBuildProgress&) { form_->close(); });
    QTest::mouseClick(form_->SB_Online, Qt::LeftButton);
    ASSERT_TRUE(WaitForConnectEnd());
    EXPECT_FALSE(form_->isVisible());
    ExpectIdleAfterCancel();
}

}  // namespace
}  // namespace tarnlight::test
