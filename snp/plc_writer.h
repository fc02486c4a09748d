#pragma once
// The write requests, as the database write-back queue and the manual edit
// use them. SnpLink implements it over the serial line.
#include <cstdint>

namespace tarnlight::snp {

// What became of a request that changes the controller.
enum class WriteResult {
    Written,  // the controller took it
    Refused,  // the controller answered with an error reply: not done, the link is alive
    Failed,   // no valid answer: the link is lost
};

// Words one write request carries: the request data ends four words after
// the value's offset.
inline constexpr int kMaxWordsPerWrite = 4;

class PlcWriter {
  public:
    virtual ~PlcWriter() = default;
    // area: 0 %I, 1 %M, 2 %Q; value 0 or 1.
    virtual WriteResult WriteBit(uint16_t address, uint8_t value, int area) = 0;
    // area: 0 %AI, 1 %R, 2 %AQ.
    virtual WriteResult WriteWord(uint16_t address, uint16_t value, int area) = 0;
    // count (1..kMaxWordsPerWrite) consecutive words from address in ONE
    // request, so the controller never runs a sweep between them (a 32-bit
    // value is never seen torn). area as for WriteWord.
    virtual WriteResult WriteWords(uint16_t address, const uint16_t* words, int count,
                                   int area) = 0;
};

}  // namespace tarnlight::snp
