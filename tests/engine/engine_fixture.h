#pragma once
// An engine wired to a RecordingWindow and a simulated controller. The
// simulator's pty is published as COM1 in a private settings directory, so
// Connect opens "COM1" by name exactly as the program does.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "settings/settings.h"
#include "sim/plc_simulator.h"
#include "tests/engine/engine_probe.h"
#include "tests/engine/recording_window.h"
#include "tests/support/temp_config_home.h"

namespace tarnlight::test {

class EngineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(configHome_.ok());

        ASSERT_TRUE(StartSimulator());

        // Short timers: the simulator echoes them, so failed waits take 200 ms
        // (acknowledgement, 8 steps) and 400 ms (reply, 16 steps).
        pages_ = DefaultSettings();
        pages_.dbEnabled = false;
        pages_.port = 0;
        pages_.cpuId = "TARN7";
        pages_.T1 = 0;
        pages_.T2 = 200;
        pages_.T3b = 400;
        pages_.T4 = 10;
        pages_.Td = 0;
        pages_.lostconn = kPolicyGiveUp;
        engine_ = std::make_unique<Engine>(window_);
    }

    void TearDown() override {
        if (engine_) engine_->Shutdown();
        engine_.reset();
        sim_.reset();
    }

    // A new simulator on a new pty, published as COM1 (replacing the link);
    // lineBaud: every byte takes its time at that speed (0: as fast as the
    // pty carries it).
    bool StartSimulator(uint32_t lineBaud = 0) {
        sim_.reset();
        sim::SimConfig config;
        config.cpuId = "TARN7";
        config.t1 = 0;  // no pauses: cycles as fast as the pty carries them
        config.ackWaitMs = 500;
        config.lineBaud = lineBaud;
        sim_ = std::make_unique<sim::PlcSimulator>(config);
        return sim_->OpenPty() && sim_->CreateDeviceLink(0) && sim_->Start();
    }

    // Connects and waits until the link is up; the index of "Online".
    long ConnectOnline(bool breakFree = true) {
        const size_t from = window_.Size();
        EXPECT_TRUE(engine_->Connect(pages_, breakFree));
        return window_.WaitForCall("panel 0 Online", from);
    }

    // Disconnects and waits for the worker's end.
    void DisconnectAndWait() {
        engine_->Disconnect();
        EXPECT_TRUE(WaitFor([&] { return !engine_->IsWorkerRunning(); }));
        engine_->JoinWorker();
    }

    // The length (cells) of each write request the simulator has seen.
    std::vector<int> WriteLengths() const {
        std::vector<int> lengths;
        for (const auto& request : sim_->requests())
            if (request.serviceCode == 0x07)
                lengths.push_back(request.data[3] | request.data[4] << 8);
        return lengths;
    }

    RecordingWindow window_;
    std::unique_ptr<sim::PlcSimulator> sim_;
    std::unique_ptr<Engine> engine_;
    Settings pages_;
    TempConfigHome configHome_{"tl-engine"};
};

}  // namespace tarnlight::test
