#include "snp/write_ledger.h"

#include <algorithm>

namespace tarnlight::snp {

WriteLedger::WriteLedger() {
    for (int type = 0; type < 6; ++type)
        wrote_[type].assign((IsBitArea(type) ? kMaxBitAddress : kMaxWordAddress) + 1u, 0);
}

void WriteLedger::Clear() {
    clock_ = 0;
    readBegan_.fill(0);
    for (auto& stamps : wrote_) std::fill(stamps.begin(), stamps.end(), 0);
}

void WriteLedger::Wrote(int type, uint16_t address, int count, uint64_t stamp) {
    if (type < 0 || type >= 6) return;
    std::vector<uint64_t>& stamps = wrote_[type];
    for (int i = 0; i < count; ++i) {
        const unsigned cell = address + static_cast<unsigned>(i);
        if (cell >= stamps.size()) break;  // beyond the image: nothing read there anyway
        stamps[cell] = stamp;
    }
}

void WriteLedger::ReadCompleted(int type, uint64_t began) {
    if (type >= 0 && type < 6) readBegan_[type] = began;
}

bool WriteLedger::Holds(int type, uint16_t address) const {
    if (type < 0 || type >= 6 || address >= wrote_[type].size()) return false;
    return readBegan_[type] != 0 && readBegan_[type] > wrote_[type][address];
}

WriteResult LedgerWriter::WriteBit(uint16_t address, uint8_t value, int area) {
    // Stamped before it goes out: a write that got no answer may still have
    // reached the controller.
    ledger_.Wrote(area, address, 1, ledger_.Next());
    return line_.WriteBit(address, value, area);
}

WriteResult LedgerWriter::WriteWord(uint16_t address, uint16_t value, int area) {
    ledger_.Wrote(area + kAI, address, 1, ledger_.Next());
    return line_.WriteWord(address, value, area);
}

WriteResult LedgerWriter::WriteWords(uint16_t address, const uint16_t* words, int count, int area) {
    ledger_.Wrote(area + kAI, address, count, ledger_.Next());
    return line_.WriteWords(address, words, count, area);
}

}  // namespace tarnlight::snp
