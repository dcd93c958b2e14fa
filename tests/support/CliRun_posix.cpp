#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "support/CliRun.h"
#include "support/OrdinaryUser.h"

namespace snapsift::test {

CliResult RunCli(const TempTree& tree, const std::vector<std::string>& arguments, const CliOptions& options) {
    static int runs = 0;
    const std::string capture = tree.Text("capture" + std::to_string(runs++));
    std::fflush(nullptr);  // nothing of ours left buffered for the child to write out
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Before giving up root, so that no one else need write there.
        std::freopen((capture + "1").c_str(), "w", stdout), std::freopen((capture + "2").c_str(), "w", stderr);
        if (options.ordinaryUser && !BecomeOrdinaryUser()) ::_exit(125);
        const rlimit limit{options.fileSizeLimit, options.fileSizeLimit};
        if (options.fileSizeLimit != 0 && (::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || ::setrlimit(RLIMIT_FSIZE, &limit) != 0)) ::_exit(125);
        std::vector<char*> argv{const_cast<char*>(SNAPSIFT_CLI)};
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        ::_exit(::execv(argv[0], argv.data()));
    }
    int status = 0;
    bool ended = false;  // before the signal was due
    if (options.signal != 0) {
        for (int wait = 0; wait < 30000 && !(options.sendWhen && options.sendWhen()); ++wait) {
            if ((ended = ::waitpid(pid, &status, WNOHANG) == pid)) break;
            ::usleep(1000);
        }
        if (!ended) ::kill(pid, options.signal);
    }
    if (!ended) ::waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, WIFSIGNALED(status) ? WTERMSIG(status) : 0,
            ReadBytes(capture + "1"), ReadBytes(capture + "2")};
}

}  // namespace snapsift::test
