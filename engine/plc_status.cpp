#include "engine/plc_status.h"

#include "snp/memory.h"

namespace tarnlight {

std::string SweepText(uint16_t sweepTenthsMs) {
    if (sweepTenthsMs == 0) return "PLC Stopped";
    return "Sweep= " + std::to_string(sweepTenthsMs / 10) + "," +
           std::to_string(sweepTenthsMs % 10) + "ms";
}

void ShowPlcStatus(WindowPort& window, unsigned plcState, uint16_t sweepTenthsMs) {
    window.SetPanelText(kPlcStatePanel, std::string(snp::PlcStateName(plcState)));
    window.SetPanelText(kSweepPanel, SweepText(sweepTenthsMs));
    switch (plcState) {
        case 0:  // Run, I/O Enabled
            window.SetEnabled(Control::Butt_PlcRun, false);
            window.SetEnabled(Control::Butt_PlcStop, true);
            window.SetEnabled(Control::RadioGroup_IOstatus, true);
            break;
        case 1:  // Run, I/O Disabled
            window.SetEnabled(Control::Butt_PlcRun, true);
            window.SetEnabled(Control::Butt_PlcStop, true);
            window.SetEnabled(Control::RadioGroup_IOstatus, true);
            window.SetIoStatusSelection(0);
            break;
        case 2:  // Stop, I/O Disabled: offer "Enabled" for the next Stop
            window.SetEnabled(Control::Butt_PlcRun, true);
            window.SetEnabled(Control::Butt_PlcStop, true);
            window.SetEnabled(Control::RadioGroup_IOstatus, false);
            window.SetIoStatusSelection(0);
            break;
        case 6:  // Stop, I/O Enabled: offer "Disabled" for the next Stop
            window.SetEnabled(Control::Butt_PlcRun, true);
            window.SetEnabled(Control::Butt_PlcStop, true);
            window.SetEnabled(Control::RadioGroup_IOstatus, false);
            window.SetIoStatusSelection(1);
            break;
        default:  // faulted, halted, suspended, unknown: controls as they were
            break;
    }
}

}  // namespace tarnlight
