#include "os/wsa_errors_posix.h"

#include <cerrno>
#include <iterator>

#include "os/wsa_errors.h"

namespace os {
namespace {

struct CodePair {
    int errnoCode;
    int wsaCode;
};

// EAGAIN and EWOULDBLOCK are one value on Linux.
constexpr CodePair kCodes[] = {
    {EINTR, kWsaEIntr},
    {EBADF, kWsaEBadF},
    {EACCES, kWsaEAcces},
    {EFAULT, kWsaEFault},
    {EINVAL, kWsaEInval},
    {EMFILE, kWsaEMFile},
    {EWOULDBLOCK, kWsaEWouldBlock},
    {EINPROGRESS, kWsaEInProgress},
    {EALREADY, kWsaEAlready},
    {ENOTSOCK, kWsaENotSock},
    {EDESTADDRREQ, kWsaEDestAddrReq},
    {EMSGSIZE, kWsaEMsgSize},
    {EPROTOTYPE, kWsaEPrototype},
    {ENOPROTOOPT, kWsaENoProtoOpt},
    {EPROTONOSUPPORT, kWsaEProtoNoSupport},
    {ESOCKTNOSUPPORT, kWsaESocktNoSupport},
    {EOPNOTSUPP, kWsaEOpNotSupp},
    {EPFNOSUPPORT, kWsaEPfNoSupport},
    {EAFNOSUPPORT, kWsaEAfNoSupport},
    {EADDRINUSE, kWsaEAddrInUse},
    {EADDRNOTAVAIL, kWsaEAddrNotAvail},
    {ENETDOWN, kWsaENetDown},
    {ENETUNREACH, kWsaENetUnreach},
    {ENETRESET, kWsaENetReset},
    {ECONNABORTED, kWsaEConnAborted},
    {ECONNRESET, kWsaEConnReset},
    {ENOBUFS, kWsaENoBufs},
    {EISCONN, kWsaEIsConn},
    {ENOTCONN, kWsaENotConn},
    {ESHUTDOWN, kWsaEShutdown},
    {ETOOMANYREFS, kWsaETooManyRefs},
    {ETIMEDOUT, kWsaETimedOut},
    {ECONNREFUSED, kWsaEConnRefused},
    {ELOOP, kWsaELoop},
    {ENAMETOOLONG, kWsaENameTooLong},
    {EHOSTDOWN, kWsaEHostDown},
    {EHOSTUNREACH, kWsaEHostUnreach},
    {ENOTEMPTY, kWsaENotEmpty},
    {EUSERS, kWsaEUsers},
    {EDQUOT, kWsaEDQuot},
    {ESTALE, kWsaEStale},
    {EREMOTE, kWsaERemote},
};

}  // namespace

int WsaCodeFromErrno(int errnoCode) {
    for (const CodePair& pair : kCodes) {
        if (pair.errnoCode == errnoCode) return pair.wsaCode;
    }
    return errnoCode;
}

int ErrnoFromWsaCode(int wsaCode) {
    for (const CodePair& pair : kCodes) {
        if (pair.wsaCode == wsaCode) return pair.errnoCode;
    }
    return wsaCode;
}

}  // namespace os
