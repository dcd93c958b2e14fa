// The window program on Windows: the main window over the program-wide scan state; it ends
// when its last window has closed.
#include <windows.h>

#include <commctrl.h>
#include <ole2.h>

#include "scan/ScanState.h"
#include "win32/Win32MainWindow.h"
#include "win32/MessageLoop.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int showCommand) {
    // The shell's folder chooser in its new style needs OLE on this thread.
    const HRESULT ole = OleInitialize(nullptr);
    const INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    int exitCode = 0;
    {
        snapsift::ScanState state;
        snapsift::Win32MainWindow window(state);
        window.Show(showCommand);
        exitCode = snapsift::RunMessageLoop();
    }
    if (SUCCEEDED(ole)) OleUninitialize();
    return exitCode;
}
