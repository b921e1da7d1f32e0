#include "tools/board-sim/StopSignal.h"

namespace board_sim {

std::atomic<bool> StopSignal::requested_{false};

StopSignal::StopSignal() {
    requested_.store(false);
    struct sigaction action {};
    action.sa_handler = &StopSignal::Handle;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a signal interrupts the wait at once instead of at its time-out.
    action.sa_flags = 0;
    sigaction(SIGINT, &action, &previousInterrupt_);
    sigaction(SIGTERM, &action, &previousTerminate_);
}

StopSignal::~StopSignal() {
    sigaction(SIGINT, &previousInterrupt_, nullptr);
    sigaction(SIGTERM, &previousTerminate_, nullptr);
}

void StopSignal::Handle(int) {
    requested_.store(true);
}

}  // namespace board_sim
