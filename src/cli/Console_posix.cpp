#include "cli/Console.h"

#include <cerrno>
#include <csignal>
#include <sys/ioctl.h>
#include <unistd.h>

namespace snapsift::cli {

namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnInterrupt(int) { interrupted = 1; }

int Descriptor(Stream stream) { return stream == Stream::Out ? STDOUT_FILENO : STDERR_FILENO; }

}  // namespace

void Write(Stream stream, std::string_view utf8) {
    const int fd = Descriptor(stream);
    while (!utf8.empty()) {
        const ssize_t written = ::write(fd, utf8.data(), utf8.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return;
        utf8.remove_prefix(static_cast<std::size_t>(written));
    }
}

bool IsTerminal(Stream stream) { return ::isatty(Descriptor(stream)) == 1; }

int TerminalWidth(Stream stream) {
    winsize size{};
    if (::ioctl(Descriptor(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

void InstallInterruptHandler() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;  // the second signal takes its default course
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool InterruptRequested() { return interrupted != 0; }

}  // namespace snapsift::cli
