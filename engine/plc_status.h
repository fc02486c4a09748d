#pragma once
// The controller state display: the state and sweep-time panels and the
// Run, Stop and Inputs/Outputs controls that fit the state.
#include <cstdint>
#include <string>

#include "engine/window_port.h"

namespace tarnlight {

// "PLC Stopped" for 0, else "Sweep= 12,3ms" for 123 tenths of a millisecond.
std::string SweepText(uint16_t sweepTenthsMs);

// State name in panel 2, sweep text in panel 3, then the controls by state:
// running with I/O enabled allows Stop only; running with I/O disabled allows
// Run, Stop and the I/O choice; in a stop state the I/O group is disabled and
// shows the other stop mode, so a further Stop switches to it. Other states
// leave the controls alone.
void ShowPlcStatus(WindowPort& window, unsigned plcState, uint16_t sweepTenthsMs);

}  // namespace tarnlight
