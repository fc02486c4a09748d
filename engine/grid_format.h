#pragma once
// Texts and row/column arithmetic of the memory grids, shared by the windows
// that show the areas and by the tests.
//
// Bit grid: row 0 is the header; each body row holds the ten addresses of one
// tens group (address div 10), a value sits in column (address mod 10) + 1.
// Word grid: one body row per address, columns signed, unsigned, hexadecimal.
#include <cstdint>
#include <string>

namespace tarnlight {

inline constexpr int kBitGridColumns = 11;
inline constexpr int kWordGridColumns = 4;

std::string BitCellText(uint8_t bit);         // "  1" or "  0"
std::string SignedCellText(uint16_t word);    // "  -1"
std::string UnsignedCellText(uint16_t word);  // "  65535"
std::string HexCellText(uint16_t word);       // "  0xFFFF"

// " %I", " %M", " %Q": column 0 of row 0 of a bit grid.
std::string BitGridCornerText(int type);
// " __0" .. " __9": column column of row 0 (column 1..10).
std::string BitGridHeaderText(int column);
// " 4_" for addresses 40..49.
std::string BitGridRowLabel(uint16_t address);
// Rows including the header; a range whose from lies above to has no body rows.
int BitGridRowCount(uint16_t from, uint16_t to);
int BitGridRow(uint16_t address, uint16_t from);
int BitGridColumn(uint16_t address);

// "  Address:", "  Signed", "  Unsigned", "  Hex" for columns 0..3.
std::string WordGridHeaderText(int column);
// "  %R_1": column 0 of the row of address in the area type (3..5).
std::string WordGridRowLabel(int type, uint16_t address);
int WordGridRowCount(uint16_t from, uint16_t to);
int WordGridRow(uint16_t address, uint16_t from);

// "0x" + two upper-case hexadecimal digits: sequence and cycle count panels.
std::string HexByteText(uint8_t value);

}  // namespace tarnlight
