#include "win32/SystemDialogs.h"

#include <shlobj.h>

#include "platform/WideText.h"
#include "scan/Version.h"
#include "window/FolderChoice.h"

namespace snapsift {

namespace {

int Box(HWND owner, std::string_view text, UINT buttons) {
    return MessageBoxW(owner, WideFromUtf8(text).c_str(), WideFromUtf8(kAppTitle).c_str(), buttons);
}

// Opens the chooser at the folder given as lpData.
int CALLBACK SelectStart(HWND chooser, UINT message, LPARAM, LPARAM start) {
    if (message == BFFM_INITIALIZED) SendMessageW(chooser, BFFM_SETSELECTIONW, TRUE, start);
    return 0;
}

}  // namespace

void ShowMessageBox(HWND owner, std::string_view text) { Box(owner, text, MB_OK); }

bool AskYesNoBox(HWND owner, std::string_view text, bool noPreselected) {
    return Box(owner, text, MB_YESNO | (noPreselected ? MB_DEFBUTTON2 : MB_DEFBUTTON1)) == IDYES;
}

std::string BrowseForFolder(HWND owner, std::string_view title, const std::string& startFolder) {
    const std::wstring wideTitle = WideFromUtf8(title);
    std::wstring start = WideFromUtf8(startFolder);
    // The shell names a folder without its closing "\", a drive root with it.
    if (start.size() > 3 && start.back() == L'\\') start.pop_back();

    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.lpszTitle = wideTitle.c_str();
    // With a box to type or paste a folder's path in; the new style needs COM on this thread,
    // which the program starts apartment-threaded with OLE.
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE | BIF_EDITBOX;
    if (!start.empty()) {
        info.lpfn = SelectStart;
        info.lParam = reinterpret_cast<LPARAM>(start.c_str());
    }
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
    wchar_t path[512] = {};
    if (chosen != nullptr) {
        if (!SHGetPathFromIDListW(chosen, path)) path[0] = L'\0';
        CoTaskMemFree(chosen);
    }
    return FolderPathFromChooser(Utf8FromWide(path), '\\');
}

}  // namespace snapsift
