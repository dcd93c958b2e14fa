// Runs snapsift-cli as a program, on POSIX and under Windows alike, for the tests that hold on both.
#pragma once

#include <string>
#include <vector>

#include "support/TempTree.h"

namespace snapsift::test {

struct CliResult {
    int exitCode = -1;
    std::string out, err;  // standard output and error, line ends as the program wrote them
};

// The program with the arguments, its standard output and error captured in files of the tree.
CliResult RunCli(const TempTree& tree, const std::vector<std::string>& arguments);

}  // namespace snapsift::test
