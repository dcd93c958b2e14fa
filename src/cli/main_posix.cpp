// snapsift-cli's entry point on POSIX: the arguments are the bytes as given.
#include <string>
#include <vector>

#include "cli/CliMain.h"

int main(int argc, char** argv) {
    return snapsift::cli::RunCli(std::vector<std::string>(argv, argv + argc));
}
