// The state of one program's scans, shared by its front-end (window or terminal), the scan run,
// the walk and the evidence entry. One instance is passed by reference; nothing is persisted.
#pragma once

#include <cstdint>
#include <string>

namespace snapsift {

struct ScanState {
    std::string SourceFolder;     // chosen source folder, ends in the separator; empty until chosen
    std::string OutputFolder;     // chosen output folder, or during a run the run's own folder
    // Set when the examiner stops a run (a confirmed abort in the window, an interrupt in the
    // terminal), cleared when a run starts.
    bool AbortRequested = false;
    std::int32_t FilesFound = 0;  // files recognised in the current or last run
};

}  // namespace snapsift
