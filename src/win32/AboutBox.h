// The About box: the program's title, version, description and disclaimer, and the maker's
// copyright line and web address, both links to the maker's page that Tab reaches and a click or
// Enter opens. Modeless, and a window of its own that stays open when the main window closes;
// not shown in the taskbar.
#pragma once

#include <windows.h>

#include "win32/DialogWindow.h"

#include <functional>
#include <string>

#include "win32/TwipsLayout.h"

#include "window/WindowDesign.h"

namespace snapsift {

// A control's id: the OK button is the dialog's IDOK; the others count from 200 in their
// designed order.
constexpr int AboutControlId(AboutControl control) {
    return control == AboutControl::OkButton ? IDOK : 200 + static_cast<int>(control);
}

class AboutBox {
public:
    using UrlOpener = std::function<void(const std::wstring&)>;

    // openUrl opens the maker's page (by default the shell's handler of the address).
    explicit AboutBox(UrlOpener openUrl = {});
    ~AboutBox();
    AboutBox(const AboutBox&) = delete;
    AboutBox& operator=(const AboutBox&) = delete;

    // Made afresh when none is open, centred on over (or on the screen when null); brought to
    // the front and given the keyboard focus.
    void Show(HWND over);
    // The open box, or null.
    HWND Handle() const { return window_; }
    // Called when the box has closed.
    void OnClosed(std::function<void()> closed) { closed_ = std::move(closed); }

private:
    template <typename T>
    friend INT_PTR CALLBACK ObjectDialogProcedure(HWND, UINT, WPARAM, LPARAM);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void Create();
    void SizeForDpi(int dpi);

    UrlOpener openUrl_;
    std::function<void()> closed_;
    HWND owner_ = nullptr;  // hidden: it keeps the box out of the taskbar
    HWND window_ = nullptr;
    HICON logo_ = nullptr;
    TwipsLayout layout_;
};

}  // namespace snapsift
