#include "net/CTftp.h"

#include <chrono>
#include <system_error>

#include "diag/CLog.h"
#include "os/clock.h"
#include "os/error_text.h"

namespace net {
namespace {

using diag::theLog;

constexpr std::size_t kServerSocketIndex = 0;
constexpr std::size_t kTransferSocketIndex = 1;
constexpr int kWsaWouldBlock = 10035;
// Datagrams taken from one socket per wake-up, so a flood cannot starve the other.
constexpr int kMaxReadsPerWake = 64;
// A wait that fails returns at once; pause so a failing wait cannot spin.
constexpr std::uint32_t kFailedWaitPauseMs = 50;

}  // namespace

CTftp::CTftp(const BoardContext& context, CTftpTiming timing) : transfer(context, timing, *this) {}

CTftp::~CTftp() {
    Stop();
}

bool CTftp::Start() {
    if (worker.joinable()) {
        if (running.load()) return true;
        worker.join();  // a worker that ended by itself (Cancel) is replaced
    }
    waiter.ResetStop();
    running = true;
    try {
        worker = std::thread(&CTftp::ServerThread, this);
    } catch (const std::system_error& error) {
        theLog.Print("CTftp::Start - cannot start the worker: %s", error.what());
        running = false;
        ended = 1;
        return false;
    }
    return true;
}

bool CTftp::Stop() {
    if (!worker.joinable()) return true;
    waiter.RequestStop();
    worker.join();
    return true;
}

void CTftp::ServerThread() {
    if (!waiter.IsValid()) {
        // Without its wait the worker could only spin on time-outs and ask the user
        // whether the board is there: it ends, and the device sees it ended.
        theLog.Print(
            "CTftp::ServerThread - cannot wait for datagrams: the system gave no wake-up object");
        running = false;
        ended = 1;
        return;
    }
    transfer.CreateProgressWindow();
    if (OpenServerSocket()) RunLoop();
    transfer.FlushDropSummaries();
    receiveErrors.Flush(os::TickCountMs());
    CloseSockets();
    transfer.DestroyProgressWindow();
    running = false;
    ended = 1;
}

void CTftp::RunLoop() {
    transfer.BeginListening();
    while (running.load()) {
        const os::WaitResult result = waiter.Wait(transfer.WaitTimeout());
        switch (result.outcome) {
            case os::WaitOutcome::kStopped:
                running = false;
                break;
            case os::WaitOutcome::kReadable:
                if (result.IsReadable(kServerSocketIndex)) ReceiveTftp();
                if (result.IsReadable(kTransferSocketIndex)) HandleTftpRead();
                // Other hosts' datagrams must not hold back a re-send that is due.
                if (!transfer.ServiceTransfers()) running = false;
                break;
            case os::WaitOutcome::kError:
                std::this_thread::sleep_for(std::chrono::milliseconds(kFailedWaitPauseMs));
                [[fallthrough]];
            case os::WaitOutcome::kTimeout:
                if (!transfer.OnTimeout()) running = false;
                break;
        }
        if (!transfer.PumpProgress()) running = false;
    }
}

bool CTftp::OpenServerSocket() {
    if (!serverSocket.Open()) {
        theLog.Print("CTftp::OpenServerSocket - cannot create a UDP socket: error %d",
                     serverSocket.LastError());
        return false;
    }
    // Without the port the worker still runs, as the job expects, but hears nothing.
    if (serverSocket.Bind(0, serverPort)) {
        listeningPort = serverSocket.LocalPort();
    } else {
        const int error = serverSocket.LastError();
        theLog.Print(
            "CTftp::OpenServerSocket - cannot bind UDP port %u, so no read request can "
            "arrive: error %d - %s",
            static_cast<unsigned>(serverPort), error, os::SystemErrorText(error).c_str());
    }
    waiter.RemoveAll();
    if (!waiter.Add(serverSocket)) {
        theLog.Print("CTftp::OpenServerSocket - cannot wait on the socket: error %d",
                     os::LastSocketError());
        serverSocket.Close();
        return false;
    }
    return true;
}

bool CTftp::EnsureTransferSocket() {
    return transferSocket.IsOpen() || OpenTransferSocket();
}

bool CTftp::OpenTransferSocket() {
    // Bound now rather than by the first send, so the waiter can watch it at once.
    if (transferSocket.Open() && transferSocket.Bind(0, 0) && waiter.Add(transferSocket))
        return true;
    theLog.Print("CTftp::OpenTransferSocket - cannot open the transfer socket: error %d",
                 transferSocket.LastError());
    transferSocket.Close();
    return false;
}

void CTftp::CloseSockets() {
    waiter.RemoveAll();
    transferSocket.Close();
    serverSocket.Close();
    listeningPort = 0;
}

void CTftp::ReceiveTftp() {
    for (int read = 0; read < kMaxReadsPerWake; ++read) {
        os::SocketAddress from;
        const int length = serverSocket.ReceiveFrom(receiveBuffer, kReceiveBufferSize, &from);
        if (length < 0 && serverSocket.LastError() == kWsaWouldBlock) return;
        if (length <= 0) {
            if (receiveErrors.Note(os::TickCountMs()))
                theLog.Print("CTftp::ReceiveTftp (Server) - Error in recvfrom %d", length);
            continue;
        }
        transfer.OnServerDatagram(receiveBuffer, length, from);
    }
}

void CTftp::HandleTftpRead() {
    for (int read = 0; read < kMaxReadsPerWake; ++read) {
        os::SocketAddress from;
        const int length = transferSocket.ReceiveFrom(receiveBuffer, kReceiveBufferSize, &from);
        if (length < 0 && transferSocket.LastError() == kWsaWouldBlock) return;
        if (length <= 0) {
            if (receiveErrors.Note(os::TickCountMs()))
                theLog.Print("CTftp::HandleTftpRead - Error in recvfrom %d", length);
            continue;
        }
        transfer.OnTransferDatagram(receiveBuffer, length, from);
    }
}

void CTftp::SendData(const std::uint8_t* packet, int length, const os::SocketAddress& to) {
    transferSocket.SendTo(packet, length, to);
}

}  // namespace net
