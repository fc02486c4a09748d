#pragma once
// SNP block check code: XOR each byte in, then rotate left one bit. Attach
// frames carry it as two uppercase hexadecimal characters ("hex form"), every
// other frame as one raw byte at the end.
#include <cstddef>
#include <cstdint>

namespace tarnlight::snp {

uint8_t ComputeBcc(const uint8_t* bytes, size_t count);

// Stores ComputeBcc of the first length-1 bytes into the last byte.
void SealRaw(uint8_t* frame, size_t length);
// Stores the hex form of ComputeBcc of the first length-2 bytes into the last two bytes.
void SealHex(uint8_t* frame, size_t length);
bool CheckRaw(const uint8_t* frame, size_t length);
// Fails for lowercase hexadecimal digits.
bool CheckHex(const uint8_t* frame, size_t length);

// Uppercase hexadecimal digit for 0..15.
char HexDigit(uint8_t nibble);
// Value of an uppercase hexadecimal digit, or -1.
int HexValue(uint8_t ch);

}  // namespace tarnlight::snp
