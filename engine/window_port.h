#pragma once
// The one way the engine changes the main window. The Qt window implements it
// by queuing each call to the user-interface thread in the order the calls are
// made; the headless gateway prints the calls; tests record them.
//
// The worker calls everything here; ShowMessageBox only while Connect's
// database and port steps run. No call may block the worker (a box is shown
// without waiting for the operator).
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "types/link_config.h"
#include "types/notifier.h"
#include "types/tag_quality.h"

namespace tarnlight {

// Status-bar panels by index; 1, 4 and 7 are blank spacers.
enum Panel : int {
    kLinkStatePanel = 0,
    kPlcStatePanel = 2,
    kSweepPanel = 3,
    kSequencePanel = 5,
    kCycleCountPanel = 6,
    kMessagePanel = 8,
};

// Controls whose enabled state the engine sets.
enum class Control {
    SB_Online,
    SB_Offline,
    SB_Transmit_Start,
    SB_Transmit_Stop,
    Butt_PlcRun,
    Butt_PlcStop,
    RadioGroup_IOstatus,
    MenuSB2,
    MenuSB3,
    Butt_UpdateMem,
};

// Value labels of the PLC information page.
enum class InfoLabel {
    LabelCPU_ID,
    LabelPLC_Type,
    LabelPLC_Model,
    Label_T1,
    Label_T2,
    Label_T3b,
    Label_priv,
};

// Pictures of the notification-area icon.
enum TrayIcon : int {
    kIconNoConnection = 0,
    kIconOnline = 1,
    kIconConnectFailed = 2,
    kIconConnectionLost = 3,
};

// Names for logs and tests: "SB_Online", "LabelCPU_ID", "LinkState".
inline const char* ControlName(Control control) {
    static const char* const kNames[] = {"SB_Online",           "SB_Offline",  "SB_Transmit_Start",
                                         "SB_Transmit_Stop",    "Butt_PlcRun", "Butt_PlcStop",
                                         "RadioGroup_IOstatus", "MenuSB2",     "MenuSB3",
                                         "Butt_UpdateMem"};
    return kNames[static_cast<int>(control)];
}

inline const char* InfoLabelName(InfoLabel label) {
    static const char* const kNames[] = {"LabelCPU_ID", "LabelPLC_Type", "LabelPLC_Model",
                                         "Label_T1",    "Label_T2",      "Label_T3b",
                                         "Label_priv"};
    return kNames[static_cast<int>(label)];
}

inline const char* PanelName(int index) {
    switch (index) {
        case kLinkStatePanel:
            return "LinkState";
        case kPlcStatePanel:
            return "PlcState";
        case kSweepPanel:
            return "Sweep";
        case kSequencePanel:
            return "Sequence";
        case kCycleCountPanel:
            return "CycleCount";
        case kMessagePanel:
            return "Message";
        default:
            return "Spacer";
    }
}

// What the Edit page shows at the moment the worker performs a pending write.
struct EditInputs {
    int memType = 0;  // MemoryType 0..5
    int address = 1;
    bool bitValue = false;  // "True" selected
    int wordValue = 0;      // -32768..65535; the low 16 bits are written
    // A tag named on the page instead of an address (empty: the address
    // above) and the value to write. By name, not by position: the page's
    // list may still be the previous Connect's when the worker reads it.
    std::string tagName{};
    double tagValue = 0.0;
};

// A tag's state after a pass: index into LinkConfig::tags, its raw bits and
// its value (nothing while unknown, or for a REAL that is NaN or infinite).
struct TagUpdate {
    int index = 0;
    uint32_t raw = 0;
    std::optional<double> value;
    // How far the value can be trusted: good after a read, stale once the
    // link is lost or halted or the area overdue.
    TagQuality quality = TagQuality::Good;
};

class WindowPort : public Notifier {
  public:
    ~WindowPort() override = default;

    virtual void SetPanelText(int index, const std::string& text) = 0;
    virtual void SetEnabled(Control control, bool enabled) = 0;
    // Selected item of RadioGroup_IOstatus: 0 "Enabled", 1 "Disabled".
    virtual void SetIoStatusSelection(int item) = 0;
    virtual void SetInfoLabel(InfoLabel label, const std::string& text) = 0;
    virtual void SetIconIndex(int index) = 0;

    // Connect: repositions the PLC Memory sub-menu buttons for the enabled areas.
    virtual void LayOutMemoryMenu(const std::array<bool, kAreaCount>& areaEnabled) = 0;
    // Connect: titles, header rows, row labels and row counts of the six grids
    // from the area ranges of the snapshot; value cells empty.
    virtual void SetUpMemoryGrids(const LinkConfig& config) = 0;

    // One call per area and read, carrying every value of from..to in order.
    // type is the MemoryType: 0..2 for ShowBitArea (bits 0 or 1), 3..5 for
    // ShowWordArea (raw 16-bit words).
    virtual void ShowBitArea(int type, uint16_t from, uint16_t to, std::vector<uint8_t> bits) = 0;
    virtual void ShowWordArea(int type, uint16_t from, uint16_t to,
                              std::vector<uint16_t> words) = 0;

    // The tags whose raw bits changed in a pass (every tag after the first
    // pass of a link), in the order of LinkConfig::tags; the tag list itself
    // comes with SetUpMemoryGrids' config.
    virtual void ShowTagValues(std::vector<TagUpdate> updates) { (void)updates; }

    // Called on a helper thread of Connect while it prepares the database:
    // the share of the table build done, 0..100 (0 also while a step before
    // the build waits for the server). Must not wait for the user-interface
    // thread. The operator's Cancel goes to Engine::CancelConnect.
    virtual void ShowBuildProgress(int percent) { (void)percent; }
    // Connect has ended: linkStarted when the port is open and the worker
    // attaches, false when it failed or was cancelled (its message has been
    // sent before this call).
    virtual void ConnectEnded(bool linkStarted) { (void)linkStarted; }

    // Called on the worker; must be thread-safe and return what the Edit page
    // shows now. It must not wait for the user-interface thread (no blocking
    // queued call): Shutdown joins the worker from that thread, so such a
    // wait would deadlock. Keep the page values in atomics or under a mutex
    // that the user-interface thread updates as the operator edits them.
    virtual EditInputs ReadEditInputs() = 0;
};

}  // namespace tarnlight
