// What the examiner chose for the program's scans, and the abort flag, shared by its front-end
// (window or terminal), the scan run and the walk. One instance is passed by reference; nothing
// is persisted. What a run finds comes back in its result.
#pragma once

#include <string>

namespace snapsift {

struct ScanState {
    std::string SourceFolder;     // chosen source folder, ends in the separator; empty until chosen
    std::string OutputFolder;     // chosen output folder, ends in the separator; each run makes its folder in it
    // Set when the examiner stops a run (a confirmed abort in the window, an interrupt in the
    // terminal), cleared when a run starts.
    bool AbortRequested = false;
};

}  // namespace snapsift
