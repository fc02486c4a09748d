#pragma once
// The message-panel text for a request the controller refused:
//   "W21: PLC refused write to %R100, error 05h/0Ch"
//   "W22: PLC refused Stop, error 05h/0Ch"
//   "E24: PLC refused read of %M1..9000, error 05h/0Ch"
// The codes are the controller's major and minor error codes.
#include <string>

#include "snp/refusal.h"

namespace tarnlight {

std::string RefusalMessage(const snp::Refusal& refusal);

}  // namespace tarnlight
