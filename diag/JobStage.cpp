#include "diag/JobStage.h"

namespace diag {

const char* JobStageName(JobStageKind kind) {
    switch (kind) {
        case JobStageKind::kBootpAdapters:
            return "bootp-adapters";
        case JobStageKind::kAdapterServed:
            return "adapter-served";
        case JobStageKind::kAdapterNoLongerServed:
            return "adapter-no-longer-served";
        case JobStageKind::kAddressGiven:
            return "address-given";
        case JobStageKind::kTransferStarted:
            return "transfer-started";
        case JobStageKind::kTransferFinished:
            return "transfer-finished";
        case JobStageKind::kBoardHeard:
            return "board-heard";
        case JobStageKind::kConfigurationSent:
            return "configuration-sent";
        case JobStageKind::kConfigurationAcknowledged:
            return "configuration-acknowledged";
        case JobStageKind::kDisconnectSent:
            return "disconnect-sent";
        case JobStageKind::kDisconnectAcknowledged:
            return "disconnect-acknowledged";
        case JobStageKind::kStagesLeftOut:
            return "stages-left-out";
        case JobStageKind::kOutcome:
            return "outcome";
    }
    return "unknown";
}

}  // namespace diag
