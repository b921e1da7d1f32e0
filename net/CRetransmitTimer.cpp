#include "net/CRetransmitTimer.h"

namespace net {

void CRetransmitTimer::Sent(std::uint32_t nowMs) {
    lastTransmitMs_ = nowMs;
    retries_ = 0;
}

void CRetransmitTimer::Restart(std::uint32_t nowMs) {
    lastTransmitMs_ = nowMs;
    creditUnused_ = false;
}

// Unsigned differences: the age stays right when the clock wraps between the send
// and now.
bool CRetransmitTimer::IsRepeatDue(std::uint32_t nowMs) const {
    return nowMs - lastTransmitMs_ >= kRetransmitMs;
}

std::uint32_t CRetransmitTimer::MsUntilRepeat(std::uint32_t nowMs) const {
    const std::uint32_t age = nowMs - lastTransmitMs_;
    return age >= kRetransmitMs ? 0 : kRetransmitMs - age;
}

std::uint16_t CRetransmitTimer::Repeated(std::uint32_t nowMs) {
    lastTransmitMs_ = nowMs;
    retries_ = static_cast<std::uint16_t>(retries_ + 1);
    return retries_;
}

std::uint32_t CRetransmitTimer::RepeatWaitMs(std::uint32_t nowMs) const {
    return creditUnused_ ? 0 : MsUntilRepeat(nowMs);
}

std::uint32_t CRetransmitTimer::EntryWaitMs(bool outstanding) {
    return outstanding ? kRetransmitMs : kIdleSendWaitMs;
}

}  // namespace net
