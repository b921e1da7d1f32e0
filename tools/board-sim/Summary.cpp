#include "tools/board-sim/Summary.h"

#include <optional>

#include "tools/board-sim/json_line.h"

namespace board_sim {

namespace {

std::string Hex(const ConfigBlock& block) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(block.size() * 2);
    for (const std::uint8_t byte : block) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

Json MessagesByCommand(const LinkCounters& link) {
    Json byCommand = Json::object();
    for (std::size_t kind = 0; kind < kMessageKindCount; ++kind)
        byCommand[MessageKindName(static_cast<MessageKind>(kind))] = link.messagesByKind[kind];
    return byCommand;
}

Json HeaderViolations(const HeaderViolationCounts& counts) {
    return {{"total", counts.Total()},  {"length", counts.length}, {"check", counts.check},
            {"type", counts.type},      {"ack", counts.ack},       {"seq", counts.seq},
            {"retries", counts.retries}};
}

}  // namespace

Summary::Summary(const LinkCounters& link, const FaultInjector& faults, const Flash& flash,
                 const TrafficCounts& traffic)
    : link_(link), faults_(faults), flash_(flash), traffic_(traffic) {}

std::string Summary::ToJson() const {
    const std::optional<ConfigBlock>& block = flash_.LastBlock();
    return JsonLine({{"mode", "link"},
                     {"datagrams_received", traffic_.datagramsReceived},
                     {"datagrams_sent", traffic_.datagramsSent},
                     {"messages_accepted", link_.messagesAccepted},
                     {"messages_by_command", MessagesByCommand(link_)},
                     {"duplicates_dropped", link_.duplicatesDropped},
                     {"dropped_rx", faults_.DroppedIncoming()},
                     {"dropped_tx", faults_.DroppedOutgoing()},
                     {"duplicated", faults_.Duplicated()},
                     {"header_violations", HeaderViolations(link_.headerViolations)},
                     {"message_violations", link_.messageViolations},
                     {"max_retries_seen", link_.maxRetriesSeen},
                     {"first_message_retries", OrNull(link_.firstMessageRetries)},
                     {"last_config_block", block ? Json(Hex(*block)) : Json()},
                     {"config_crc_ok", OrNull(link_.lastConfigCrcOk)},
                     {"first_seq", OrNull(link_.firstSeq)},
                     {"datagrams_processed", link_.datagramsProcessed},
                     {"accepted_bytes", link_.acceptedBytes},
                     {"fpga_bytes", link_.fpgaBytes},
                     {"config_writes", link_.configWrites},
                     {"send_errors", traffic_.sendErrors},
                     {"flash_write_errors", flash_.WriteFailures()},
                     {"record_write_errors", traffic_.recordErrors}});
}

}  // namespace board_sim
