// The system's modal boxes as the program shows them: message boxes with the text alone and
// the program's title as caption, and the shell's folder chooser.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace snapsift {

// text and the result are UTF-8 program text.
void ShowMessageBox(HWND owner, std::string_view text);
bool AskYesNoBox(HWND owner, std::string_view text, bool noPreselected);  // true for Yes

// The shell's folder chooser (file-system folders only), opening at startFolder unless it is
// empty. The folder ending in one "\", or "" when nothing with a file-system path was chosen.
std::string BrowseForFolder(HWND owner, std::string_view title, const std::string& startFolder);

}  // namespace snapsift
