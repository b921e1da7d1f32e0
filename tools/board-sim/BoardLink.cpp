#include "tools/board-sim/BoardLink.h"

#include <algorithm>

#include "tools/board-sim/byte_fields.h"

namespace board_sim {

namespace {

// Status fields are 32 bits wide; a counter past that shows its low bits, as a
// hardware counter would.
std::uint32_t Low32(std::uint64_t value) {
    return static_cast<std::uint32_t>(value);
}

}  // namespace

ReceiveOutcome BoardLink::Receive(std::span<const std::uint8_t> datagram) {
    ++counters_.datagramsProcessed;
    ReceiveOutcome outcome;
    outcome.check = checker_.Check(datagram);
    CountHeaderFaults(outcome.check.faults);
    if (outcome.check.headerRead) {
        counters_.maxRetriesSeen = std::max(counters_.maxRetriesSeen, outcome.check.retries);
    }
    switch (outcome.check.verdict) {
        case DatagramVerdict::kAccept:
            outcome.accepted = true;
            outcome.message = datagram.subspan(kHeaderSize);
            outcome.report = InspectMessage(outcome.message);
            CountAccepted(outcome.check, outcome.report, outcome.message.size());
            break;
        case DatagramVerdict::kDuplicate:
            ++counters_.duplicatesDropped;
            break;
        case DatagramVerdict::kRefuse:
            break;
    }
    return outcome;
}

void BoardLink::CountHeaderFaults(const HeaderFaults& faults) {
    HeaderViolationCounts& counts = counters_.headerViolations;
    counts.length += faults.length ? 1 : 0;
    counts.check += faults.check ? 1 : 0;
    counts.type += faults.type ? 1 : 0;
    counts.ack += faults.ack ? 1 : 0;
    counts.seq += faults.seq ? 1 : 0;
    counts.retries += faults.retries ? 1 : 0;
}

void BoardLink::CountAccepted(const DatagramCheck& check, const MessageReport& report,
                              std::size_t messageSize) {
    if (counters_.messagesAccepted == 0) {
        counters_.firstMessageRetries = check.retries;
        counters_.firstSeq = check.seq;
    }
    ++counters_.messagesAccepted;
    counters_.acceptedBytes += messageSize;
    ++counters_.messagesByKind[static_cast<std::size_t>(report.kind)];
    counters_.messageViolations += report.violation ? 1 : 0;
    counters_.fpgaBytes += report.fpgaBytes;
    if (report.kind != MessageKind::kUnparsed) counters_.lastCommand = report.command;
    if (report.configCrcOk) counters_.lastConfigCrcOk = report.configCrcOk;
    if (report.configBlock) ++counters_.configWrites;
}

StatusDatagram BoardLink::BuildStatus(std::uint32_t uptimeMs) {
    StatusDatagram status{};
    std::uint8_t* out = status.data();
    store_le32(out + kStatusAckOffset, checker_.Ack());
    store_le32(out + kStatusSentCountOffset, ++statusBuilt_);
    store_le32(out + kStatusFpgaBytesOffset, Low32(counters_.fpgaBytes));
    store_le32(out + kStatusReceivedCountOffset, Low32(counters_.datagramsProcessed));
    store_le32(out + kStatusAcceptedCountOffset, Low32(counters_.messagesAccepted));
    store_le32(out + kStatusUptimeOffset, uptimeMs);
    store_le32(out + kStatusDuplicatesOffset, Low32(counters_.duplicatesDropped));
    store_le32(out + kStatusHeaderViolationsOffset, Low32(counters_.headerViolations.Total()));
    store_le32(out + kStatusMessageViolationsOffset, Low32(counters_.messageViolations));
    store_le32(out + kStatusConfigWritesOffset, Low32(counters_.configWrites));
    store_le32(out + kStatusLastCommandOffset, counters_.lastCommand);
    store_le32(out + kStatusAcceptedBytesOffset, Low32(counters_.acceptedBytes));
    store_le32(out + kStatusPayloadLengthOffset, 0);
    return status;
}

}  // namespace board_sim
