// The scan run that START performs: self-test, checks, time-stamped output folder, report
// header, the search roots, the tail and the final message.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "text/DateTime.h"
#include "scan/ScanHost.h"
#include "search/EvidenceEntry.h"
#include "scan/ScanState.h"

namespace snapsift {

enum class ScanOutcome {
    Completed,
    Aborted,
    Stopped,  // an explicit check stopped the run; its message has been shown
};

struct ScanResult {
    ScanOutcome outcome = ScanOutcome::Stopped;
    std::string runFolder;   // the run's output folder, ending in the separator
    std::string reportPath;  // the report inside it
    std::int32_t filesFound = 0;
    EvidenceGaps gaps;       // what the report lacks
};

// What a run takes from its surroundings besides the host; tests replace them.
struct ScanEnvironment {
    std::function<DateTime()> localNow;                    // default: LocalNow()
    std::function<std::string(std::string_view)> selfTestDigest;  // default: MD5 string digest
};

// The run's problems, a line each ("Folders that could not be read: 2"), in a fixed order; none
// for a clean run. The final message and the report's closing lines give them.
std::vector<std::string> ProblemLines(const EvidenceGaps& gaps);
// The lines under the total that say what the entries are, not what the run lacks: the cached
// responses under a photo's URL that are no photo.
std::vector<std::string> FactLines(const EvidenceGaps& gaps);

ScanResult RunScan(ScanState& state, ScanHost& host, const ScanEnvironment& environment = {});

}  // namespace snapsift
