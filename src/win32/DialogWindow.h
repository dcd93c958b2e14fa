// The program's top-level windows as dialogs of classes of their own: the dialog manager's
// keyboard handling (Tab, Enter, Esc), the program's icon, and no template controls; each
// window makes and places its own controls.
#pragma once

#include <windows.h>

#include <string_view>

namespace snapsift {

// The program's icon (resource 1) at the system's large or small icon size; null when the
// executable carries none.
HICON ProgramIcon(bool small);

// A modeless dialog window of class className (registered on first use), with no controls.
// procedure receives WM_INITDIALOG with parameter before this returns.
HWND CreateDialogWindow(const wchar_t* className, DWORD style, DWORD exStyle, HWND owner,
                        DLGPROC procedure, LPARAM parameter);

// A child control of a dialog window, hidden until shown; text is UTF-8 program text.
HWND CreateControl(HWND parent, const wchar_t* windowClass, DWORD style, DWORD exStyle, int id,
                   std::string_view text);

// The window's size for its client area of width by height twips at its resolution, with a
// menu bar when it has one; the top-left corner stays.
void SetClientSizeTwips(HWND window, int width, int height, int dpi);

// Moves the window so that its centre is that of `over`'s window rectangle (the work area of
// the primary monitor when over is null), kept within the work area of the monitor it lands on.
void CentreWindow(HWND window, HWND over);
// Moves the window the least that brings it within its monitor's work area.
void KeepInWorkArea(HWND window);
// Moves the window to the top-left corner of the rectangle that a WM_DPICHANGED message
// suggests (its lParam); the size is left to the window's own layout at the new resolution.
void MoveToSuggestedCorner(HWND window, LPARAM suggestedRect);

// The dialog procedure of a window object: the object comes as the WM_INITDIALOG parameter,
// takes its dialog's handle then, and is handed every message through its OnMessage. T
// befriends this procedure and holds the handle in window_.
template <typename T>
INT_PTR CALLBACK ObjectDialogProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(window, GWLP_USERDATA, lParam);
        reinterpret_cast<T*>(lParam)->window_ = window;
    }
    auto* object = reinterpret_cast<T*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    return object != nullptr ? object->OnMessage(message, wParam, lParam) : FALSE;
}

// A dialog procedure's answer to a message whose result goes back through DWLP_MSGRESULT.
INT_PTR DialogResult(HWND dialog, LRESULT result);

}  // namespace snapsift
