#pragma once
// Names of the controller families and CPU models, the model-code table of
// the controller type reply, and the break durations.
#include <cstdint>
#include <string_view>

namespace tarnlight::snp {

inline constexpr int kPlcFamilyCount = 5;
inline constexpr int kPlcModelCount = 38;

std::string_view PlcFamilyName(unsigned family);  // "unknown" outside the table
std::string_view PlcModelName(unsigned model);    // "unknown" outside the table

// Decodes the family and model codes of the 48-byte controller type frame.
// Returns false (and leaves family/model alone) for an unknown family code.
bool DecodeControllerType(uint8_t familyCode, uint8_t modelCode, uint8_t& family,
                          uint8_t& model);

// Milliseconds the line break is held for a baud index; -1 (no selection) as 19200.
unsigned BreakDurationMs(int baudIndex);

}  // namespace tarnlight::snp
