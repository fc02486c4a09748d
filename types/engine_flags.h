#pragma once
// Single-byte flags shared by the user-interface thread and the worker. Each
// is an atomic byte: a plain shared byte would be a data race in C++. Where a
// flag travels with a value (runStopPending with runStopCode), the writer
// stores the value before it raises the flag.
#include <atomic>
#include <cstdint>

namespace tarnlight {

struct EngineFlags {
    std::atomic<uint8_t> stopRequested{0};  // Disconnect asks the worker to end
    std::atomic<uint8_t> linkLost{0};       // a request of the cycle failed
    std::atomic<uint8_t> transmitting{0};   // full cycle (1) or halted cycle (0)
    std::atomic<uint8_t> dbAlive{1};        // last database ping answered
    std::atomic<uint8_t> pendingEdit{0};    // a manual write waits for the worker
};

}  // namespace tarnlight
