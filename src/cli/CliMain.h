// snapsift-cli's program: the command line read into a scan's settings, the checks before
// the run, the run itself, and the exit status (0 completed, 1 aborted, 2 stopped).
#pragma once

#include <string>
#include <vector>

namespace snapsift::cli {

// The arguments in UTF-8 (on POSIX the bytes as given), the program's name first.
int RunCli(const std::vector<std::string>& arguments);

}  // namespace snapsift::cli
