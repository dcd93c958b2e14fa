// The scan run that START performs: self-test, checks, time-stamped output folder, report
// header, the search roots, the tail and the final message.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "text/DateTime.h"
#include "scan/ScanHost.h"
#include "evidence/EvidenceRecorder.h"
#include "scan/ScanState.h"
#include "report/Report.h"

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
    std::function<DateTime()> utcNow;                      // default: UtcNow(), for the run's facts
    Volume* liveVolume = nullptr;                          // default: LiveVolume(), what no image is
};

// The run's problems, a line each ("Folders that could not be read: 2") with the names it
// counts, in a fixed order; none for a clean run. The final message gives the lines, the
// report's closing section the lines and the names.
// Makes a new folder in outputFolder (which ends in the separator) named as run folders are,
// "Snapsift - Mmm dd, yyyy - hhmmss" at the given local time, or with " (2)", " (3)"... after it
// when that one is taken; empty when none can be made.
std::string NewStampedFolder(const std::string& outputFolder, const DateTime& localNow);

std::vector<ClosingLine> ProblemLines(const EvidenceGaps& gaps);
// What only happened, not what the report lacks: access times the system would not keep, the
// cached responses under a photo's URL that are no photo, the deleted entries left out.
std::vector<ClosingLine> NoteLines(const EvidenceGaps& gaps);

ScanResult RunScan(ScanState& state, ScanHost& host, const ScanEnvironment& environment = {});

}  // namespace snapsift
