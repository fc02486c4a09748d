#pragma once
// Where the worker puts each value it has read. The SQL mirror sends one
// UPDATE per address; a faster writer can take its place without touching
// the engine.
#include <cstdint>

namespace tarnlight::db {

class ValueMirror {
  public:
    virtual ~ValueMirror() = default;
    virtual void MirrorBitValue(int area, uint16_t address, uint8_t value) = 0;   // area 0..2
    virtual void MirrorWordValue(int area, uint16_t address, int16_t value) = 0;  // area 0..2
};

}  // namespace tarnlight::db
