#include "tools/board-sim/Summary.h"

#include <optional>

namespace board_sim {

namespace {

// Builds a flat JSON object; values are numbers, booleans, null, plain ASCII
// strings that need no escaping, or nested objects built the same way.
class JsonObject {
  public:
    JsonObject& Add(const char* key, std::uint64_t value) {
        return AddRaw(key, std::to_string(value));
    }
    template <typename T>
    JsonObject& Add(const char* key, const std::optional<T>& value) {
        return AddRaw(key, value ? std::to_string(*value) : "null");
    }
    JsonObject& Add(const char* key, const std::optional<bool>& value) {
        return AddRaw(key, value ? (*value ? "true" : "false") : "null");
    }
    JsonObject& AddString(const char* key, const std::string& value) {
        return AddRaw(key, '"' + value + '"');
    }
    JsonObject& AddObject(const char* key, const JsonObject& value) {
        return AddRaw(key, value.Text());
    }
    JsonObject& AddRaw(const char* key, const std::string& value) {
        if (!members_.empty()) members_ += ',';
        members_ += '"';
        members_ += key;
        members_ += "\":";
        members_ += value;
        return *this;
    }
    std::string Text() const { return '{' + members_ + '}'; }

  private:
    std::string members_;
};

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

JsonObject MessagesByCommand(const LinkCounters& link) {
    JsonObject byCommand;
    for (std::size_t kind = 0; kind < kMessageKindCount; ++kind) {
        byCommand.Add(MessageKindName(static_cast<MessageKind>(kind)), link.messagesByKind[kind]);
    }
    return byCommand;
}

JsonObject HeaderViolations(const HeaderViolationCounts& counts) {
    JsonObject violations;
    violations.Add("total", counts.Total())
        .Add("length", counts.length)
        .Add("check", counts.check)
        .Add("type", counts.type)
        .Add("ack", counts.ack)
        .Add("seq", counts.seq)
        .Add("retries", counts.retries);
    return violations;
}

}  // namespace

Summary::Summary(const LinkCounters& link, const FaultInjector& faults, const Flash& flash,
                 const TrafficCounts& traffic)
    : link_(link), faults_(faults), flash_(flash), traffic_(traffic) {}

std::string Summary::ToJson() const {
    const std::optional<ConfigBlock>& block = flash_.LastBlock();
    JsonObject summary;
    summary.AddString("mode", "link")
        .Add("datagrams_received", traffic_.datagramsReceived)
        .Add("datagrams_sent", traffic_.datagramsSent)
        .Add("messages_accepted", link_.messagesAccepted)
        .AddObject("messages_by_command", MessagesByCommand(link_))
        .Add("duplicates_dropped", link_.duplicatesDropped)
        .Add("dropped_rx", faults_.DroppedIncoming())
        .Add("dropped_tx", faults_.DroppedOutgoing())
        .Add("duplicated", faults_.Duplicated())
        .AddObject("header_violations", HeaderViolations(link_.headerViolations))
        .Add("message_violations", link_.messageViolations)
        .Add("max_retries_seen", std::uint64_t{link_.maxRetriesSeen})
        .Add("first_message_retries", link_.firstMessageRetries)
        .AddRaw("last_config_block", block ? '"' + Hex(*block) + '"' : "null")
        .Add("config_crc_ok", link_.lastConfigCrcOk)
        .Add("first_seq", link_.firstSeq)
        .Add("datagrams_processed", link_.datagramsProcessed)
        .Add("accepted_bytes", link_.acceptedBytes)
        .Add("fpga_bytes", link_.fpgaBytes)
        .Add("config_writes", link_.configWrites)
        .Add("send_errors", traffic_.sendErrors)
        .Add("flash_write_errors", flash_.WriteFailures())
        .Add("record_write_errors", traffic_.recordErrors);
    return summary.Text();
}

}  // namespace board_sim
