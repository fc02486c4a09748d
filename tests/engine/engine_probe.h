#pragma once
// What the engine tests look at besides the window calls: the shared flags
// (atomic, readable at any time) and the serial port (only while no worker
// runs: before Connect starts one, after it has been joined).
#include "engine/engine.h"

namespace tarnlight {

class EngineProbe {
  public:
    explicit EngineProbe(Engine& engine) : engine_(engine) {}
    EngineFlags& flags() { return engine_.flags_; }
    SerialPort& port() { return engine_.port_; }

  private:
    Engine& engine_;
};

}  // namespace tarnlight
