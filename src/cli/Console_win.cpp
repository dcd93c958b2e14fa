#include "cli/Console.h"
#include "platform/WideText.h"

#include "platform/WinHandle.h"

#include <windows.h>

#include <csignal>
#include <string>

namespace snapsift::cli {

namespace {

volatile std::sig_atomic_t interrupted = 0;

BOOL WINAPI OnControl(DWORD event) {
    interrupted = 1;
    // Ctrl-C and Ctrl-Break end the scan as an aborted run; closing the console ends the
    // program the usual way.
    return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? TRUE : FALSE;
}

HANDLE Handle(Stream stream) { return GetStdHandle(stream == Stream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE); }

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

}  // namespace

void Write(Stream stream, std::string_view utf8) {
    const HANDLE handle = Handle(stream);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || utf8.empty()) return;
    if (IsConsole(handle)) {
        const std::wstring wide = WideFromUtf8(utf8);
        DWORD written = 0;
        WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    WriteAll(handle, utf8);
}

bool IsTerminal(Stream stream) { return IsConsole(Handle(stream)); }

int TerminalWidth(Stream stream) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(Handle(stream), &info)) {
        const int width = info.srWindow.Right - info.srWindow.Left + 1;
        if (width > 0) return width;
    }
    return 80;
}

void InstallInterruptHandler() { SetConsoleCtrlHandler(OnControl, TRUE); }

bool InterruptRequested() { return interrupted != 0; }

}  // namespace snapsift::cli
