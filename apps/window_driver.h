#pragma once
// Driving the real window against the PLC simulator from a program (the
// screenshot renderer, the window benchmark): a private settings directory,
// a simulator published there as COM1, and waiting while the window's event
// loop runs.
#include <stdlib.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <functional>
#include <memory>
#include <string>

#include "apps/temp_config_home.h"
#include "settings/settings.h"
#include "sim/plc_simulator.h"

namespace tarnlight::tools {

// Runs the event loop until done() holds or timeoutMs pass; done()'s last value.
inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() >= timeoutMs) return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(2);
    }
    return true;
}

// A simulator answering as CPU "DEMO" on a new pty, linked as COM1 in the
// settings directory of the current XDG_CONFIG_HOME. Null when it fails.
inline std::unique_ptr<sim::PlcSimulator> StartSimulatorAsCom1(sim::SimConfig config) {
    auto simulator = std::make_unique<sim::PlcSimulator>(config);
    if (!simulator->OpenPty() || !simulator->CreateDeviceLink(0) || !simulator->Start())
        return nullptr;
    return simulator;
}

// Settings for the simulator on COM1: short SNP timers, no line break, every
// area read, the database off.
inline Settings SimulatorSettings(const std::string& cpuId) {
    Settings settings = DefaultSettings();
    settings.port = 0;
    settings.cpuId = cpuId;
    settings.T1 = 0;
    settings.T2 = 200;
    settings.T3b = 400;
    settings.T4 = 10;
    settings.dbEnabled = false;
    settings.areaEnabled = {true, true, true, true, true, true};
    return settings;
}

// Qt's offscreen platform unless the caller chose another one.
inline void UseOffscreenPlatform() {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
}

}  // namespace tarnlight::tools
