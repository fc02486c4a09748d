#include "snp/bcc.h"

namespace tarnlight::snp {

uint8_t ComputeBcc(const uint8_t* bytes, size_t count) {
    uint8_t r = 0;
    for (size_t i = 0; i < count; ++i) {
        r ^= bytes[i];
        r = static_cast<uint8_t>((r << 1) | (r >> 7));
    }
    return r;
}

char HexDigit(uint8_t nibble) {
    nibble &= 0x0F;
    return static_cast<char>(nibble < 10 ? '0' + nibble : 'A' + (nibble - 10));
}

int HexValue(uint8_t ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

void SealRaw(uint8_t* frame, size_t length) {
    frame[length - 1] = ComputeBcc(frame, length - 1);
}

void SealHex(uint8_t* frame, size_t length) {
    const uint8_t bcc = ComputeBcc(frame, length - 2);
    frame[length - 2] = static_cast<uint8_t>(HexDigit(bcc >> 4));
    frame[length - 1] = static_cast<uint8_t>(HexDigit(bcc));
}

bool CheckRaw(const uint8_t* frame, size_t length) {
    return length >= 1 && frame[length - 1] == ComputeBcc(frame, length - 1);
}

bool CheckHex(const uint8_t* frame, size_t length) {
    if (length < 2) return false;
    const uint8_t bcc = ComputeBcc(frame, length - 2);
    return frame[length - 2] == static_cast<uint8_t>(HexDigit(bcc >> 4)) &&
           frame[length - 1] == static_cast<uint8_t>(HexDigit(bcc));
}

}  // namespace tarnlight::snp
