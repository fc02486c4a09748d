#include "snp/identity.h"

#include <array>

namespace tarnlight::snp {

namespace {

constexpr std::array<std::string_view, kPlcFamilyCount> kFamilyNames = {
    "unknown", "Series 90-70", "Series 90-20", "Series 90-30", "Series VersaMax"};

constexpr std::array<std::string_view, kPlcModelCount> kModelNames = {
    "unknown", "CFR782", "CFR928", "CGR772", "CGR935",       "CPU731",      "CPU732", "CPU771",
    "CPU772",  "CPU780", "CPU781", "CPU782", "CPU788",       "CPU789",      "CPU790", "CPU914",
    "CPU915",  "CPU924", "CPU925", "CPX772", "CPX782",       "CPX928",      "CPX935", "CPU211",
    "CPU311",  "CPU321", "CPU313", "CPU323", "CPU331",       "CPU341",      "CPU350", "CPU351",
    "CPU352",  "CPU360", "CPU363", "CPU364", "Micro UDR001", "Micro UDR002"};

struct ModelCode {
    uint8_t code;
    uint8_t model;
};

// Model codes of the controller type reply and the model index they give.
// Codes 24 and 94 of the Series 90-70 are both the CPU924.
constexpr ModelCode kSeries9070Models[] = {
    {15, 16}, {24, 17}, {25, 18}, {28, 21}, {29, 2},  {31, 5},  {32, 6},  {35, 22},
    {36, 4},  {71, 7},  {72, 8},  {73, 19}, {74, 3},  {80, 9},  {81, 10}, {82, 11},
    {83, 20}, {84, 1},  {88, 12}, {89, 13}, {90, 14}, {92, 15}, {94, 17}};

constexpr ModelCode kSeries9030Models[] = {{1, 36},  {30, 24}, {32, 25}, {33, 26}, {34, 27},
                                           {35, 28}, {36, 29}, {37, 31}, {39, 32}, {40, 33},
                                           {41, 34}, {42, 35}, {44, 30}};

template <size_t N>
uint8_t LookUpModel(const ModelCode (&table)[N], uint8_t code) {
    for (const ModelCode& entry : table) {
        if (entry.code == code) return entry.model;
    }
    return 0;
}

constexpr uint8_t kFamilyCode9070 = 12;
constexpr uint8_t kFamilyCode9030 = 16;  // the 90-20 shares it, told apart by model 31
constexpr uint8_t kFamilyCodeVersaMax = 9;
constexpr uint8_t kModelCode9020 = 31;
constexpr uint8_t kModelCodeVersaMaxUdr002 = 33;

// Milliseconds of line break per baud index 0..9 (300 .. 115200 bit/s).
constexpr std::array<unsigned, 10> kBreakDurationTable = {150, 75, 40, 20, 10, 5, 3, 2, 1, 1};
constexpr int kBaudIndex19200 = 6;

}  // namespace

std::string_view PlcFamilyName(unsigned family) {
    return family < kFamilyNames.size() ? kFamilyNames[family] : kFamilyNames[0];
}

std::string_view PlcModelName(unsigned model) {
    return model < kModelNames.size() ? kModelNames[model] : kModelNames[0];
}

bool DecodeControllerType(uint8_t familyCode, uint8_t modelCode, uint8_t& family, uint8_t& model) {
    // The first matching rule decides; the order matters because the 90-20
    // and the 90-30 report the same family code.
    if (familyCode == kFamilyCode9070) {
        family = 1;
        model = LookUpModel(kSeries9070Models, modelCode);
    } else if (familyCode == kFamilyCode9030 && modelCode == kModelCode9020) {
        family = 2;
        model = 23;
    } else if (familyCode == kFamilyCode9030) {
        family = 3;
        model = LookUpModel(kSeries9030Models, modelCode);
    } else if (familyCode == kFamilyCodeVersaMax) {
        family = 4;
        model = modelCode == kModelCodeVersaMaxUdr002 ? 37 : 0;
    } else {
        return false;
    }
    return true;
}

unsigned BreakDurationMs(int baudIndex) {
    // No selection (-1) is configured as 19200 bit/s, so it gets that break;
    // any other index outside the table gets the same safe middle value.
    if (baudIndex < 0 || baudIndex >= static_cast<int>(kBreakDurationTable.size())) {
        return kBreakDurationTable[kBaudIndex19200];
    }
    return kBreakDurationTable[static_cast<size_t>(baudIndex)];
}

}  // namespace tarnlight::snp
