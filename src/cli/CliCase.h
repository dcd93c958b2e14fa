// snapsift-cli --case: the summaries by Quorvia user ID of several run folders, each checked as
// --verify checks it, in one new time-stamped case folder.
#pragma once

#include <string>
#include <vector>

namespace snapsift::cli {

// Checks each run folder (its lines on standard output, as --verify writes them), names each one
// that does not match on standard error and leaves it out, then writes the case's summary of the
// others and its digest list into a new folder in `output`, and says where. 0 when every run
// folder is in the summary, 4 when one is left out, 2 when no folder can be made in `output`, 3
// when a file of the case folder could not be written.
int WriteCase(const std::string& output, const std::vector<std::string>& runFolders);

}  // namespace snapsift::cli
