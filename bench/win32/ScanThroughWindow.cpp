// A scan driven through the real Win32 main window: folder mode over the tree given, photos
// off, START clicked, the final message box taken as it opens. Prints the total found, the
// seconds from the START click to the run's end and the final message.
// Usage: bench_win32 TREE OUTPUT_FOLDER   (Windows paths; under Wine on a display)
#include <windows.h>
#undef Yield

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/Paths.h"
#include "platform/WideText.h"
#include "win32/Win32MainWindow.h"
#include "win32/MessageLoop.h"

namespace {

std::string finalMessage;

// Takes the message box that ends the scan: notes its text and presses OK.
LRESULT CALLBACK TakeMessage(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        const auto box = reinterpret_cast<HWND>(wParam);
        wchar_t text[512] = {};
        if (GetDlgItemTextW(box, 0xFFFF, text, 512) > 0) {
            finalMessage = snapsift::Utf8FromWide(text);
            PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void Click(HWND button) { SendMessageW(button, BM_CLICK, 0, 0); }

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_win32 TREE OUTPUT_FOLDER\n");
        return 2;
    }
    using snapsift::Control;
    snapsift::ScanState state;
    snapsift::Win32MainWindow window(state);
    window.QuitWhenClosed(false);
    window.Show();
    snapsift::PumpPendingMessages();
    const HHOOK hook = SetWindowsHookExW(WH_CBT, TakeMessage, nullptr, GetCurrentThreadId());

    Click(window.Item(Control::ProfileFoldersOnly));
    Click(window.Item(Control::IncludePhotos));  // like --no-photos
    state.sourceFolder = snapsift::WithTrailingSeparator(snapsift::Utf8FromWide(argv[1]));
    state.outputFolder = snapsift::WithTrailingSeparator(snapsift::Utf8FromWide(argv[2]));

    LARGE_INTEGER frequency{}, start{}, end{};
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    Click(window.Item(Control::StartButton));
    while (window.Logic().Running()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        snapsift::PumpPendingMessages();
    }
    QueryPerformanceCounter(&end);
    UnhookWindowsHookEx(hook);

    for (char& c : finalMessage) c = (c == '\r' || c == '\n') ? ' ' : c;
    // The run's count, as its final message gives it.
    constexpr std::string_view kTotal = "Total files found: ";
    const std::size_t total = finalMessage.find(kTotal);
    const int found = total == std::string::npos ? 0 : std::atoi(finalMessage.c_str() + total + kTotal.size());
    std::printf("found: %d\nseconds: %.3f\nmessage: %s\n", found,
                static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart),
                finalMessage.c_str());
    return finalMessage.starts_with("Operation complete.") ? 0 : 1;
}
