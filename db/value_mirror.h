#pragma once
// Where the worker puts each value it has read. One writer sends an UPDATE
// per address as the value comes; the other holds the values back and sends
// only what changed when the cycle's reads are done.
#include <cstdint>

namespace tarnlight::db {

class ValueMirror {
  public:
    virtual ~ValueMirror() = default;
    virtual void MirrorBitValue(int area, uint16_t address, uint8_t value) = 0;   // area 0..2
    virtual void MirrorWordValue(int area, uint16_t address, int16_t value) = 0;  // area 0..2
    // The cycle's reads are done (or broke off): sends what was held back.
    // False when the database refused any of it.
    virtual bool EndCycle() { return true; }
};

}  // namespace tarnlight::db
