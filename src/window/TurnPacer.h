// When a scan's per-file event loop turn is a full one: the view behind the window takes a full
// turn (window-system input, timers, sockets) only now and then, as looking at the system's queue
// costs more than the walk's work on a file, and 2 ms of the logic's clock keeps the window as
// lively as ever.
#pragma once

#include <cstdint>
#include <limits>

namespace snapsift {

class TurnPacer {
public:
    static constexpr std::int64_t kFullTurnIntervalNs = 2'000'000;

    // True once kFullTurnIntervalNs has passed since the last full turn, on the first call, and
    // whenever the clock went back; the turn it answers true for counts as the last full one.
    // nowNs is the logic's steady clock, read once per file.
    bool FullTurnDue(std::int64_t nowNs) {
        if (nowNs - lastFullNs_ < kFullTurnIntervalNs && nowNs >= lastFullNs_) return false;
        lastFullNs_ = nowNs;
        return true;
    }

private:
    std::int64_t lastFullNs_ = std::numeric_limits<std::int64_t>::min() / 2;  // long ago
};

}  // namespace snapsift
