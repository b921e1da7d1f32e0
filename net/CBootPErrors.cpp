// The BOOTP server's reports of failed socket and adapter calls: one log line each,
// a fixed text for the codes each call is known to return, the system's own text
// for any other.
#include <cstdint>

#include "diag/CLog.h"
#include "net/CBootP.h"
#include "os/error_text.h"
#include "os/udp_socket.h"
#include "os/wsa_errors.h"

namespace net {
namespace {

using diag::theLog;

struct CodeName {
    int code;
    const char* name;
};

constexpr CodeName kBindErrors[] = {
    {os::kWsaNotInitialised, "WSANOTINITIALISED"},
    {os::kWsaENetDown, "WSAENETDOWN"},
    {os::kWsaEAcces, "WSAEACCES"},
    {os::kWsaEAddrInUse, "WSAEADDRINUSE"},
    {os::kWsaEAddrNotAvail, "WSAEADDRNOTAVAIL"},
    {os::kWsaEFault, "WSAEFAULT"},
    {os::kWsaEInProgress, "WSAEINPROGRESS"},
    {os::kWsaEInval, "WSAEINVAL"},
    {os::kWsaENoBufs, "WSAENOBUFS"},
    {os::kWsaENotSock, "WSAENOTSOCK"},
};

constexpr CodeName kSendToErrors[] = {
    {os::kWsaNotInitialised, "WSANOTINITIALISED"},
    {os::kWsaENetDown, "WSAENETDOWN"},
    {os::kWsaEAcces, "WSAEACCES"},
    {os::kWsaEInval, "WSAEINVAL"},
    {os::kWsaEIntr, "WSAEINTR"},
    {os::kWsaEInProgress, "WSAEINPROGRESS"},
    {os::kWsaEFault, "WSAEFAULT"},
    {os::kWsaENetReset, "WSAENETRESET"},
    {os::kWsaENoBufs, "WSAENOBUFS"},
    {os::kWsaENotConn, "WSAENOTCONN"},
    {os::kWsaENotSock, "WSAENOTSOCK"},
    {os::kWsaEOpNotSupp, "WSAEOPNOTSUPP"},
    {os::kWsaEShutdown, "WSAESHUTDOWN"},
    {os::kWsaEWouldBlock, "WSAEWOULDBLOCK"},
    {os::kWsaEMsgSize, "WSAEMSGSIZE"},
    {os::kWsaEHostUnreach, "WSAEHOSTUNREACH"},
    {os::kWsaEConnAborted, "WSAECONNABORTED"},
    {os::kWsaEConnReset, "WSAECONNRESET"},
    {os::kWsaEAddrNotAvail, "WSAEADDRNOTAVAIL"},
    {os::kWsaEAfNoSupport, "WSAEAFNOSUPPORT"},
    {os::kWsaEDestAddrReq, "WSAEDESTADDRREQ"},
    {os::kWsaENetUnreach, "WSAENETUNREACH"},
    {os::kWsaETimedOut, "WSAETIMEDOUT"},
};

constexpr CodeName kAdaptersInfoErrors[] = {
    {111, "ERROR_BUFFER_OVERFLOW"},
    {87, "ERROR_INVALID_PARAMETER"},
    {232, "ERROR_NO_DATA"},
    {50, "ERROR_NOT_SUPPORTED"},
};

template <std::size_t N>
const char* NameOf(const CodeName (&table)[N], int code) {
    for (const CodeName& entry : table) {
        if (entry.code == code) return entry.name;
    }
    return nullptr;
}

void ReportSocketError(const char* call, const char* name, int code, const char* context) {
    if (name != nullptr) {
        theLog.Print("%s - %s returned an error %s.  Error number %d\n", context, call, name, code);
    } else if (code != 0) {
        theLog.Print("%s - %s returned an error number %d -> %s\n", context, call, code,
                     os::SystemErrorText(code).c_str());
    }
}

}  // namespace

void CBootP::ReportBindError(int, const char* context) {
    const int code = os::LastSocketError();
    ReportSocketError("bind", NameOf(kBindErrors, code), code, context);
}

void CBootP::ReportSendToError(int, const char* context) {
    const int code = os::LastSocketError();
    ReportSocketError("sendto", NameOf(kSendToErrors, code), code, context);
}

void CBootP::ReportAdaptersInfoError(int code, const char* context) {
    if (const char* name = NameOf(kAdaptersInfoErrors, code)) {
        theLog.Print(
            "CBootP::DetectInterfaces - GetAdaptersInfo returned an error %s.  Error number %d\n",
            name, code);
    } else if (code != 0) {
        const int last = platform_.LastSystemError();
        theLog.Print("%s - GetAdaptersInfo returned an error %d.  Error number %d -> %s\n", context,
                     code, last, os::SystemErrorText(last).c_str());
    }
}

}  // namespace net
