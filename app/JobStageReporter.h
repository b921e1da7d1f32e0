// The stages of one programming job: the job and its services report what they see,
// and this stamps each stage with the time since the job began, gives it its line of
// text, logs it, keeps it for the job's report and hands it to the UI port.
//
// The services report on their own threads; one lock keeps the stages whole and in
// order. While BOOTP starts, their stages are held back until the adapters are known,
// so that the adapters always come first. What strangers do (BOOTP requests, read
// requests) must not grow the list without bound: it keeps kMaxStages, and beyond
// them only the first stage of each kind and the outcome; the others are counted, and
// a stage before the outcome says how many were left out. The addresses BOOTP gave
// are kept apart, the first grant of each address, so that the job can still find
// its board's.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "diag/JobStage.h"
#include "net/ServiceEvents.h"

namespace app {

class JobStageReporter final : public net::ServiceEvents {
  public:
    static constexpr std::size_t kMaxStages = 100;
    static constexpr std::size_t kMaxGrants = 256;

    JobStageReporter();  // the job begins now

    // BOOTP is starting: hold the services' stages until Adapters.
    void HoldUntilAdapters();
    void Adapters(std::vector<diag::JobAdapter> adapters);
    void BoardHeard(const os::SocketAddress& from);
    // One of the four stages of the configuration and disconnect messages.
    void Link(diag::JobStageKind kind);
    void Outcome(const std::string& outcomeName, const std::string& message);

    void OnAddressGiven(const net::AddressGiven& given) override;
    void OnAdapterChanged(const net::AdapterChange& change) override;
    void OnTransferStarted(const os::SocketAddress& client, const std::string& fileName,
                           std::uint32_t bytes) override;
    void OnTransferFinished(const os::SocketAddress& client, std::uint32_t bytes) override;

    std::vector<diag::JobStage> Stages() const;
    // The first address-given stage of each address, in order (at most kMaxGrants).
    std::vector<diag::JobStage> Grants() const;

  private:
    void Raise(diag::JobStage stage);
    void Publish(const diag::JobStage& stage);  // these under mutex_
    void Keep(const diag::JobStage& stage);
    void LeaveOut();
    bool Kept(diag::JobStageKind kind) const;
    void NoteGrant(const diag::JobStage& stage);

    const std::uint32_t startMs_;
    mutable std::mutex mutex_;
    bool holding_ = false;
    std::vector<diag::JobStage> held_;
    std::vector<diag::JobStage> stages_;
    std::uint32_t leftOut_ = 0;
    std::vector<diag::JobStage> grants_;
};

}  // namespace app
