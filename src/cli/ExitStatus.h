// The command-line program's exit statuses: one meaning each, whatever the command.
#pragma once

namespace snapsift::cli {

inline constexpr int kCompleted = 0;   // done whole: the run, the listing, every check matched
inline constexpr int kAborted = 1;     // the run was interrupted, its report complete as far as it went
inline constexpr int kStopped = 2;     // stopped by a check before anything was done (no such folder, not a run folder)
inline constexpr int kIncomplete = 3;  // done, but something could not be read or written
inline constexpr int kMismatch = 4;    // a run folder does not match what it lists

}  // namespace snapsift::cli
