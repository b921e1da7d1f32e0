#include "os/thread_priority.h"

#include <pthread.h>
#include <sched.h>

namespace os {

bool SetCurrentThreadHighestPriority() {
    sched_param parameters{};
    parameters.sched_priority = sched_get_priority_max(SCHED_FIFO);
    if (parameters.sched_priority < 0) return false;
    // Without CAP_SYS_NICE or an RLIMIT_RTPRIO this fails and changes nothing.
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &parameters) == 0;
}

}  // namespace os
