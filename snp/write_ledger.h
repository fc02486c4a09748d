#pragma once
// Which values of the memory image still stand for the controller's memory
// after Tarnlight's own writes. Every request gets a stamp from one counter,
// in the order the requests go out. A value read by a read that began before
// Tarnlight's last write to its address says nothing about what the
// controller holds now: the write may have changed it. So a request asking
// for a value the image holds may be acknowledged without a write only while
// the area's last complete read began after the last write to that address.
//
// LedgerWriter puts every write through the ledger: the database's requests,
// the Edit page and the tags all write through it.
#include <array>
#include <cstdint>
#include <vector>

#include "snp/memory.h"
#include "snp/plc_writer.h"

namespace tarnlight::snp {

class WriteLedger {
  public:
    WriteLedger();
    // A new link: nothing read, nothing written.
    void Clear();
    // The stamp of a request going out now.
    uint64_t Next() { return ++clock_; }
    // count cells from address of area type (MemoryType) were written by the
    // request stamped stamp.
    void Wrote(int type, uint16_t address, int count, uint64_t stamp);
    // The read of area type whose first request was stamped began has
    // completed: the image holds its values.
    void ReadCompleted(int type, uint64_t began);
    // The image's value of the address was read after Tarnlight's last
    // write to it (and a read of the area completed at all).
    bool Holds(int type, uint16_t address) const;

  private:
    uint64_t clock_ = 0;
    std::array<uint64_t, 6> readBegan_{};         // by MemoryType; 0: never read
    std::array<std::vector<uint64_t>, 6> wrote_;  // by MemoryType and address
};

// A PlcWriter that stamps every write into the ledger before it goes out.
class LedgerWriter : public PlcWriter {
  public:
    LedgerWriter(PlcWriter& line, WriteLedger& ledger) : line_(line), ledger_(ledger) {}
    WriteResult WriteBit(uint16_t address, uint8_t value, int area) override;
    WriteResult WriteWord(uint16_t address, uint16_t value, int area) override;
    WriteResult WriteWords(uint16_t address, const uint16_t* words, int count, int area) override;

  private:
    PlcWriter& line_;
    WriteLedger& ledger_;
};

}  // namespace tarnlight::snp
