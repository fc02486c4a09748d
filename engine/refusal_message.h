#pragma once
// The message-panel text for a request the controller refused, short enough
// for the panel at the longest addresses and ranges:
//   "W21: %R100 write refused 05h/0Ch"
//   "W22: Stop refused 05h/0Ch"
//   "W23: Password refused 05h/0Ch"
//   "E24: %M1..8192 read error 05h/0Ch"
// The codes are the controller's major and minor error codes.
#include <string>

#include "snp/refusal.h"

namespace tarnlight {

std::string RefusalMessage(const snp::Refusal& refusal);

}  // namespace tarnlight
