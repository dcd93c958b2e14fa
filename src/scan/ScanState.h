// What the examiner chose for the program's scans, and the abort flag, shared by its front-end
// (window or terminal), the scan run and the walk. One instance is passed by reference; nothing
// is persisted. What a run finds comes back in its result.
#pragma once

#include <atomic>
#include <string>

namespace snapsift {

struct ScanState {
    std::string sourceFolder;     // chosen source folder, ends in the separator; empty until chosen
    std::string outputFolder;     // chosen output folder, ends in the separator; each run makes its folder in it
    // Set when the examiner stops a run (a confirmed abort in the window, an interrupt in the
    // terminal), cleared when a run starts. The window sets it from its own thread while the run
    // goes on in another.
    std::atomic<bool> abortRequested = false;

    // The other's folders and flag as they are now (the flag alone cannot be copied).
    ScanState& operator=(const ScanState& other) {
        sourceFolder = other.sourceFolder;
        outputFolder = other.outputFolder;
        abortRequested = other.abortRequested.load();
        return *this;
    }
};

}  // namespace snapsift
