// The Windows Sockets error codes by name, the same numbers on both builds: every
// socket call records one of these (Linux maps its errno onto them, see
// wsa_errors_posix.h), and the logs print them. Each name follows the winsock2.h
// name in its comment; on Windows they are checked against winsock2.h.
#pragma once

namespace os {

constexpr int kWsaBaseErr = 10000;          // WSABASEERR: no code lies below
constexpr int kWsaEIntr = 10004;            // WSAEINTR
constexpr int kWsaEBadF = 10009;            // WSAEBADF
constexpr int kWsaEAcces = 10013;           // WSAEACCES
constexpr int kWsaEFault = 10014;           // WSAEFAULT
constexpr int kWsaEInval = 10022;           // WSAEINVAL
constexpr int kWsaEMFile = 10024;           // WSAEMFILE
constexpr int kWsaEWouldBlock = 10035;      // WSAEWOULDBLOCK
constexpr int kWsaEInProgress = 10036;      // WSAEINPROGRESS
constexpr int kWsaEAlready = 10037;         // WSAEALREADY
constexpr int kWsaENotSock = 10038;         // WSAENOTSOCK
constexpr int kWsaEDestAddrReq = 10039;     // WSAEDESTADDRREQ
constexpr int kWsaEMsgSize = 10040;         // WSAEMSGSIZE
constexpr int kWsaEPrototype = 10041;       // WSAEPROTOTYPE
constexpr int kWsaENoProtoOpt = 10042;      // WSAENOPROTOOPT
constexpr int kWsaEProtoNoSupport = 10043;  // WSAEPROTONOSUPPORT
constexpr int kWsaESocktNoSupport = 10044;  // WSAESOCKTNOSUPPORT
constexpr int kWsaEOpNotSupp = 10045;       // WSAEOPNOTSUPP
constexpr int kWsaEPfNoSupport = 10046;     // WSAEPFNOSUPPORT
constexpr int kWsaEAfNoSupport = 10047;     // WSAEAFNOSUPPORT
constexpr int kWsaEAddrInUse = 10048;       // WSAEADDRINUSE
constexpr int kWsaEAddrNotAvail = 10049;    // WSAEADDRNOTAVAIL
constexpr int kWsaENetDown = 10050;         // WSAENETDOWN
constexpr int kWsaENetUnreach = 10051;      // WSAENETUNREACH
constexpr int kWsaENetReset = 10052;        // WSAENETRESET
constexpr int kWsaEConnAborted = 10053;     // WSAECONNABORTED
constexpr int kWsaEConnReset = 10054;       // WSAECONNRESET
constexpr int kWsaENoBufs = 10055;          // WSAENOBUFS
constexpr int kWsaEIsConn = 10056;          // WSAEISCONN
constexpr int kWsaENotConn = 10057;         // WSAENOTCONN
constexpr int kWsaEShutdown = 10058;        // WSAESHUTDOWN
constexpr int kWsaETooManyRefs = 10059;     // WSAETOOMANYREFS
constexpr int kWsaETimedOut = 10060;        // WSAETIMEDOUT
constexpr int kWsaEConnRefused = 10061;     // WSAECONNREFUSED
constexpr int kWsaELoop = 10062;            // WSAELOOP
constexpr int kWsaENameTooLong = 10063;     // WSAENAMETOOLONG
constexpr int kWsaEHostDown = 10064;        // WSAEHOSTDOWN
constexpr int kWsaEHostUnreach = 10065;     // WSAEHOSTUNREACH
constexpr int kWsaENotEmpty = 10066;        // WSAENOTEMPTY
constexpr int kWsaEUsers = 10068;           // WSAEUSERS
constexpr int kWsaEDQuot = 10069;           // WSAEDQUOT
constexpr int kWsaEStale = 10070;           // WSAESTALE
constexpr int kWsaERemote = 10071;          // WSAEREMOTE
constexpr int kWsaNotInitialised = 10093;   // WSANOTINITIALISED

}  // namespace os
