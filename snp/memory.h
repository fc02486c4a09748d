#pragma once
// The six memory areas of the controller and the image of the values last
// read from them.
#include <array>
#include <cstdint>
#include <string_view>

namespace tarnlight::snp {

// Fixed order everywhere in the program. Bit requests number the discrete
// areas 0..2 (%I %M %Q), word requests the word areas 0..2 (%AI %R %AQ), that
// is MemoryType minus 3.
enum MemoryType : int { kI = 0, kM = 1, kQ = 2, kAI = 3, kR = 4, kAQ = 5 };

inline constexpr int kBitAreaCount = 3;
inline constexpr int kWordAreaCount = 3;
inline constexpr uint16_t kMaxBitAddress = 8192;
// The settings accept word addresses up to 4096, so the word image holds them all.
inline constexpr uint16_t kMaxWordAddress = 4096;

inline bool IsBitArea(int type) { return type >= kI && type <= kQ; }
inline bool IsWordArea(int type) { return type >= kAI && type <= kAQ; }

// "%I", "%M", ... "%AQ"
std::string_view AreaSymbol(int type);
// "%I - Discrete Inputs", ... "%AQ - Analog Outputs"
std::string_view AreaCaption(int type);
// Memory selector bytes of the read and write requests.
uint8_t ReadSelector(int type);
uint8_t WriteSelector(int type);

// Values last read, indexed by the controller address itself (index 0 unused).
// Only the read requests write it; nothing is stored outside these bounds.
struct MemoryImage {
    std::array<std::array<uint8_t, kMaxBitAddress + 1>, kBitAreaCount> bits{};    // 0 or 1
    std::array<std::array<uint16_t, kMaxWordAddress + 1>, kWordAreaCount> words{};  // raw 16-bit
};

// Controller states decoded from the short status; 7 and above is "unknown".
inline constexpr uint8_t kPlcStateUnknown = 7;
std::string_view PlcStateName(unsigned state);

// Run/Stop command codes: the target states.
inline constexpr uint8_t kRunIoEnabled = 0;
inline constexpr uint8_t kStopIoDisabled = 2;
inline constexpr uint8_t kStopIoEnabled = 6;

}  // namespace tarnlight::snp
