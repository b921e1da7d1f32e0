// Linux errno values and the Windows Sockets codes they stand for, so that one
// set of socket error tables serves both builds.
#pragma once

namespace os {

// The Windows Sockets code for an errno value; other values pass unchanged.
int WsaCodeFromErrno(int errnoCode);

// The errno value for a Windows Sockets code; other values pass unchanged.
int ErrnoFromWsaCode(int wsaCode);

}  // namespace os
