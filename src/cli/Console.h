// The terminal of snapsift-cli: UTF-8 text to standard output and standard error, whether a
// stream is a terminal and how wide, and the interrupt flag that Ctrl-C sets.
#pragma once

#include <string_view>

namespace snapsift::cli {

enum class Stream { Out, Err };

// Writes UTF-8 text as it is (to a Windows console as UTF-16).
void Write(Stream stream, std::string_view utf8);
bool IsTerminal(Stream stream);
// Columns of the terminal, or 80 when unknown.
int TerminalWidth(Stream stream);

// Ctrl-C and SIGTERM (console control events on Windows) set the interrupt flag. A second
// Ctrl-C on POSIX ends the program at once; every entry written until then is complete.
void InstallInterruptHandler();
bool InterruptRequested();

}  // namespace snapsift::cli
