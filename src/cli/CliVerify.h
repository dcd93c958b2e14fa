// snapsift-cli --verify: a run folder checked against its own spreadsheet form and digest list.
#pragma once

#include <string>

namespace snapsift::cli {

// Prints a line for each file missing, changed or not listed, then a summary, on standard
// output. 0 when everything matches, 4 when anything does not, 2 when `folder` is no run folder.
int VerifyRunFolder(const std::string& folder);

}  // namespace snapsift::cli
