#pragma once
// The server's clock as seen from here. Every time Tarnlight writes into a
// table is on the server's clock (UTC_TIMESTAMP), so readers compare rows of
// several sources with one clock. A row that reaches the server late (the
// history after an outage) cannot take the server's "now": it takes the
// moment it was read, converted with the offset between the two clocks that
// was in force when it was read.
#include <cstdint>
#include <optional>
#include <string>

#include "db/mirror_connection.h"

namespace tarnlight::db {

// The server's UTC_TIMESTAMP(3) minus the local system clock, in ms, taken at
// the midpoint of the round trip (the query's half-way time is when the
// server most likely read its clock); 0 when it is within the measurement's
// uncertainty. Nothing when the query failed.
std::optional<int64_t> MeasureServerOffset(MirrorConnection& connection);

// ms since 1970 (UTC) as a DATETIME(3) literal: '2024-03-01 13:27:19.539'.
std::string DateTimeLiteral(int64_t ms);

// A DATETIME(3) text as the server sends it, to ms since 1970 (UTC);
// nothing when it does not read as one.
std::optional<int64_t> ParseDateTime(const std::string& text);

}  // namespace tarnlight::db
