// The Windows Sockets texts the link logs for a failed receive or retransmission.
#include <iterator>

#include "diag/CLog.h"
#include "net/CUdpServer.h"
#include "os/udp_socket.h"
#include "os/wsa_errors.h"

namespace net {
namespace {

struct SocketErrorEntry {
    int code;
    const char* text;
};

constexpr SocketErrorEntry kSocketErrorTexts[] = {
    {os::kWsaEIntr,
     "A blocking Windows Sockets 1.1 call was canceled through WSACancelBlockingCall. "
     " "},
    {os::kWsaEAcces,
     "The requested address is a broadcast address, but the appropriate flag was not set. "
     "Call setsockopt with the SO_BROADCAST parameter to allow the use of the broadcast "
     "address. "},
    {os::kWsaEFault,
     "The buf or to parameters are not part of the user address space, or the tolen parameter "
     "is too small.  "},
    {os::kWsaEInval,
     "An unknown flag was specified, or MSG_OOB was specified for a socket with SO_OOBINLINE "
     "enabled.  "},
    {os::kWsaEWouldBlock,
     "The socket is marked as nonblocking and the requested operation would block. "
     " "},
    {os::kWsaEInProgress,
     "A blocking Windows Sockets 1.1 call is in progress, or the service provider is still "
     "processing a callback function.  "},
    {os::kWsaENotSock, "The descriptor is not a socket.  "},
    {os::kWsaEDestAddrReq, "A destination address is required.  "},
    {os::kWsaEMsgSize,
     "The socket is message oriented, and the message is larger than the maximum supported by "
     "the underlying transport.  "},
    {os::kWsaEOpNotSupp,
     "MSG_OOB was specified, but the socket is not stream-style such as type SOCK_STREAM, OOB "
     "data is not supported in the communication domain associated with this socket, or the "
     "socket is unidirectional and supports only receive operations.  "},
    {os::kWsaEAfNoSupport, "Addresses in the specified family cannot be used with this socket.  "},
    {os::kWsaEAddrNotAvail, "The remote address is not a valid address, for example, ADDR_ANY.  "},
    {os::kWsaENetDown, "The network subsystem has failed. "},
    {os::kWsaENetUnreach, "The network cannot be reached from this host at this time.  "},
    {os::kWsaENetReset,
     "The connection has been broken due to keep-alive activity detecting a failure while the "
     "operation was in progress.  "},
    {os::kWsaEConnAborted,
     "The virtual circuit was terminated due to a time-out or other failure. The application "
     "should close the socket as it is no longer usable.  "},
    {os::kWsaEConnReset,
     "The virtual circuit was reset by the remote side executing a hard or abortive close. For "
     "UPD sockets, the remote host was unable to deliver a previously sent UDP datagram and "
     "responded with a 'Port Unreachable' ICMP packet. The application should close the socket "
     "as it is no longer usable.  "},
    {os::kWsaENoBufs, "No buffer space is available.  "},
    {os::kWsaENotConn, "The socket is not connected (connection-oriented sockets only).  "},
    {os::kWsaEShutdown,
     "The socket has been shut down; it is not possible to sendto on a socket after shutdown "
     "has been invoked with how set to SD_SEND or SD_BOTH.  "},
    {os::kWsaETimedOut,
     "The connection has been dropped, because of a network failure or because the system on "
     "the other end went down without notice.  "},
    {os::kWsaEHostUnreach, "The remote host cannot be reached from this host at this time.  "},
    {os::kWsaNotInitialised,
     "A successful WSAStartup call must occur before using this function. "},
};

}  // namespace

const char* CUdpServer::SocketErrorText(int code) {
    for (const SocketErrorEntry& entry : kSocketErrorTexts) {
        if (entry.code == code) return entry.text;
    }
    return nullptr;
}

void CUdpServer::LogSocketError() {
    if (const char* text = SocketErrorText(os::LastSocketError())) diag::theLog.Print("%s", text);
}

}  // namespace net
