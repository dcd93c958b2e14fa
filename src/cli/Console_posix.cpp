#include "cli/Console.h"
#include "platform/Descriptor.h"

#include <csignal>
#include <sys/ioctl.h>
#include <unistd.h>

namespace snapsift::cli {

namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnInterrupt(int) { interrupted = 1; }

int FileNumber(Stream stream) { return stream == Stream::Out ? STDOUT_FILENO : STDERR_FILENO; }

}  // namespace

void Write(Stream stream, std::string_view utf8) { WriteAll(FileNumber(stream), utf8); }

bool IsTerminal(Stream stream) { return ::isatty(FileNumber(stream)) == 1; }

int TerminalWidth(Stream stream) {
    winsize size{};
    if (::ioctl(FileNumber(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
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
