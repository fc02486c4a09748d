#include "sim/sim_memory.h"

#include <algorithm>

#include "sim/plc_simulator.h"

namespace tarnlight::sim {

namespace {

int BitReadArea(uint8_t selector) {
    switch (selector) {
        case 0x10:
            return kAreaI;
        case 0x16:
            return kAreaM;
        case 0x12:
            return kAreaQ;
        default:
            return -1;
    }
}

int BitWriteArea(uint8_t selector) {
    switch (selector) {
        case 0x46:
            return kAreaI;
        case 0x4C:
            return kAreaM;
        case 0x48:
            return kAreaQ;
        default:
            return -1;
    }
}

// Word selectors are the same for reads and writes.
int WordArea(uint8_t selector) {
    switch (selector) {
        case 0x0A:
            return kAreaAI;
        case 0x08:
            return kAreaR;
        case 0x0C:
            return kAreaAQ;
        default:
            return -1;
    }
}

bool ValidArea(int area) {
    return area >= 0 && area < 3;
}

}  // namespace

SimMemory::SimMemory() : bitSize_(kBitCount), wordSize_(kWordCount) {
    for (auto& b : bits_) b.assign(kBitCount + 1, 0);
    for (auto& w : words_) w.assign(kWordCount + 1, 0);
}

void SimMemory::SetSize(uint32_t bits, uint32_t words) {
    std::lock_guard lock(mutex_);
    bitSize_ = std::min<uint32_t>(bits, kBitCount);
    wordSize_ = std::min<uint32_t>(words, kWordCount);
}

void SimMemory::SetBit(int area, uint32_t address, bool value) {
    if (!ValidArea(area) || address < 1 || address > kBitCount) return;
    std::lock_guard lock(mutex_);
    bits_[area][address] = value ? 1 : 0;
}

bool SimMemory::GetBit(int area, uint32_t address) const {
    if (!ValidArea(area) || address < 1 || address > kBitCount) return false;
    std::lock_guard lock(mutex_);
    return bits_[area][address] != 0;
}

void SimMemory::SetWord(int area, uint32_t address, uint16_t value) {
    if (!ValidArea(area) || address < 1 || address > kWordCount) return;
    std::lock_guard lock(mutex_);
    words_[area][address] = value;
}

uint16_t SimMemory::GetWord(int area, uint32_t address) const {
    if (!ValidArea(area) || address < 1 || address > kWordCount) return 0;
    std::lock_guard lock(mutex_);
    return words_[area][address];
}

bool SimMemory::Read(uint8_t selector, uint16_t first, uint16_t count,
                     std::vector<uint8_t>& out) const {
    std::lock_guard lock(mutex_);
    if (const int area = BitReadArea(selector); area >= 0) {
        // Whole bytes: a memory whose size is no multiple of 8 ends within one.
        if (8u * (uint32_t{first} + count) > (bitSize_ + 7) / 8 * 8) return false;
        for (uint32_t k = 0; k < count; ++k) {
            uint8_t byte = 0;
            for (uint32_t b = 0; b < 8; ++b) {
                const uint32_t address = 8 * (first + k) + 1 + b;
                if (address <= bitSize_ && bits_[area][address] != 0) byte |= 1u << b;
            }
            out.push_back(byte);
        }
        return true;
    }
    if (const int area = WordArea(selector); area >= 0) {
        if (uint32_t{first} + count > wordSize_) return false;
        for (uint32_t i = 0; i < count; ++i) {
            const uint16_t w = words_[area][first + 1u + i];
            out.push_back(static_cast<uint8_t>(w & 0xFF));
            out.push_back(static_cast<uint8_t>(w >> 8));
        }
        return true;
    }
    return false;
}

bool SimMemory::Write(uint8_t selector, uint16_t index, uint16_t length, const uint8_t* value,
                      int& area, bool& isWord) {
    constexpr uint16_t kMaxWordsPerRequest = 4;  // offsets 26..33 of the request
    const uint32_t address = index + 1u;
    std::lock_guard lock(mutex_);
    if (const int a = BitWriteArea(selector); a >= 0) {
        if (length != 1 || address > bitSize_) return false;
        bits_[a][address] = value[0] != 0 ? 1 : 0;
        area = a;
        isWord = false;
        return true;
    }
    if (const int a = WordArea(selector); a >= 0) {
        if (length < 1 || length > kMaxWordsPerRequest || address + length - 1 > wordSize_)
            return false;
        for (uint16_t i = 0; i < length; ++i)
            words_[a][address + i] = static_cast<uint16_t>(value[2 * i] | (value[2 * i + 1] << 8));
        area = a;
        isWord = true;
        return true;
    }
    return false;
}

void SimMemory::AdvanceLiveProcess() {
    std::lock_guard lock(mutex_);
    words_[kAreaR][1] = static_cast<uint16_t>(words_[kAreaR][1] + 1);
    livePattern_ = static_cast<uint8_t>((livePattern_ << 1) | (livePattern_ >> 7));
    for (int b = 0; b < 8; ++b) bits_[kAreaI][1 + b] = (livePattern_ >> b) & 1;
}

const char* AreaName(int area, bool isWord) {
    static const char* const kBits[] = {"%I", "%M", "%Q"};
    static const char* const kWords[] = {"%AI", "%R", "%AQ"};
    if (area < 0 || area > 2) return "?";
    return isWord ? kWords[area] : kBits[area];
}

}  // namespace tarnlight::sim
