#include "app/BoardRun.h"

#include <algorithm>
#include <utility>

#include "app/address_text.h"
#include "diag/CLog.h"
#include "os/inet_addr.h"

namespace app {
namespace {

void AddOnce(std::vector<std::uint32_t>& addresses, std::uint32_t address) {
    if (address == os::kInaddrNone || address == 0) return;
    if (std::find(addresses.begin(), addresses.end(), address) == addresses.end())
        addresses.push_back(address);
}

}  // namespace

std::string BoardPrompt(int row, std::size_t count, bool retry) {
    return "Board " + std::to_string(row) + " of " + std::to_string(count) +
           (retry ? " (retry)" : "") + ": fit the BOOTP jumper and power it on";
}

BoardRun::BoardRun(std::vector<BoardRow> rows, JobOptions options) : options_(std::move(options)) {
    options_.oneBoardPerJob = true;
    for (BoardRow& row : rows) {
        BoardResult result;
        result.board = std::move(row);
        results_.push_back(std::move(result));
    }
}

bool BoardRun::AllProgrammed() const {
    return std::all_of(results_.begin(), results_.end(),
                       [](const BoardResult& result) { return result.Programmed(); });
}

bool BoardRun::Stopping(const std::atomic<bool>* stopAfterBoard) const {
    const bool cancelled = options_.cancel != nullptr && options_.cancel->load();
    return cancelled || (stopAfterBoard != nullptr && stopAfterBoard->load());
}

void BoardRun::Run(bool retryFailed, const std::atomic<bool>* stopAfterBoard, const Hooks& hooks) {
    interrupted_ = false;
    for (const bool retry : {false, true}) {
        if (retry && !retryFailed) break;
        for (BoardResult& result : results_) {
            if (retry && result.Programmed()) continue;
            if (Stopping(stopAfterBoard)) {
                interrupted_ = true;
                return;
            }
            Program(result, retry, hooks);
        }
    }
}

void BoardRun::Program(BoardResult& result, bool retry, const Hooks& hooks) {
    const std::string prompt = BoardPrompt(result.board.row, results_.size(), retry);
    diag::theLog.Print("BoardRun - %s", prompt.c_str());
    if (hooks.beforeBoard) hooks.beforeBoard(prompt);

    JobOptions options = options_;
    options.services.admission.excluded = programmedHardware_;
    options.services.admission.refusedAddresses = configuredAddresses_;
    for (const std::uint32_t address : lastBoardAddresses_)
        AddOnce(options.services.admission.refusedAddresses, address);
    const JobReport report = RunProgrammingJob(result.board.fields, options);

    ++result.attempts;
    result.outcome = OutcomeName(report.outcome);
    result.message = report.message;
    result.hardwareAddress = report.hardwareAddress;
    result.bootpAddress = report.bootpAddress;
    result.msFromAddressToResult = report.msFromAddressToResult;
    if (result.Programmed()) Remember(result, report);
    if (hooks.afterBoard) hooks.afterBoard(result, results_);
}

// A board, once programmed, restarts at the address it was configured with, and keeps
// it. Until it restarts it may still answer where BOOTP put it, so the next job must
// neither give that address again nor take it for its peer. Only the last board's is
// kept: the pool has ten addresses, and refusing every board's would leave none after
// the tenth; a board lingering longer is still seen in the ARP table, which the pool
// consults too.
void BoardRun::Remember(const BoardResult& result, const JobReport& report) {
    if (const auto hardware = net::ParseEthernetAddress(report.hardwareAddress))
        programmedHardware_.push_back(*hardware);
    // The row's text was checked when the list was read.
    if (const auto configured = ParseIpv4Text(result.board.fields.ip))
        AddOnce(configuredAddresses_, *configured);
    lastBoardAddresses_.clear();
    AddOnce(lastBoardAddresses_, report.boardIp);
    AddOnce(lastBoardAddresses_, os::InetAddr(report.bootpAddress.c_str()));
}

}  // namespace app
