// snapsift-cli --verify: a run folder checked against its own spreadsheet form and digest list.
#pragma once

#include <string>

namespace snapsift::cli {

// Prints a line for each file missing, changed, not listed, unreadable, given two digests or no
// file of the run folder at all, then the digest list's own SHA-256, then a summary (with the
// report's total against the CSV's rows where they disagree), on standard output. 0 when
// everything matches, 4 when anything does not (a run folder without its digest list never
// matches), 2 when `folder` is no run folder. Nothing thrown gets out: it is a mismatch.
int VerifyRunFolder(const std::string& folder);

}  // namespace snapsift::cli
