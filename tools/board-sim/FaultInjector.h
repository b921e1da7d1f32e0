// Decides, from a seeded generator, which datagrams the simulated network loses or
// delivers twice. The same seed and the same sequence of questions give the same
// answers on every run and every standard library.
#pragma once

#include <cstdint>
#include <random>

namespace board_sim {

struct FaultRates {
    double dropIncoming = 0.0;
    double dropOutgoing = 0.0;
    double duplicate = 0.0;  // each direction
};

class FaultInjector {
  public:
    static constexpr std::uint64_t kDefaultSeed = 1;

    FaultInjector(FaultRates rates, std::uint64_t seed);

    // Each call is one decision, counted when it comes out true.
    bool DropIncoming();
    bool DuplicateIncoming();
    bool DropOutgoing();
    bool DuplicateOutgoing();

    std::uint64_t DroppedIncoming() const { return droppedIncoming_; }
    std::uint64_t DroppedOutgoing() const { return droppedOutgoing_; }
    std::uint64_t Duplicated() const { return duplicated_; }

  private:
    // True with probability `rate`; a rate of 0 never draws, so a run without faults
    // leaves the generator untouched.
    bool Happens(double rate);
    static bool Counted(bool happened, std::uint64_t& count);

    FaultRates rates_;
    std::mt19937_64 generator_;  // its output sequence is fixed by the standard
    std::uint64_t droppedIncoming_ = 0;
    std::uint64_t droppedOutgoing_ = 0;
    std::uint64_t duplicated_ = 0;
};

}  // namespace board_sim
