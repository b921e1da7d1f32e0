// The Windows Sockets texts the link logs for a failed receive or retransmission.
#include <iterator>

#include "diag/CLog.h"
#include "net/CUdpServer.h"
#include "os/udp_socket.h"

namespace net {
namespace {

struct SocketErrorEntry {
    int code;
    const char* text;
};

constexpr SocketErrorEntry kSocketErrorTexts[] = {
    {10004,
     "A blocking Windows Sockets 1.1 call was canceled through WSACancelBlockingCall. "
     " "},  // WSAEINTR
    {10013,
     "The requested address is a broadcast address, but the appropriate flag was not set. "
     "Call setsockopt with the SO_BROADCAST parameter to allow the use of the broadcast "
     "address. "},  // WSAEACCES
    {10014,
     "The buf or to parameters are not part of the user address space, or the tolen parameter "
     "is too small.  "},  // WSAEFAULT
    {10022,
     "An unknown flag was specified, or MSG_OOB was specified for a socket with SO_OOBINLINE "
     "enabled.  "},  // WSAEINVAL
    {10035,
     "The socket is marked as nonblocking and the requested operation would block. "
     " "},  // WSAEWOULDBLOCK
    {10036,
     "A blocking Windows Sockets 1.1 call is in progress, or the service provider is still "
     "processing a callback function.  "},            // WSAEINPROGRESS
    {10038, "The descriptor is not a socket.  "},     // WSAENOTSOCK
    {10039, "A destination address is required.  "},  // WSAEDESTADDRREQ
    {10040,
     "The socket is message oriented, and the message is larger than the maximum supported by "
     "the underlying transport.  "},  // WSAEMSGSIZE
    {10045,
     "MSG_OOB was specified, but the socket is not stream-style such as type SOCK_STREAM, OOB "
     "data is not supported in the communication domain associated with this socket, or the "
     "socket is unidirectional and supports only receive operations.  "},  // WSAEOPNOTSUPP
    {10047,
     "Addresses in the specified family cannot be used with this socket.  "},  // WSAEAFNOSUPPORT
    {10049,
     "The remote address is not a valid address, for example, ADDR_ANY.  "},  // WSAEADDRNOTAVAIL
    {10050, "The network subsystem has failed. "},                            // WSAENETDOWN
    {10051, "The network cannot be reached from this host at this time.  "},  // WSAENETUNREACH
    {10052,
     "The connection has been broken due to keep-alive activity detecting a failure while the "
     "operation was in progress.  "},  // WSAENETRESET
    {10053,
     "The virtual circuit was terminated due to a time-out or other failure. The application "
     "should close the socket as it is no longer usable.  "},  // WSAECONNABORTED
    {10054,
     "The virtual circuit was reset by the remote side executing a hard or abortive close. For "
     "UPD sockets, the remote host was unable to deliver a previously sent UDP datagram and "
     "responded with a 'Port Unreachable' ICMP packet. The application should close the socket "
     "as it is no longer usable.  "},                                              // WSAECONNRESET
    {10055, "No buffer space is available.  "},                                    // WSAENOBUFS
    {10057, "The socket is not connected (connection-oriented sockets only).  "},  // WSAENOTCONN
    {10058,
     "The socket has been shut down; it is not possible to sendto on a socket after shutdown "
     "has been invoked with how set to SD_SEND or SD_BOTH.  "},  // WSAESHUTDOWN
    {10060,
     "The connection has been dropped, because of a network failure or because the system on "
     "the other end went down without notice.  "},                                // WSAETIMEDOUT
    {10065, "The remote host cannot be reached from this host at this time.  "},  // WSAEHOSTUNREACH
    {10093,
     "A successful WSAStartup call must occur before using this function. "},  // WSANOTINITIALISED
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
