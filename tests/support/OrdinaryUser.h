// POSIX tests in which permissions must bite: work done in a forked child that, when the tests
// run as root, first becomes the ordinary user 65534 (group 65534, no supplementary groups).
#pragma once

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

namespace snapsift::test {

// Gives up root's rights when the process has them; false when that fails.
inline bool BecomeOrdinaryUser() {
    if (::geteuid() != 0) return true;
    return ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0;
}

// The text that work returns in a child run as an ordinary user, or why there is none.
inline std::string AsOrdinaryUser(const std::function<std::string()>& work) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        const std::string text = BecomeOrdinaryUser() ? work() : "cannot become user 65534";
        const bool written = ::write(pipeEnds[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
        ::_exit(written ? 0 : 1);
    }
    ::close(pipeEnds[1]);
    std::string text;
    char buffer[4096];
    while (true) {
        const ssize_t n = ::read(pipeEnds[0], buffer, sizeof buffer);
        if (n <= 0) break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeEnds[0]);
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "the child failed: " + text;
    return text;
}

}  // namespace snapsift::test
