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

bool FaultInjector::DropIncoming() {
    const bool drop = Happens(rates_.dropIncoming);
    droppedIncoming_ += drop ? 1 : 0;
    return drop;
}

bool FaultInjector::DuplicateIncoming() {
    const bool duplicate = Happens(rates_.duplicate);
    duplicated_ += duplicate ? 1 : 0;
    return duplicate;
}

bool FaultInjector::DropOutgoing() {
    const bool drop = Happens(rates_.dropOutgoing);
    droppedOutgoing_ += drop ? 1 : 0;
    return drop;
}

bool FaultInjector::DuplicateOutgoing() {
    const bool duplicate = Happens(rates_.duplicate);
    duplicated_ += duplicate ? 1 : 0;
    return duplicate;
}

}  // namespace board_sim
