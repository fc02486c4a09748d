#include "types/tag.h"

namespace tarnlight {}  // namespace tarnlight
