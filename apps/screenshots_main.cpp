// tarnlight-screenshots OUTDIR [--db DIR]: renders the main window and each
// of its pages, connected to the PLC simulator, the about dialog and the tray
// icon's menu into PNG files in OUTDIR.
// With --db the mirror database is on, on the private server whose port and
// password files are in DIR (scripts/mariadb-private); otherwise it is off.
#include <QAbstractButton>
#include <QDir>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <cstdio>
#include <string>

#include "apps/private_server.h"
#include "apps/window_driver.h"
#include "engine/engine.h"
#include "settings/settings_file.h"
#include "ui/about_box.h"
#include "ui/panel12.h"
#include "ui/panel2b.h"
#include "ui/panel2c.h"
#include "ui/panel2d.h"
#include "ui/radio_group.h"
#include "ui/spin_edit.h"
#include "ui/status_bar.h"
#include "ui/tray_icon.h"
#include "ui/unit1.h"

namespace {

using namespace tarnlight;
using tarnlight::ui::TForm1;

// Memory worth looking at: a pattern in %M and %Q, telling words in %AI, %R
// and %AQ. The live process counts in %R1 and moves bits in %I1..%I8.
void FillSimulatorMemory(sim::PlcSimulator& simulator) {
    for (uint16_t a = 1; a <= 256; ++a) simulator.SetBit(sim::kAreaM, a, (a * 7) % 5 < 2);
    for (uint16_t a = 1; a <= 48; ++a) simulator.SetBit(sim::kAreaQ, a, a % 3 == 0);
    for (uint16_t a = 1; a <= 16; ++a) {
        simulator.SetWord(sim::kAreaAI, a, static_cast<uint16_t>(a * 1000));
        simulator.SetWord(sim::kAreaAQ, a, static_cast<uint16_t>(4000 - a * 250));
    }
    const uint16_t registers[] = {0, 0xFFFF, 255, 1234, 0x8000, 32767, 100, 7};
    for (uint16_t a = 2; a <= 64; ++a)
        simulator.SetWord(sim::kAreaR, a, a < 10 ? registers[a - 2] : static_cast<uint16_t>(a * 3));
    // Two-word values for the Tags page, low word first: REAL 42.75 in
    // %R20/%R21, DINT -123456 in %R30/%R31.
    simulator.SetWord(sim::kAreaR, 20, 0x0000);
    simulator.SetWord(sim::kAreaR, 21, 0x422B);
    simulator.SetWord(sim::kAreaR, 30, 0x1DC0);
    simulator.SetWord(sim::kAreaR, 31, 0xFFFE);
}

// A [Tags] section over the memory above.
std::vector<TagDefinition> ScreenshotTags() {
    const char* const lines[][2] = {{"counter", "%R1 UINT"},
                                    {"tank_level", "%R20 REAL"},
                                    {"batch_total", "%R30 DINT"},
                                    {"flow", "%AI3 INT scale=0.01"},
                                    {"temperature", "%AI4 INT scale=0.1 offset=-40"},
                                    {"pump_run", "%Q3"}};
    std::vector<TagDefinition> tags;
    for (const auto& line : lines) {
        TagDefinition tag;
        std::string problem;
        if (ParseTagDefinition(line[0], line[1], &tag, &problem)) tags.push_back(tag);
    }
    return tags;
}

bool Save(QWidget& widget, const QString& directory, const char* name) {
    tools::PumpUntil([] { return false; }, 150);  // let the last changes paint
    const QString path = directory + QStringLiteral("/") + QString::fromLatin1(name);
    if (!widget.grab().save(path)) {
        std::fprintf(stderr, "tarnlight-screenshots: cannot write %s\n", path.toLocal8Bit().data());
        return false;
    }
    std::printf("%s\n", path.toLocal8Bit().data());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && !(argc == 4 && std::string(argv[2]) == "--db")) {
        std::fprintf(stderr, "Usage: tarnlight-screenshots OUTDIR [--db DIR]\n");
        return 2;
    }
    tools::UseOffscreenPlatform();
    QApplication app(argc, argv);
    const QString outDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(outDir);

    tools::TempConfigHome home("tl-screens");
    sim::SimConfig simConfig;
    simConfig.cpuId = "DEMO";
    simConfig.t1 = 0;
    simConfig.liveProcess = true;
    auto simulator = tools::StartSimulatorAsCom1(simConfig);
    if (!home.ok() || !simulator) {
        std::fprintf(stderr, "tarnlight-screenshots: cannot start the simulator\n");
        return 1;
    }
    FillSimulatorMemory(*simulator);

