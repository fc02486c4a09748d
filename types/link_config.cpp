#include "types/link_config.h"

namespace tarnlight {

void ApplyLostConnectionPolicy(LinkConfig& config, int item, int k) {
    config.giveUp = false;
    switch (item) {
        case kPolicyGiveUp:
            config.giveUp = true;
            config.retryForever = false;
            config.attemptBudget = 1;
            break;
        case kPolicyTryKTimes:
            config.retryForever = false;
            config.attemptBudget = static_cast<uint8_t>(k);
            break;
        case kPolicyTryConstantly:
            config.retryForever = true;
            config.attemptBudget = 1;
            break;
        default:
            break;
    }
}

}  // namespace tarnlight
