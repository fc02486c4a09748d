#pragma once
// The value and request tables of the mirror database, by MemoryType
// (%I %M %Q %AI %R %AQ); the row whose id is n stands for address n.
#include <array>
#include <string_view>

#include "types/link_config.h"

namespace tarnlight::db {

inline constexpr std::array<std::string_view, kAreaCount> kValueTable = {
    "plc_i", "plc_m", "plc_q", "plc_ai", "plc_r", "plc_aq"};
inline constexpr std::array<std::string_view, kAreaCount> kRequestTable = {
    "new_i", "new_m", "new_q", "new_ai", "new_r", "new_aq"};

// The pending requests of one table, one statement per table.
inline constexpr std::array<const char*, kAreaCount> kPendingQuery = {
    "SELECT * FROM `new_i` WHERE flag = 1", "SELECT * FROM `new_m` WHERE flag = 1",
    "SELECT * FROM `new_q` WHERE flag = 1", "SELECT * FROM `new_ai` WHERE flag = 1",
    "SELECT * FROM `new_r` WHERE flag = 1", "SELECT * FROM `new_aq` WHERE flag = 1",
};

}  // namespace tarnlight::db
