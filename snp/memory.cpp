#include "snp/memory.h"

#include <array>

namespace tarnlight::snp {

namespace {

struct AreaInfo {
    std::string_view symbol;
    std::string_view caption;
    uint8_t readSelector;
    uint8_t writeSelector;
};

// Indexed by MemoryType. The discrete areas use different selectors for
// reading (byte access) and writing (bit access); the word areas use one.
constexpr std::array<AreaInfo, 6> kAreas = {{
    {"%I", "%I - Discrete Inputs", 0x10, 0x46},
    {"%M", "%M - Discrete Internals", 0x16, 0x4C},
    {"%Q", "%Q - Discrete Outputs", 0x12, 0x48},
    {"%AI", "%AI - Analog Inputs", 0x0A, 0x0A},
    {"%R", "%R - Registers", 0x08, 0x08},
    {"%AQ", "%AQ - Analog Outputs", 0x0C, 0x0C},
}};

constexpr std::array<std::string_view, kPlcStateUnknown + 1> kStateNames = {
    "Run, I/O Enabled", "Run, I/O Disabled", "Stop, I/O Disabled", "CPU Stop Faulted",
    "CPU Halted",       "CPU Suspended",     "Stop, I/O Enabled",  "unknown"};

bool Valid(int type) {
    return type >= kI && type <= kAQ;
}

}  // namespace

std::string_view AreaSymbol(int type) {
    return Valid(type) ? kAreas[type].symbol : "";
}

std::string_view AreaCaption(int type) {
    return Valid(type) ? kAreas[type].caption : "";
}

uint8_t ReadSelector(int type) {
    return Valid(type) ? kAreas[type].readSelector : 0;
}

uint8_t WriteSelector(int type) {
    return Valid(type) ? kAreas[type].writeSelector : 0;
}

std::string_view PlcStateName(unsigned state) {
    return state < kPlcStateUnknown ? kStateNames[state] : kStateNames[kPlcStateUnknown];
}

}  // namespace tarnlight::snp