    Settings settings = tools::SimulatorSettings("DEMO");
    settings.areaTo = {48, 256, 48, 16, 64, 16};
    settings.tags = ScreenshotTags();
    if (argc == 4) {
        const db::ConnectionParams server = tools::PrivateServerParams(argv[3]);
        settings.dbEnabled = true;
        settings.addressIP = server.host;
        settings.portNum = std::to_string(server.port);
        settings.username = server.user;
        settings.dbPassword = server.password;
        settings.dbName = "plc_memory_screenshots";
    }

    TForm1 form;
    form.show();
    bool ok = Save(form, outDir, "start.png");  // as the program starts
    // Through the settings file, as the operator gets the tags (no page
    // holds them).
    std::string error;
    if (SaveSettings(settings, SettingsFilePath(kDefaultSettingsName), &error) != SaveResult::Ok) {
        std::fprintf(stderr, "tarnlight-screenshots: %s\n", error.c_str());
        return 1;
    }
    form.SB_Load->click();
    form.SB_Online->click();
    const auto panel = [&](int index) { return form.StatusBar1->panelText(index); };
    ok = tools::PumpUntil([&] { return panel(kLinkStatePanel) == "Online"; }, 30000) && ok;
    form.SB_Transmit_Start->click();
    ok = ok && tools::PumpUntil(
                   [&] {
                       return panel(kCycleCountPanel) != "0x00" &&
                              !form.Frame2b[1]->Cell(1, 2).isEmpty();
                   },
                   30000);
    if (!ok) {
        std::fprintf(stderr, "tarnlight-screenshots: the window did not come online: %s\n",
                     panel(kMessagePanel).toLocal8Bit().data());
        return 1;
    }

    // Configure menu, one page each.
    const char* const configureShots[4] = {"serial-port.png", "plc.png", "connection.png",
                                           "database.png"};
    for (int i = 0; i < 4; ++i) {
        form.configureButtons[i]->click();
        ok = Save(form, outDir, configureShots[i]) && ok;
    }
    // The window as the README shows it: the PLC page with the areas read.
    form.configureButtons[1]->click();
    ok = Save(form, outDir, "main-window.png") && ok;

    form.MenuSB2->click();
    form.SubMenuSB11->click();
    ok = Save(form, outDir, "plc-info.png") && ok;
    // The Statistics page once a few cycles have been counted.
    form.SubMenuSB12->click();
    ok =
        tools::PumpUntil([&] { return form.engine().Statistics().counters.cycles >= 20; }, 30000) &&
        ok;
    tools::PumpUntil([] { return false; }, ui::TFrame12::kRefreshMs);  // the page's next refresh
    ok = Save(form, outDir, "statistics.png") && ok;

    form.MenuSB3->click();
    const char* const memoryShots[6] = {"memory-i.png",  "memory-m.png", "memory-q.png",
                                        "memory-ai.png", "memory-r.png", "memory-aq.png"};
    for (int i = 0; i < 6; ++i) {
        form.memoryButtons[i]->click();
        ok = Save(form, outDir, memoryShots[i]) && ok;
    }
    form.memoryButtons[7]->click();
    if (!tools::PumpUntil([&] { return !form.Frame2d1->Cell(3, 1).isEmpty(); }, 10000))
        std::fprintf(stderr, "tarnlight-screenshots: the Tags page got no values\n");
    ok = Save(form, outDir, "tags.png") && ok;
    form.memoryButtons[6]->click();
    form.Frame2c1->RadioGroup_MemType->button(4)->click();
    form.Frame2c1->CSpinEdit_Adres->setValue(10);
    form.Frame2c1->CSpinEdit1->setValue(42);
    ok = Save(form, outDir, "edit.png") && ok;

    // The about dialog, taken while About waits for it to close.
    bool aboutSaved = false;
    QTimer aboutWatch;
    QObject::connect(&aboutWatch, &QTimer::timeout, [&] {
        auto* box = qobject_cast<ui::TAboutBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        aboutWatch.stop();
        aboutSaved = Save(*box, outDir, "about.png");
        box->OKButton->click();
    });
    aboutWatch.start(10);
    form.SB_About->click();
    // The box opens without a nested event loop: wait for the watch to take it.
    ok = tools::PumpUntil([&] { return aboutSaved; }, 10000) && ok;

    // The tray icon's menu, as its right button opens it.
    QMenu& trayMenu = *form.TrayIcon1->PopupMenu1;
    trayMenu.popup(QPoint(0, 0));
    ok = Save(trayMenu, outDir, "tray-menu.png") && ok;
    trayMenu.hide();

    form.SB_Offline->click();
    tools::PumpUntil([&] { return !form.engine().IsWorkerRunning(); }, 20000);
    form.close();
    return ok ? 0 : 1;
}
