#pragma once
// The simulated controller's memory: three bit areas (%I %M %Q, addresses
// 1..8192) and three word areas (%AI %R %AQ, addresses 1..4096), guarded by
// one mutex so tests and the CLI may poke values while the line is served.
// Addresses outside those ranges read 0 and ignore writes. A smaller memory
// size can be set: requests reaching beyond it are refused, as a controller
// with less memory refuses them.
#include <array>
#include <cstdint>
#include <mutex>
#include <vector>

namespace tarnlight::sim {

class SimMemory {
  public:
    SimMemory();

    void SetBit(int area, uint32_t address, bool value);
    bool GetBit(int area, uint32_t address) const;
    void SetWord(int area, uint32_t address, uint16_t value);
    uint16_t GetWord(int area, uint32_t address) const;

    // Addresses per bit area and per word area that requests may reach
    // (clamped to 8192 and 4096, the defaults).
    void SetSize(uint32_t bits, uint32_t words);

    // Serves a read request: selector (10h %I, 16h %M, 12h %Q by bytes of 8
    // bits; 0Ah %AI, 08h %R, 0Ch %AQ by words), the first byte or first word
    // index (address - 1), and the count. Appends the data bytes (bits LSB
    // first, words low byte first) to out. False for an unknown selector or
    // a range reaching beyond the memory size.
    bool Read(uint8_t selector, uint16_t first, uint16_t count, std::vector<uint8_t>& out) const;

    // Serves a write request: selector (46h %I, 4Ch %M, 48h %Q bits; 0Ah %AI,
    // 08h %R, 0Ch %AQ words), index (address - 1), the length and the value
    // bytes from request offset 26 on (a bit: one byte; words: low byte
    // first, at most 4 of them, as the request carries). False for an
    // unknown selector, a bit write of another length than 1, a word count
    // of 0 or above 4, or cells beyond the memory size; memory is then
    // unchanged. On success area and isWord tell what was written, for the
    // event log.
    bool Write(uint8_t selector, uint16_t index, uint16_t length, const uint8_t* value, int& area,
               bool& isWord);

    // One step of the moving demo values: %R1 counts up, %I1..%I8 rotate.
    void AdvanceLiveProcess();

  private:
    mutable std::mutex mutex_;
    std::array<std::vector<uint8_t>, 3> bits_;    // index = address, 0 unused
    std::array<std::vector<uint16_t>, 3> words_;  // index = address, 0 unused
    uint8_t livePattern_ = 0x01;
    uint32_t bitSize_;
    uint32_t wordSize_;
};

// Name of a memory area for messages: "%I" .. "%AQ".
const char* AreaName(int area, bool isWord);

}  // namespace tarnlight::sim
