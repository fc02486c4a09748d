#include "engine/grid_format.h"

#include <cstdio>

namespace tarnlight {
namespace {

const char* const kAreaSymbols[] = {"%I", "%M", "%Q", "%AI", "%R", "%AQ"};

const char* Symbol(int type) {
    return (type >= 0 && type < 6) ? kAreaSymbols[type] : "%?";
}

}  // namespace

std::string BitCellText(uint8_t bit) {
    return bit != 0 ? "  1" : "  0";
}

std::string SignedCellText(uint16_t word) {
    return "  " + std::to_string(static_cast<int16_t>(word));
}

std::string UnsignedCellText(uint16_t word) {
    return "  " + std::to_string(word);
}

std::string HexCellText(uint16_t word) {
    char text[16];
    std::snprintf(text, sizeof text, "  0x%04X", static_cast<unsigned>(word));
    return text;
}

std::string BitGridCornerText(int type) {
    return std::string(" ") + Symbol(type);
}

std::string BitGridHeaderText(int column) {
    return " __" + std::to_string(column - 1);
}

std::string BitGridRowLabel(uint16_t address) {
    return " " + std::to_string(address / 10) + "_";
}

int BitGridRowCount(uint16_t from, uint16_t to) {
    if (from > to) return 1;
    return to / 10 - from / 10 + 2;
}

int BitGridRow(uint16_t address, uint16_t from) {
    return address / 10 - from / 10 + 1;
}

int BitGridColumn(uint16_t address) {
    return address % 10 + 1;
}

std::string WordGridHeaderText(int column) {
    static const char* const kHeaders[] = {"  Address:", "  Signed", "  Unsigned", "  Hex"};
    return (column >= 0 && column < kWordGridColumns) ? kHeaders[column] : "";
}

std::string WordGridRowLabel(int type, uint16_t address) {
    return std::string("  ") + Symbol(type) + "_" + std::to_string(address);
}

int WordGridRowCount(uint16_t from, uint16_t to) {
    if (from > to) return 1;
    return to - from + 2;
}

int WordGridRow(uint16_t address, uint16_t from) {
    return address - from + 1;
}

std::string HexByteText(uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(value));
    return text;
}

}  // namespace tarnlight
