// The window under the heaviest load: every area at its largest range
// (3 x 8192 bits, 3 x 4096 words), Td 0, the simulator without line-speed
// emulation, the %M page on view. Measures how late a 10 ms timer fires on
// the user-interface thread, the user-interface time per area shown, and the
// program's resident memory after 100 and after 1,000 cycles. Prints a
// Markdown table.
//
//   tarnlight-bench-ui [CYCLES]   (default 1000; at least 100)
#include <unistd.h>

#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "apps/window_driver.h"
#include "engine/engine.h"
#include "ui/panel2a.h"
#include "ui/qt_window_port.h"
#include "ui/settings_pages.h"
#include "ui/status_bar.h"
#include "ui/unit1.h"

namespace {

using namespace tarnlight;

double ResidentMiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) /
           (1024.0 * 1024.0);
}

double Percentile(std::vector<double> values, double share) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, static_cast<size_t>(share * values.size()));
    return values[index];
}

// Cycles completed, from the engine's 8-bit counter polled often enough
// never to miss a wrap.
class CycleCount {
  public:
    explicit CycleCount(const Engine& engine) : engine_(engine), last_(engine.cycleCounter()) {}
    long Poll() {
        const uint8_t now = engine_.cycleCounter();
        total_ += static_cast<uint8_t>(now - last_);
        last_ = now;
        return total_;
    }

  private:
    const Engine& engine_;
    uint8_t last_;
    long total_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    const long cycles = argc > 1 ? std::max(100L, std::atol(argv[1])) : 1000L;
    tools::UseOffscreenPlatform();
    QApplication app(argc, argv);

    tools::TempConfigHome home("tl-bench-ui");
    sim::SimConfig simConfig;
    simConfig.cpuId = "BENCH";
    simConfig.t1 = 0;
    simConfig.liveProcess = true;  // values change every cycle
    auto simulator = tools::StartSimulatorAsCom1(simConfig);
    if (!home.ok() || !simulator) {
        std::fprintf(stderr, "tarnlight-bench-ui: cannot start the simulator\n");
        return 1;
    }

    ui::TForm1 form;
    form.show();
    Settings settings = tools::SimulatorSettings("BENCH");
    settings.areaTo = {8192, 8192, 8192, 4096, 4096, 4096};
    settings.Td = 0;
    ui::ShowSettings(form.configPages(), settings);
    form.SB_Online->click();
    if (!tools::PumpUntil([&] { return form.StatusBar1->panelText(kLinkStatePanel) == "Online"; },
                          30000)) {
        std::fprintf(stderr, "tarnlight-bench-ui: no connection\n");
        return 1;
    }
    form.SB_Transmit_Start->click();
    form.MenuSB3->click();
    form.memoryButtons[1]->click();  // %M

    CycleCount count(form.engine());
    std::vector<double> lateMs;
    double memoryAt100 = 0, memoryAtEnd = 0;
    QElapsedTimer clock;
    clock.start();
    qint64 lastFire = clock.nsecsElapsed();
    const auto statsBefore = form.windowPort().stats();

    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(10);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        lateMs.push_back(std::max(0.0, (now - lastFire) / 1e6 - 10.0));
        lastFire = now;
        const long done = count.Poll();
        // The simulator runs in this process and logs every request for
        // tests: keep its log from counting as the window's memory.
        simulator->ClearRequests();
        if (memoryAt100 == 0 && done >= 100) memoryAt100 = ResidentMiB();
        if (done >= cycles) {
            memoryAtEnd = ResidentMiB();
            app.quit();
        }
    });
    tick.start();
    app.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    const auto stats = form.windowPort().stats();

    form.SB_Offline->click();
    tools::PumpUntil([&] { return !form.engine().IsWorkerRunning(); }, 20000);
    form.close();

    const auto areaCalls = stats.areaCalls - statsBefore.areaCalls;
    const auto areaShown = stats.areaUpdates - statsBefore.areaUpdates;
    std::printf("| measure | value |\n|---|---|\n");
    std::printf("| rows of the %%M grid on view | %d |\n", form.Frame2a[1]->RowCount());
    const long done = count.Poll();
    std::printf("| cycles | %ld in %.1f s (%.1f ms each) |\n", done, seconds, 1e3 * seconds / done);
    std::printf("| 10 ms timer, lateness median | %.2f ms |\n", Percentile(lateMs, 0.5));
    std::printf("| 10 ms timer, lateness 99th percentile | %.2f ms |\n", Percentile(lateMs, 0.99));
    std::printf("| 10 ms timer, lateness maximum | %.2f ms |\n", Percentile(lateMs, 1.0));
    std::printf("| UI time per area shown (mean) | %.3f ms |\n",
                areaShown ? (stats.areaNanoseconds - statsBefore.areaNanoseconds) / 1e6 /
                                static_cast<double>(areaShown)
                          : 0.0);
    std::printf("| areas shown / areas sent by the worker | %llu / %llu |\n",
                static_cast<unsigned long long>(areaShown),
                static_cast<unsigned long long>(areaCalls));
    std::printf("| resident memory after 100 cycles | %.1f MiB |\n", memoryAt100);
    std::printf("| resident memory after %ld cycles | %.1f MiB |\n", cycles, memoryAtEnd);
    return 0;
}
