#pragma once

#if defined(__linux__)
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace korvantis::ui {

// Lets the calling worker thread yield the processor to the UI thread: with
// two filters running on a two-core machine, a worker at the same priority
// would keep the UI thread waiting for a time slice. On Linux the nice value
// is per thread; elsewhere this does nothing.
inline void lowerWorkerPriority() {
#if defined(__linux__)
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 5);
#endif
}

}  // namespace korvantis::ui
