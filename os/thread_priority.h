// Scheduling priority of the calling thread, for the threads that answer boards
// within their short protocol time-outs.
#pragma once

namespace os {

// Windows: THREAD_PRIORITY_TIME_CRITICAL. Linux: SCHED_FIFO at its highest
// priority; where that is not permitted the thread keeps its normal priority.
// False when the priority was not raised.
bool SetCurrentThreadHighestPriority();

}  // namespace os
