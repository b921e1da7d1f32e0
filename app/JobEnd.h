// The ways a programming job can end, each with the one message the user is given for
// it, and the warnings of a job that goes on with a service missing. Every front-end
// (the dialogs and the command line) shows these texts, so they are kept here, in one
// table.
#pragma once

#include <cstdint>
#include <string>

namespace app {

// What a summary or report records: a few kinds, each named by OutcomeName.
enum class JobOutcome {
    kProgrammed,    // the board acknowledged the configuration message
    kInvalidField,  // nothing was started
    kDeviceNotCreated,
    kLinkNotStarted,  // e.g. port 5020 in use, or another copy running
    kNoBoard,         // the wait ended (TFTP ended, time limit) without a board
    kCancelled,
    kNotAcknowledged,  // the board was heard but did not acknowledge the configuration
};

// How the job ended, as precisely as the user needs to know it.
enum class JobEnd {
    kProgrammed,
    kCancelledAfterConfiguration,  // a cancel came once the board had acknowledged it
    kInvalidField,
    kDeviceNotCreated,
    kLinkPortInUse,        // the link's socket could not be opened (UDP port 5020)
    kCancelled,            // the front-end's cancel (a question answered Yes, Ctrl-C)
    kTransferCancelled,    // Cancel in the progress window
    kNoBoardAnswered,      // "not responding" answered Cancel before any transfer
    kTransferStalled,      // the same, the board gone silent during its transfer
    kSilentAfterFirmware,  // the same, the board loaded its firmware but never talked
    kFirmwareServerFailed,
    kTimedOut,
    kNotAcknowledged,
};

// A job that goes on without one of its services: told at once, not at the end.
enum class JobWarning {
    kNoAdapter,          // no adapter with an IPv4 address: nobody to answer BOOTP
    kBootpPortInUse,     // no adapter could bind UDP port 67
    kFirmwarePortInUse,  // TFTP could not bind UDP port 69
};

// What some messages name.
struct JobEndDetails {
    std::string fieldProblem;  // kInvalidField: the field and what is wrong with it
    std::uint16_t linkPort = 5020;
    std::string boardAddress;  // kNotAcknowledged: "a.b.c.d:port"
};

const char* OutcomeName(JobOutcome outcome);
JobOutcome OutcomeOf(JobEnd end);
// "programmed", "transfer-cancelled", ...: for logs and tests.
const char* JobEndName(JobEnd end);
std::string JobEndMessage(JobEnd end, const JobEndDetails& details = {});
std::string JobWarningMessage(JobWarning warning);

}  // namespace app
