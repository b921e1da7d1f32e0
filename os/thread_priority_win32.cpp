#include "os/thread_priority.h"

#include "os/windows_headers.h"

namespace os {

bool SetCurrentThreadHighestPriority() {
    return SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL) != FALSE;
}

}  // namespace os
