#include "app/JobStageReporter.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "diag/CLog.h"
#include "diag/UiPort.h"
#include "net/hardware_address.h"
#include "os/clock.h"

namespace app {
namespace {

using diag::JobStage;
using diag::JobStageKind;

JobStage Stage(JobStageKind kind, std::string text) {
    JobStage stage;
    stage.kind = kind;
    stage.text = std::move(text);
    return stage;
}

// A status line has room for one line only.
std::string OneLine(std::string text) {
    for (char& c : text)
        if (c == '\n') c = ' ';
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

const char* LinkStageText(JobStageKind kind) {
    switch (kind) {
        case JobStageKind::kConfigurationSent:
            return "Configuration sent to the board";
        case JobStageKind::kConfigurationAcknowledged:
            return "The board acknowledged the configuration";
        case JobStageKind::kDisconnectSent:
            return "Disconnect sent to the board";
        case JobStageKind::kDisconnectAcknowledged:
            return "The board acknowledged the disconnect";
        default:
            return "";
    }
}

bool IsServiceStage(JobStageKind kind) {
    return kind == JobStageKind::kAdapterServed || kind == JobStageKind::kAdapterNoLongerServed ||
           kind == JobStageKind::kAddressGiven || kind == JobStageKind::kTransferStarted ||
           kind == JobStageKind::kTransferFinished;
}

}  // namespace

JobStageReporter::JobStageReporter() : startMs_(os::TickCountMs()) {}

void JobStageReporter::HoldUntilAdapters() {
    std::lock_guard lock(mutex_);
    holding_ = true;
}

void JobStageReporter::Adapters(std::vector<diag::JobAdapter> adapters) {
    std::string text;
    for (const diag::JobAdapter& adapter : adapters)
        text += (text.empty() ? "" : ", ") + adapter.name + " (" + adapter.address + ")";
    JobStage stage =
        Stage(JobStageKind::kBootpAdapters,
              adapters.empty() ? "No adapter answers BOOTP" : "Answering BOOTP on " + text);
    stage.adapters = std::move(adapters);
    stage.elapsedMs = os::TickCountMs() - startMs_;
    std::lock_guard lock(mutex_);
    Publish(stage);
    holding_ = false;
    for (const JobStage& held : held_)
        Publish(held);
    held_.clear();
}

void JobStageReporter::BoardHeard(const os::SocketAddress& from) {
    JobStage stage =
        Stage(JobStageKind::kBoardHeard, "Board heard on the link from " + from.ToString());
    stage.address = from.ToString();
    Raise(std::move(stage));
}

void JobStageReporter::Link(JobStageKind kind) {
    Raise(Stage(kind, LinkStageText(kind)));
}

void JobStageReporter::Outcome(const std::string& outcomeName, const std::string& message) {
    JobStage stage = Stage(JobStageKind::kOutcome, OneLine(message));
    stage.outcome = outcomeName;
    stage.message = message;
    Raise(std::move(stage));
}

void JobStageReporter::OnAddressGiven(const net::AddressGiven& given) {
    const std::string hardware =
        net::HardwareAddressText(given.hardwareAddress, given.hardwareAddressLength);
    JobStage stage = Stage(
        JobStageKind::kAddressGiven,
        "Gave " + given.address + (given.fromArpTable ? " (from the ARP table)" : "") + " to " +
            hardware + " on " + given.adapterName + " (" + given.adapterAddress + ")");
    stage.adapter = given.adapterName;
    stage.hardwareAddress = hardware;
    stage.address = given.address;
    stage.fromArpTable = given.fromArpTable;
    Raise(std::move(stage));
}

void JobStageReporter::OnAdapterChanged(const net::AdapterChange& change) {
    const std::string adapter =
        "Adapter " + change.adapterName + " (" + change.adapterAddress + ")";
    JobStage stage = change.served ? Stage(JobStageKind::kAdapterServed, adapter + " is now served")
                                   : Stage(JobStageKind::kAdapterNoLongerServed,
                                           adapter + " is no longer served: " + change.reason);
    stage.adapter = change.adapterName;
    stage.address = change.adapterAddress;
    Raise(std::move(stage));
}

void JobStageReporter::OnTransferStarted(const os::SocketAddress& client,
                                         const std::string& fileName, std::uint32_t bytes) {
    JobStage stage = Stage(JobStageKind::kTransferStarted,
                           "Firmware transfer to " + client.ToString() + " started (\"" + fileName +
                               "\", " + std::to_string(bytes) + " bytes)");
    stage.address = client.ToString();
    stage.bytes = bytes;
    Raise(std::move(stage));
}

void JobStageReporter::OnTransferFinished(const os::SocketAddress& client, std::uint32_t bytes) {
    JobStage stage = Stage(JobStageKind::kTransferFinished, "Firmware transfer to " +
                                                                client.ToString() + " finished (" +
                                                                std::to_string(bytes) + " bytes)");
    stage.address = client.ToString();
    stage.bytes = bytes;
    Raise(std::move(stage));
}

std::vector<JobStage> JobStageReporter::Stages() const {
    std::lock_guard lock(mutex_);
    return stages_;
}

std::vector<JobStage> JobStageReporter::Grants() const {
    std::lock_guard lock(mutex_);
    return grants_;
}

void JobStageReporter::Raise(JobStage stage) {
    stage.elapsedMs = os::TickCountMs() - startMs_;
    std::lock_guard lock(mutex_);
    NoteGrant(stage);
    if (holding_ && IsServiceStage(stage.kind)) {
        if (held_.size() < kMaxStages)
            held_.push_back(std::move(stage));
        else
            LeaveOut();
        return;
    }
    if (stage.kind == JobStageKind::kOutcome) {  // a job that ended before BOOTP settled
        for (const JobStage& held : held_)
            Publish(held);
        held_.clear();
        holding_ = false;
    }
    Publish(stage);
}

// Under the lock, so that stages from different threads reach the port in order.
void JobStageReporter::Publish(const JobStage& stage) {
    if (stage.kind == JobStageKind::kOutcome) {
        if (leftOut_ > 0) {
            JobStage note =
                Stage(JobStageKind::kStagesLeftOut,
                      std::to_string(leftOut_) + " more stages are left out of this list");
            note.leftOut = leftOut_;
            note.elapsedMs = stage.elapsedMs;
            Keep(note);
        }
    } else if (stages_.size() >= kMaxStages && Kept(stage.kind)) {
        if (leftOut_++ == 0)
            diag::theLog.Print(
                "ProgrammingJob - %u stages listed: the rest are counted, not listed",
                static_cast<unsigned>(kMaxStages));
        return;
    }
    Keep(stage);
}

void JobStageReporter::LeaveOut() {
    if (leftOut_++ == 0)
        diag::theLog.Print("ProgrammingJob - %u stages listed: the rest are counted, not listed",
                           static_cast<unsigned>(kMaxStages));
}

void JobStageReporter::Keep(const JobStage& stage) {
    stages_.push_back(stage);
    diag::theLog.Print("ProgrammingJob - %u ms: %s", static_cast<unsigned>(stage.elapsedMs),
                       stage.text.c_str());
    diag::Ui().OnJobStage(stage);
}

bool JobStageReporter::Kept(JobStageKind kind) const {
    return std::any_of(stages_.begin(), stages_.end(),
                       [kind](const JobStage& kept) { return kept.kind == kind; });
}

void JobStageReporter::NoteGrant(const JobStage& stage) {
    if (stage.kind != JobStageKind::kAddressGiven || grants_.size() >= kMaxGrants) return;
    const bool known = std::any_of(grants_.begin(), grants_.end(), [&stage](const JobStage& grant) {
        return grant.address == stage.address;
    });
    if (!known) grants_.push_back(stage);
}

}  // namespace app
