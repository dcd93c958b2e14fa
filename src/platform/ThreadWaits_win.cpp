#include "platform/ThreadWaits.h"

namespace snapsift {

// Windows counts a thread's context switches only all together, waits and preemptions alike.
std::optional<std::uint64_t> WaitsOfThisThread() { return std::nullopt; }

}  // namespace snapsift
