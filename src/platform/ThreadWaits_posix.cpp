#include "platform/ThreadWaits.h"

#include <sys/resource.h>

namespace snapsift {

// The voluntary context switches: every sleep the thread entered itself. A preemption counts
// among the involuntary ones instead.
std::optional<std::uint64_t> WaitsOfThisThread() {
#if defined(RUSAGE_THREAD)
    struct rusage usage {};
    if (::getrusage(RUSAGE_THREAD, &usage) == 0) return static_cast<std::uint64_t>(usage.ru_nvcsw);
#endif
    return std::nullopt;
}

}  // namespace snapsift
