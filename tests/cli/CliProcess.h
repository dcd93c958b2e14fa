// Runs snapsift-cli as a child process for the tests: arguments, working folder, standard
// output and error captured in files or (for standard error) a pseudo-terminal.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace snapsift::test {

struct Finished {
    int exitCode = -1;  // -1 when ended by a signal
    int signal = 0;
    std::string out;
    std::string err;
};

class CliProcess {
public:
    // Starts snapsift-cli with the arguments; its output goes to files in captureFolder.
    // With a terminal, standard error is a pseudo-terminal of the given width instead.
    CliProcess(const std::vector<std::string>& arguments, const std::string& captureFolder,
               const std::string& workFolder = "", int terminalColumns = 0);
    ~CliProcess();
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    pid_t Pid() const { return pid_; }
    void Signal(int signal) const;
    // Waits for the end; standard error read from the terminal when there is one.
    Finished Wait();

private:
    void DrainTerminal(bool untilClosed);

    pid_t pid_ = -1;
    std::string outPath_, errPath_;
    int terminal_ = -1;
    std::string terminalText_;
};

// Runs snapsift-cli to its end.
Finished RunCli(const std::vector<std::string>& arguments, const std::string& captureFolder,
                const std::string& workFolder = "");

}  // namespace snapsift::test
