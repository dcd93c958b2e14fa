// Program-wide state shared by the window, the scan run, the walk and the evidence entry.
// One instance lives in the application object and is passed by reference; nothing is persisted.
#pragma once

#include <cstdint>
#include <string>

namespace snapsift {

struct ScanState {
    std::string SourceFolder;     // chosen source folder, ends in the separator; empty until chosen
    std::string OutputFolder;     // chosen output folder, or during a run the run's own folder
    bool AbortRequested = false;  // set by a confirmed ABORT, cleared when a run starts
    std::int32_t FilesFound = 0;  // files recognised in the current or last run
};

}  // namespace snapsift
