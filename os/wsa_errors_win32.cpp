// The named codes of wsa_errors.h are winsock2.h's own: the Linux build has no
// winsock2.h to take them from, so the Windows build checks every one.
#include "os/wsa_errors.h"

#include "os/windows_headers.h"

namespace os {

static_assert(kWsaBaseErr == WSABASEERR);
static_assert(kWsaEIntr == WSAEINTR);
static_assert(kWsaEBadF == WSAEBADF);
static_assert(kWsaEAcces == WSAEACCES);
static_assert(kWsaEFault == WSAEFAULT);
static_assert(kWsaEInval == WSAEINVAL);
static_assert(kWsaEMFile == WSAEMFILE);
static_assert(kWsaEWouldBlock == WSAEWOULDBLOCK);
static_assert(kWsaEInProgress == WSAEINPROGRESS);
static_assert(kWsaEAlready == WSAEALREADY);
static_assert(kWsaENotSock == WSAENOTSOCK);
static_assert(kWsaEDestAddrReq == WSAEDESTADDRREQ);
static_assert(kWsaEMsgSize == WSAEMSGSIZE);
static_assert(kWsaEPrototype == WSAEPROTOTYPE);
static_assert(kWsaENoProtoOpt == WSAENOPROTOOPT);
static_assert(kWsaEProtoNoSupport == WSAEPROTONOSUPPORT);
static_assert(kWsaESocktNoSupport == WSAESOCKTNOSUPPORT);
static_assert(kWsaEOpNotSupp == WSAEOPNOTSUPP);
static_assert(kWsaEPfNoSupport == WSAEPFNOSUPPORT);
static_assert(kWsaEAfNoSupport == WSAEAFNOSUPPORT);
static_assert(kWsaEAddrInUse == WSAEADDRINUSE);
static_assert(kWsaEAddrNotAvail == WSAEADDRNOTAVAIL);
static_assert(kWsaENetDown == WSAENETDOWN);
static_assert(kWsaENetUnreach == WSAENETUNREACH);
static_assert(kWsaENetReset == WSAENETRESET);
static_assert(kWsaEConnAborted == WSAECONNABORTED);
static_assert(kWsaEConnReset == WSAECONNRESET);
static_assert(kWsaENoBufs == WSAENOBUFS);
static_assert(kWsaEIsConn == WSAEISCONN);
static_assert(kWsaENotConn == WSAENOTCONN);
static_assert(kWsaEShutdown == WSAESHUTDOWN);
static_assert(kWsaETooManyRefs == WSAETOOMANYREFS);
static_assert(kWsaETimedOut == WSAETIMEDOUT);
static_assert(kWsaEConnRefused == WSAECONNREFUSED);
static_assert(kWsaELoop == WSAELOOP);
static_assert(kWsaENameTooLong == WSAENAMETOOLONG);
static_assert(kWsaEHostDown == WSAEHOSTDOWN);
static_assert(kWsaEHostUnreach == WSAEHOSTUNREACH);
static_assert(kWsaENotEmpty == WSAENOTEMPTY);
static_assert(kWsaEUsers == WSAEUSERS);
static_assert(kWsaEDQuot == WSAEDQUOT);
static_assert(kWsaEStale == WSAESTALE);
static_assert(kWsaERemote == WSAEREMOTE);
static_assert(kWsaNotInitialised == WSANOTINITIALISED);

}  // namespace os
