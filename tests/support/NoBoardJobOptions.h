// Job options for a front-end's test outside a namespace: no BOOTP, TFTP on any free
// port, the link on an unused port, and a wait for the board that ends at once (no
// board answers there).
#pragma once

#include "app/ProgrammingJob.h"
#include "tests/support/UnusedUdpPort.h"

namespace testsupport {

inline app::JobOptions NoBoardJobOptions() {
    app::JobOptions options;
    options.services.bootp = false;
    options.services.tftpPort = 0;
    options.services.linkPort = UnusedUdpPort();
    options.timeoutMs = 1;
    return options;
}

}  // namespace testsupport
