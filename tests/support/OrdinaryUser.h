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
    return ::geteuid() != 0 || (::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0);
}

// The short text that work returns in a child run as an ordinary user, or why there is none.
inline std::string AsOrdinaryUser(const std::function<std::string()>& work) {
    int ends[2];
    if (::pipe(ends) != 0) return "no pipe";
    const pid_t child = ::fork();
    if (child == 0) {
        const std::string text = BecomeOrdinaryUser() ? work() : "cannot become user 65534";
        ::_exit(::write(ends[1], text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 1);
    }
    ::close(ends[1]);
    std::string text(1 << 16, '\0');
    const ssize_t size = ::read(ends[0], text.data(), text.size());  // one short write, read at once
    ::close(ends[0]);
    int status = 0;
    if (child > 0) ::waitpid(child, &status, 0);
    if (child < 0 || size < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return "the child failed";
    return text.substr(0, static_cast<std::size_t>(size));
}

}  // namespace snapsift::test
