#include "tools/board-sim/FaultInjector.h"

#include <gtest/gtest.h>

#include <vector>

namespace board_sim {
namespace {

std::vector<bool> Decisions(FaultInjector& faults, int count) {
    std::vector<bool> decisions;
    for (int i = 0; i < count; ++i) {
        decisions.push_back(faults.DropIncoming());
        decisions.push_back(faults.DuplicateIncoming());
        decisions.push_back(faults.DropOutgoing());
        decisions.push_back(faults.DuplicateOutgoing());
    }
    return decisions;
}

TEST(FaultInjector, SameSeedGivesSameDecisionsOtherSeedDiffers) {
    const FaultRates rates{0.3, 0.2, 0.1};
    FaultInjector first(rates, 42);
    FaultInjector second(rates, 42);
    FaultInjector other(rates, 43);
    const std::vector<bool> decisions = Decisions(first, 500);
    EXPECT_EQ(decisions, Decisions(second, 500));
    EXPECT_NE(decisions, Decisions(other, 500));
    EXPECT_EQ(first.DroppedIncoming(), second.DroppedIncoming());
    EXPECT_EQ(first.Duplicated(), second.Duplicated());
}

TEST(FaultInjector, RatesComeOutRoughlyAsAsked) {
    constexpr int kTrials = 100'000;
    FaultInjector faults({0.25, 0.05, 0.5}, 7);
    for (int i = 0; i < kTrials; ++i) {
        faults.DropIncoming();
        faults.DropOutgoing();
        faults.DuplicateIncoming();
    }
    // Several standard deviations wide; a fixed seed makes this exact anyway.
    EXPECT_NEAR(static_cast<double>(faults.DroppedIncoming()) / kTrials, 0.25, 0.01);
    EXPECT_NEAR(static_cast<double>(faults.DroppedOutgoing()) / kTrials, 0.05, 0.005);
    EXPECT_NEAR(static_cast<double>(faults.Duplicated()) / kTrials, 0.5, 0.01);
}

TEST(FaultInjector, ZeroNeverAndOneAlways) {
    FaultInjector faults({0.0, 1.0, 0.0}, 1);
    for (int i = 0; i < 1000; ++i) {
        ASSERT_FALSE(faults.DropIncoming());
        ASSERT_TRUE(faults.DropOutgoing());
        ASSERT_FALSE(faults.DuplicateOutgoing());
    }
    EXPECT_EQ(faults.DroppedOutgoing(), 1000u);
    EXPECT_EQ(faults.DroppedIncoming(), 0u);
}

}  // namespace
}  // namespace board_sim
