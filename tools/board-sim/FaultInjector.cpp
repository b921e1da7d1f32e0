#include "tools/board-sim/FaultInjector.h"

namespace board_sim {

namespace {

// Bits of a double's mantissa: the top bits of a draw scaled into [0, 1).
constexpr int kUnitIntervalBits = 53;
constexpr double kUnitIntervalScale =
    1.0 / static_cast<double>(std::uint64_t{1} << kUnitIntervalBits);

}  // namespace

FaultInjector::FaultInjector(FaultRates rates, std::uint64_t seed)
    : rates_(rates), generator_(seed) {}

bool FaultInjector::Happens(double rate) {
    if (rate <= 0.0) return false;
    const std::uint64_t draw = generator_() >> (64 - kUnitIntervalBits);
    return static_cast<double>(draw) * kUnitIntervalScale < rate;
}

bool FaultInjector::Counted(bool happened, std::uint64_t& count) {
    count += happened ? 1 : 0;
    return happened;
}

bool FaultInjector::DropIncoming() {
    return Counted(Happens(rates_.dropIncoming), droppedIncoming_);
}

bool FaultInjector::DuplicateIncoming() {
    return Counted(Happens(rates_.duplicate), duplicated_);
}

bool FaultInjector::DropOutgoing() {
    return Counted(Happens(rates_.dropOutgoing), droppedOutgoing_);
}

bool FaultInjector::DuplicateOutgoing() {
    return Counted(Happens(rates_.duplicate), duplicated_);
}

}  // namespace board_sim
