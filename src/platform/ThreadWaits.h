// Whether the calling thread went to sleep by itself: for the disk, a lock or a timer, as opposed
// to being preempted while it still had work.
#pragma once

#include <cstdint>
#include <optional>

namespace snapsift {

// How many times the calling thread has waited so far; nothing where the system keeps no such
// count for a thread.
std::optional<std::uint64_t> WaitsOfThisThread();

}  // namespace snapsift
