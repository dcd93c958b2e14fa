#include "window/MainWindowView.h"

#include <array>

namespace snapsift {

std::string_view ControlName(Control control) {
    static constexpr std::array<std::string_view, kControlCount> kNames = {
        "HelpButton", "ProfileFoldersOnly",   "DriveList", "OutputFolderBox",  "SourceFolderBox", "IncludePhotos", "AbortButton",
        "ProgressFrame",   "ShownPath",  "ScanningLabel", "StartButton", "OutputBrowseButton",   "SearchSubfolders", "SourceBrowseButton",
        "Divider",    "ReportNote",   "OutputCaption", "SourceCaption",  "CopyrightLabel",    "TitleLabel"};
    return kNames[static_cast<std::size_t>(control)];
}

}  // namespace snapsift
