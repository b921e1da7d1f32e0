#include "app/JobEnd.h"

namespace app {
namespace {

const char* const kNotProgrammed = "The board was not programmed: ";
// The "could not start" texts point at the command that lists adapters and ports.
const char* const kRunCheck = "Run \"emcb-config check\" to see the adapters and the ports.";

std::string NotProgrammed(const std::string& why) {
    return kNotProgrammed + why;
}

}  // namespace

const char* OutcomeName(JobOutcome outcome) {
    switch (outcome) {
        case JobOutcome::kProgrammed:
            return "programmed";
        case JobOutcome::kInvalidField:
            return "invalid-field";
        case JobOutcome::kDeviceNotCreated:
            return "device-not-created";
        case JobOutcome::kLinkNotStarted:
            return "link-not-started";
        case JobOutcome::kNoBoard:
            return "no-board";
        case JobOutcome::kCancelled:
            return "cancelled";
        case JobOutcome::kNotAcknowledged:
            return "not-acknowledged";
    }
    return "unknown";
}

JobOutcome OutcomeOf(JobEnd end) {
    switch (end) {
        case JobEnd::kProgrammed:
        case JobEnd::kCancelledAfterConfiguration:
            return JobOutcome::kProgrammed;
        case JobEnd::kInvalidField:
            return JobOutcome::kInvalidField;
        case JobEnd::kDeviceNotCreated:
            return JobOutcome::kDeviceNotCreated;
        case JobEnd::kLinkPortInUse:
            return JobOutcome::kLinkNotStarted;
        case JobEnd::kCancelled:
        case JobEnd::kTransferCancelled:
            return JobOutcome::kCancelled;
        case JobEnd::kNoBoardAnswered:
        case JobEnd::kTransferStalled:
        case JobEnd::kSilentAfterFirmware:
        case JobEnd::kFirmwareServerFailed:
        case JobEnd::kTimedOut:
            return JobOutcome::kNoBoard;
        case JobEnd::kNotAcknowledged:
            return JobOutcome::kNotAcknowledged;
    }
    return JobOutcome::kNoBoard;
}

const char* JobEndName(JobEnd end) {
    switch (end) {
        case JobEnd::kProgrammed:
            return "programmed";
        case JobEnd::kCancelledAfterConfiguration:
            return "cancelled-after-configuration";
        case JobEnd::kInvalidField:
            return "invalid-field";
        case JobEnd::kDeviceNotCreated:
            return "device-not-created";
        case JobEnd::kLinkPortInUse:
            return "link-port-in-use";
        case JobEnd::kCancelled:
            return "cancelled";
        case JobEnd::kTransferCancelled:
            return "transfer-cancelled";
        case JobEnd::kNoBoardAnswered:
            return "no-board-answered";
        case JobEnd::kTransferStalled:
            return "transfer-stalled";
        case JobEnd::kSilentAfterFirmware:
            return "silent-after-firmware";
        case JobEnd::kFirmwareServerFailed:
            return "firmware-server-failed";
        case JobEnd::kTimedOut:
            return "timed-out";
        case JobEnd::kNotAcknowledged:
            return "not-acknowledged";
    }
    return "unknown";
}

std::string JobEndMessage(JobEnd end, const JobEndDetails& details) {
    const std::string linkPort = "UDP port " + std::to_string(details.linkPort);
    switch (end) {
        case JobEnd::kProgrammed:
            return "Programming Complete";
        case JobEnd::kCancelledAfterConfiguration:
            return "The board is programmed: it acknowledged its configuration before the job "
                   "was cancelled.";
        case JobEnd::kInvalidField:
            return details.fieldProblem;
        case JobEnd::kDeviceNotCreated:
            return "Unable to create an instance of the EnetDevice Class";
        case JobEnd::kLinkPortInUse:
            // The first line is the established text of a device that does not start.
            return "EnetDevice init failure.\n" +
                   NotProgrammed("the board link (" + linkPort +
                                 ") could not start. Another program, or another copy of this "
                                 "one, may be using it; the log has the details. ") +
                   kRunCheck;
        case JobEnd::kCancelled:
            return NotProgrammed("the job was cancelled.");
        case JobEnd::kTransferCancelled:
            return NotProgrammed("the firmware transfer was cancelled.");
        case JobEnd::kNoBoardAnswered:
            return NotProgrammed("no board answered, and the wait for one was cancelled.");
        case JobEnd::kTransferStalled:
            return NotProgrammed("the board stopped answering during its firmware transfer.");
        case JobEnd::kSilentAfterFirmware:
            return NotProgrammed("it loaded its firmware but never answered on the board link (" +
                                 linkPort + ").");
        case JobEnd::kFirmwareServerFailed:
            return NotProgrammed("the firmware server stopped; the log has the details.");
        case JobEnd::kTimedOut:
            return NotProgrammed("no board answered within the time limit.");
        case JobEnd::kNotAcknowledged:
            return NotProgrammed("the board at " + details.boardAddress +
                                 " did not acknowledge the configuration.");
    }
    return NotProgrammed("the job ended for an unknown reason.");
}

std::string JobWarningMessage(JobWarning warning) {
    std::string what;
    switch (warning) {
        case JobWarning::kNoAdapter:
            what =
                "No network adapter has an IPv4 address yet, so none can answer BOOTP "
                "requests (UDP port 67).\n\nAn adapter that gets one during the job (a board "
                "powered now, a cable or USB adapter plugged in) is served from then on;";
            break;
        case JobWarning::kBootpPortInUse:
            what =
                "No network adapter can answer BOOTP requests (UDP port 67): another DHCP "
                "or BOOTP server on this computer may be using the port.\n\nA board in "
                "BOOTP mode will not get its address;";
            break;
        case JobWarning::kFirmwarePortInUse:
            what =
                "The firmware server cannot use UDP port 69: another TFTP server on this "
                "computer may be using it.\n\nA board in BOOTP mode will not load its "
                "firmware;";
            break;
    }
    return what +
           " a board that already runs its firmware can still be programmed, so the job goes "
           "on.\n\n" +
           kRunCheck;
}

}  // namespace app
