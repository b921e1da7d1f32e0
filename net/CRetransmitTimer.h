// The link's timing, without sockets or threads: when the one outstanding datagram is
// repeated (every 50 ms until acknowledged), its retry count, how long the send thread
// waits, and whether the send credit came back while it waited out a repeat period.
// "Now" is passed in: milliseconds on a clock that wraps at 2^32, so the arithmetic
// holds across the wrap and a test can drive it with a fake clock.
//
// It knows nothing of sequence numbers: whether a datagram is outstanding is the
// caller's to say. Not thread-safe: CUdpServer keeps it under its transmit mutex.
#pragma once

#include <cstdint>

namespace net {

class CRetransmitTimer {
  public:
    static constexpr std::uint32_t kRetransmitMs = 50;
    // With nothing outstanding there is nothing to repeat: the send thread sleeps until
    // an entry or a stop wakes it, and only looks round this often.
    static constexpr std::uint32_t kIdleSendWaitMs = 1000;

    // A new datagram left at `nowMs` (or its send failed: it is outstanding all the
    // same). Its repeats are timed from here, and it has no retries yet.
    void Sent(std::uint32_t nowMs);
    // The link starts (again) at `nowMs`: a datagram still outstanding from before is
    // repeated a whole period from now, its retry count kept. A credit noted unused
    // before is forgotten.
    void Restart(std::uint32_t nowMs);

    // Whether the outstanding datagram is a whole period old at `nowMs`.
    bool IsRepeatDue(std::uint32_t nowMs) const;
    // Until the repeat is due; 0 once it is.
    std::uint32_t MsUntilRepeat(std::uint32_t nowMs) const;
    // A repeat leaves at `nowMs`: the next one is a period later. Returns the repeat's
    // retry count (1 for the first), wrapping at 16 bits as the transport header does.
    std::uint16_t Repeated(std::uint32_t nowMs);
    std::uint16_t Retries() const { return retries_; }

    // How long the send thread, holding a credit, waits for an entry before looking
    // round: a repeat period while a datagram is still outstanding, else the idle wait.
    static std::uint32_t EntryWaitMs(bool outstanding);

    // The credit came back with no entry to use it (an acknowledgement that found the
    // queue empty, or a send that could not be made): the send thread, waiting out the
    // repeat period, stops waiting and waits for an entry instead.
    void NoteCreditUnused() { creditUnused_ = true; }
    bool IsCreditUnused() const { return creditUnused_; }
    // The send thread's wait for the repeat has ended, whatever ended it.
    void ClearCreditUnused() { creditUnused_ = false; }
    // How long the send thread, with the credit out, waits: until the repeat is due,
    // or not at all once the credit came back unused.
    std::uint32_t RepeatWaitMs(std::uint32_t nowMs) const;

  private:
    std::uint32_t lastTransmitMs_ = 0;
    std::uint16_t retries_ = 0;
    bool creditUnused_ = false;
};

}  // namespace net
