// Job options for a front-end's test outside a namespace: no BOOTP, TFTP on any free
// port, the link on a port that was free a moment ago, and a wait for the board that
// ends at once (no board answers there).
#pragma once

#include "app/ProgrammingJob.h"
#include "os/udp_socket.h"

namespace testsupport {

inline app::JobOptions NoBoardJobOptions() {
    app::JobOptions options;
    options.services.bootp = false;
    options.services.tftpPort = 0;
    os::UdpSocket probe;
    if (probe.Open() && probe.Bind(0, 0)) options.services.linkPort = probe.LocalPort();
    options.timeoutMs = 1;
    return options;
}

}  // namespace testsupport
