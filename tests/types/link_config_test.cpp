// The "If connection is lost:" choice as Connect turns it into the policy
// fields of the link configuration.
#include "types/link_config.h"

#include <gtest/gtest.h>

namespace tarnlight {
namespace {

TEST(LostConnectionPolicy, EachItemSetsItsFields) {
    LinkConfig config;

    ApplyLostConnectionPolicy(config, kPolicyTryKTimes, 5);
    EXPECT_FALSE(config.giveUp);
    EXPECT_FALSE(config.retryForever);
    EXPECT_EQ(config.attemptBudget, 5);

    ApplyLostConnectionPolicy(config, kPolicyTryConstantly, 5);
    EXPECT_FALSE(config.giveUp);
    EXPECT_TRUE(config.retryForever);
    EXPECT_EQ(config.attemptBudget, 1);

    ApplyLostConnectionPolicy(config, kPolicyGiveUp, 5);
    EXPECT_TRUE(config.giveUp);
    EXPECT_FALSE(config.retryForever);
    EXPECT_EQ(config.attemptBudget, 1);

    ApplyLostConnectionPolicy(config, kPolicyTryKTimes, 255);
    EXPECT_EQ(config.attemptBudget, 255);
    EXPECT_FALSE(config.retryForever);
}

TEST(LostConnectionPolicy, GiveUpAndOneAttemptDifferOnlyInGiveUp) {
    LinkConfig giveUp;
    LinkConfig once;
    ApplyLostConnectionPolicy(giveUp, kPolicyGiveUp, 7);
    ApplyLostConnectionPolicy(once, kPolicyTryKTimes, 1);
    EXPECT_EQ(giveUp.attemptBudget, 1);
    EXPECT_EQ(once.attemptBudget, 1);
    EXPECT_EQ(giveUp.retryForever, once.retryForever);
    EXPECT_TRUE(giveUp.giveUp);
    EXPECT_FALSE(once.giveUp);
}

TEST(LostConnectionPolicy, NoSelectionKeepsTheValuesButClearsGiveUp) {
    LinkConfig config;
    ApplyLostConnectionPolicy(config, kPolicyTryConstantly, 1);
    config.giveUp = true;
    ApplyLostConnectionPolicy(config, -1, 9);
    EXPECT_FALSE(config.giveUp);
    EXPECT_TRUE(config.retryForever);
    EXPECT_EQ(config.attemptBudget, 1);

    ApplyLostConnectionPolicy(config, kPolicyTryKTimes, 3);
    config.giveUp = true;
    ApplyLostConnectionPolicy(config, -1, 9);
    EXPECT_FALSE(config.giveUp);
    EXPECT_FALSE(config.retryForever);
    EXPECT_EQ(config.attemptBudget, 3);
}

}  // namespace
}  // namespace tarnlight
