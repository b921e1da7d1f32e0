// "Connect, Program, and Disconnect": the one job of every front-end. It starts the
// device (BOOTP, TFTP, the link), waits for the board, writes the configuration
// block and the disconnect message, waits for the board to acknowledge both, and
// reports the outcome through the UI port. It runs on the caller's thread and
// returns when the job has ended.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/JobEnd.h"
#include "app/ServedImage.h"
#include "app/config_block.h"
#include "device/EnetDevice.h"
#include "diag/JobStage.h"
#include "os/clock.h"

namespace app {

struct JobFields {
    std::string ip = kDefaultIpText;
    std::string mac = kDefaultMacText;
    std::string nickname = kDefaultNicknameText;
};

struct JobOptions {
    device::DeviceServices services;  // its `events` are the job's own
    std::uint32_t pollMs = 200;
    std::uint32_t settleMs = 500;                // before each message and before deleting
    std::uint32_t acknowledgementWaitMs = 5000;  // for the board's last acknowledgements
    std::optional<std::uint32_t> timeoutMs;      // an overall limit on the wait for the board
    const std::atomic<bool>* cancel = nullptr;   // set by the front-end to give up
    const ServedImage* image = nullptr;          // not owned; null: the built-in image
    // Once the board is heard, BOOTP answers no other: in a run of many boards the
    // next one, fitted early, waits for its own job.
    bool oneBoardPerJob = false;
    // The job's clock: every time limit reads `tickCountMs` and every wait goes through
    // `sleepMs`, so a front-end that runs the job on its window's thread can handle the
    // window's messages while the job waits, and a test can run the job on fake time.
    std::function<std::uint32_t()> tickCountMs = os::TickCountMs;
    std::function<void(std::uint32_t)> sleepMs = os::SleepMs;
    // Called on the job's thread once the job has ended, just before its message is
    // shown: a front-end clears its "Programming" box and gives the input back first.
    std::function<void()> beforeOutcomeMessage;
    // Makes the device (tests: one that cannot be made). Null: a real EnetDevice. It may
    // throw, as the device's queues report failure by throwing.
    std::function<std::unique_ptr<device::EnetDevice>(net::BoardContext*,
                                                      const device::DeviceServices&)>
        makeDevice;
};

struct JobReport {
    JobOutcome outcome = JobOutcome::kNoBoard;
    JobEnd end = JobEnd::kTimedOut;
    std::string message;  // what the user was told last
    std::uint32_t messagesSent = 0;
    std::uint32_t messagesAcknowledged = 0;
    std::uint32_t tftpBytesServed = 0;
    std::string boardAddress;            // the address the board's datagrams came from
    std::uint32_t boardIp = 0;           // its IPv4 address (network order), 0 before then
    int bootpInterfaces = -1;            // adapters answering BOOTP; -1 when BOOTP was not run
    std::vector<diag::JobStage> stages;  // as reported through the UI port, outcome last
    // The board BOOTP answered: the one heard on the link when BOOTP gave its address,
    // else the first answered. Empty when BOOTP gave no address.
    std::string hardwareAddress;
    std::string bootpAddress;
    std::optional<std::uint32_t> msFromAddressToResult;  // from that BOOTP reply
};

// The IP and MAC texts must be valid whole (ConfigFieldProblem), or nothing starts;
// the nickname is read as the dialog reads it (63 characters). Each stage
// goes to the UI port as it happens (OnJobStage), the outcome last.
JobReport RunProgrammingJob(const JobFields& fields, const JobOptions& options);

}  // namespace app
