#include "CliProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#include "support/TempTree.h"

extern char** environ;

namespace snapsift::test {

namespace {

class FileActions {
public:
    FileActions() { posix_spawn_file_actions_init(&actions_); }
    ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
    posix_spawn_file_actions_t* Get() { return &actions_; }

private:
    posix_spawn_file_actions_t actions_;
};

}  // namespace

CliProcess::CliProcess(const std::vector<std::string>& arguments, const std::string& captureFolder,
                       const std::string& workFolder, int terminalColumns) {
    static std::atomic<int> counter{0};
    const std::string stem = captureFolder + "/cli-" + std::to_string(counter++);
    outPath_ = stem + ".out";
    errPath_ = stem + ".err";

    FileActions actions;
    posix_spawn_file_actions_addopen(actions.Get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(actions.Get(), STDOUT_FILENO, outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int replica = -1;
    if (terminalColumns > 0) {
        terminal_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (terminal_ < 0 || grantpt(terminal_) != 0 || unlockpt(terminal_) != 0)
            throw std::runtime_error("no pseudo-terminal");
        replica = open(ptsname(terminal_), O_RDWR | O_NOCTTY | O_CLOEXEC);
        winsize size{};
        size.ws_col = static_cast<unsigned short>(terminalColumns);
        size.ws_row = 24;
        ioctl(terminal_, TIOCSWINSZ, &size);
        posix_spawn_file_actions_adddup2(actions.Get(), replica, STDERR_FILENO);
    } else {
        posix_spawn_file_actions_addopen(actions.Get(), STDERR_FILENO, errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    if (!workFolder.empty()) posix_spawn_file_actions_addchdir_np(actions.Get(), workFolder.c_str());

    std::vector<std::string> argv{SNAPSIFT_CLI};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> pointers;
    for (auto& argument : argv) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    const int error = posix_spawn(&pid_, pointers[0], actions.Get(), nullptr, pointers.data(), environ);
    if (replica >= 0) close(replica);
    if (error != 0) throw std::runtime_error("cannot start snapsift-cli");
}

CliProcess::~CliProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (terminal_ >= 0) close(terminal_);
}

void CliProcess::Signal(int signal) const { kill(pid_, signal); }

void CliProcess::DrainTerminal(bool untilClosed) {
    char buffer[4096];
    for (;;) {
        pollfd poller{terminal_, POLLIN, 0};
        if (poll(&poller, 1, untilClosed ? 1000 : 0) <= 0) return;
        const ssize_t n = read(terminal_, buffer, sizeof buffer);
        if (n <= 0) return;  // EIO once the program has closed its end
        terminalText_.append(buffer, static_cast<std::size_t>(n));
    }
}

Finished CliProcess::Wait() {
    Finished finished;
    int status = 0;
    for (;;) {
        if (terminal_ >= 0) DrainTerminal(false);
        const pid_t done = waitpid(pid_, &status, terminal_ >= 0 ? WNOHANG : 0);
        if (done == pid_) break;
        if (done < 0 && errno != EINTR) break;
        if (done == 0) usleep(2000);
    }
    pid_ = -1;
    if (WIFEXITED(status)) finished.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) finished.signal = WTERMSIG(status);
    finished.out = ReadBytes(outPath_);
    if (terminal_ >= 0) {
        DrainTerminal(true);
        finished.err = terminalText_;
    } else {
        finished.err = ReadBytes(errPath_);
    }
    return finished;
}

Finished RunCli(const std::vector<std::string>& arguments, const std::string& captureFolder,
                const std::string& workFolder) {
    CliProcess process(arguments, captureFolder, workFolder);
    return process.Wait();
}

}  // namespace snapsift::test
