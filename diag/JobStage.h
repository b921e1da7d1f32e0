// One stage of a programming job as the job reports it to the user: what happened,
// when, and the facts at hand. The job builds every stage and its line of text; a
// front-end only shows them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace diag {

// In the order a successful job passes them.
enum class JobStageKind {
    kBootpAdapters,  // the adapters answering BOOTP (none, when no port 67 could be had)
    // At any time while BOOTP runs: an adapter that came up, or went, during the job.
    kAdapterServed,
    kAdapterNoLongerServed,
    kAddressGiven,  // a BOOTP reply gave a hardware address its address
    kTransferStarted,
    kTransferFinished,  // the final ACK of the firmware transfer arrived
    kBoardHeard,        // the board's first datagram on the link
    kConfigurationSent,
    kConfigurationAcknowledged,
    kDisconnectSent,
    kDisconnectAcknowledged,
    kStagesLeftOut,  // the list is capped: how many stages it does not hold (before the outcome)
    kOutcome,        // always the last
};

struct JobAdapter {
    std::string name;
    std::string address;  // dotted IPv4
};

struct JobStage {
    JobStageKind kind = JobStageKind::kOutcome;
    std::uint32_t elapsedMs = 0;       // since the job began
    std::string text;                  // one line, for a status line or a terminal
    std::vector<JobAdapter> adapters;  // kBootpAdapters
    std::string adapter;               // kAddressGiven: the adapter that answered; kAdapter*
    std::string hardwareAddress;       // kAddressGiven: "02-00-00-00-0C-01"
    // kAddressGiven: the address given; kAdapter*: the adapter's; kTransfer*: the
    // client ("a.b.c.d:port"); kBoardHeard: where the board's datagrams come from.
    std::string address;
    bool fromArpTable = false;  // kAddressGiven: the ARP table already held the address
    std::uint32_t bytes = 0;    // kTransfer*: the firmware bytes the transfer carries
    std::uint32_t leftOut = 0;  // kStagesLeftOut: the stages not in the list
    std::string outcome;        // kOutcome: the outcome's name, as in summaries
    std::string message;        // kOutcome: what the user was told, whole
};

// The stage's name in summaries: "bootp-adapters", "address-given", ...
const char* JobStageName(JobStageKind kind);

}  // namespace diag
