#include "net/CTftp.h"

#include <chrono>
#include <system_error>

#include "diag/CLog.h"
#include "os/clock.h"
#include "os/error_text.h"
#include "os/wsa_errors.h"

namespace net {
namespace {

using diag::theLog;

constexpr std::size_t kServerSocketIndex = 0;
constexpr std::size_t kTransferSocketIndex = 1;
// Datagrams taken from one socket per wake-up, so a flood cannot starve the other.
constexpr int kMaxReadsPerWake = 64;
// A wait that fails returns at once; pause so a failing wait cannot spin.
constexpr std::uint32_t kFailedWaitPauseMs = 50;

}  // namespace

CTftp::CTftp(const BoardContext& context, CTftpTiming timing) : transfer_(context, timing, *this) {}

CTftp::~CTftp() {
    Stop();
}

bool CTftp::Start() {
    if (worker_.joinable()) {
        if (running_.load()) return true;
        worker_.join();  // a worker that ended by itself (Cancel) is replaced
    }
    waiter_.ResetStop();
    portState_ = PortState::kPending;
    endReason_ = EndReason::kRunning;
    running_ = true;
    try {
        worker_ = std::thread(&CTftp::ServerThread, this);
    } catch (const std::system_error& error) {
        theLog.Print("CTftp::Start - cannot start the worker: %s", error.what());
        endReason_ = EndReason::kFailed;
        running_ = false;
        ended_ = 1;
        return false;
    }
    return true;
}

bool CTftp::Stop() {
    if (!worker_.joinable()) return true;
    waiter_.RequestStop();
    worker_.join();
    return true;
}

void CTftp::ServerThread() {
    if (!waiter_.IsValid()) {
        // Without its wait the worker could only spin on time-outs and ask the user
        // whether the board is there: it ends, and the device sees it ended.
        theLog.Print(
            "CTftp::ServerThread - cannot wait for datagrams: the system gave no wake-up object");
        endReason_ = EndReason::kFailed;
        running_ = false;
        ended_ = 1;
        return;
    }
    transfer_.CreateProgressWindow();
    if (OpenServerSocket()) {
        RunLoop();
    } else {
        endReason_ = EndReason::kFailed;
    }
    transfer_.FlushDropSummaries();
    receiveErrors_.Flush(os::TickCountMs());
    CloseSockets();
    transfer_.DestroyProgressWindow();
    running_ = false;
    ended_ = 1;
}

void CTftp::RunLoop() {
    transfer_.BeginListening();
    while (running_.load()) {
        const os::WaitResult result = waiter_.Wait(transfer_.WaitTimeout());
        switch (result.outcome) {
            case os::WaitOutcome::kStopped:
                EndLoop(EndReason::kStopped);
                break;
            case os::WaitOutcome::kReadable:
                if (result.IsReadable(kServerSocketIndex)) ReceiveTftp();
                if (result.IsReadable(kTransferSocketIndex)) HandleTftpRead();
                // Other hosts' datagrams must not hold back a re-send that is due.
                if (!transfer_.ServiceTransfers()) EndLoop(EndReason::kSilenceCancelled);
                break;
            case os::WaitOutcome::kError:
                std::this_thread::sleep_for(std::chrono::milliseconds(kFailedWaitPauseMs));
                [[fallthrough]];
            case os::WaitOutcome::kTimeout:
                if (!transfer_.OnTimeout()) EndLoop(EndReason::kSilenceCancelled);
                break;
        }
        if (running_.load() && !transfer_.PumpProgress()) EndLoop(EndReason::kProgressCancelled);
    }
}

void CTftp::EndLoop(EndReason reason) {
    endReason_ = reason;
    running_ = false;
}

bool CTftp::OpenServerSocket() {
    if (!serverSocket_.Open()) {
        portState_ = PortState::kUnavailable;
        theLog.Print("CTftp::OpenServerSocket - cannot create a UDP socket: error %d",
                     serverSocket_.LastError());
        return false;
    }
    // Without the port the worker still runs, as the job expects, but hears nothing.
    if (serverSocket_.Bind(0, serverPort_)) {
        listeningPort_ = serverSocket_.LocalPort();
        portState_ = PortState::kListening;
    } else {
        portState_ = PortState::kUnavailable;
        const int error = serverSocket_.LastError();
        theLog.Print(
            "CTftp::OpenServerSocket - cannot bind UDP port %u, so no read request can "
            "arrive: error %d - %s",
            static_cast<unsigned>(serverPort_), error, os::SystemErrorText(error).c_str());
    }
    waiter_.RemoveAll();
    if (!waiter_.Add(serverSocket_)) {
        theLog.Print("CTftp::OpenServerSocket - cannot wait on the socket: error %d",
                     os::LastSocketError());
        serverSocket_.Close();
        return false;
    }
    return true;
}

bool CTftp::EnsureTransferSocket() {
    return transferSocket_.IsOpen() || OpenTransferSocket();
}

bool CTftp::OpenTransferSocket() {
    // Bound now rather than by the first send, so the waiter can watch it at once.
    if (transferSocket_.Open() && transferSocket_.Bind(0, 0) && waiter_.Add(transferSocket_))
        return true;
    theLog.Print("CTftp::OpenTransferSocket - cannot open the transfer socket: error %d",
                 transferSocket_.LastError());
    transferSocket_.Close();
    return false;
}

void CTftp::CloseSockets() {
    waiter_.RemoveAll();
    transferSocket_.Close();
    serverSocket_.Close();
    listeningPort_ = 0;
}

void CTftp::ReceiveTftp() {
    for (int read = 0; read < kMaxReadsPerWake; ++read) {
        os::SocketAddress from;
        const int length = serverSocket_.ReceiveFrom(receiveBuffer_, kReceiveBufferSize, &from);
        if (length < 0 && serverSocket_.LastError() == os::kWsaEWouldBlock) return;
        if (length <= 0) {
            if (receiveErrors_.Note(os::TickCountMs()))
                theLog.Print("CTftp::ReceiveTftp (Server) - Error in recvfrom %d", length);
            continue;
        }
        transfer_.OnServerDatagram(receiveBuffer_, length, from);
    }
}

void CTftp::HandleTftpRead() {
    for (int read = 0; read < kMaxReadsPerWake; ++read) {
        os::SocketAddress from;
        const int length = transferSocket_.ReceiveFrom(receiveBuffer_, kReceiveBufferSize, &from);
        if (length < 0 && transferSocket_.LastError() == os::kWsaEWouldBlock) return;
        if (length <= 0) {
            if (receiveErrors_.Note(os::TickCountMs()))
                theLog.Print("CTftp::HandleTftpRead - Error in recvfrom %d", length);
            continue;
        }
        transfer_.OnTransferDatagram(receiveBuffer_, length, from);
    }
}

void CTftp::SendData(const std::uint8_t* packet, int length, const os::SocketAddress& to) {
    transferSocket_.SendTo(packet, length, to);
}

}  // namespace net
