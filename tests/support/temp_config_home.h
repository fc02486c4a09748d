#pragma once
// The tests' private configuration home is the one the tools use.
#include "apps/temp_config_home.h"

namespace tarnlight::test {
using tools::TempConfigHome;
}  // namespace tarnlight::test
