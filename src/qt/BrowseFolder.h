// The folder chooser behind both Browse buttons: a modal dialog that yields a folder path
// ending in exactly one separator, or "" when nothing was chosen.
#pragma once

#include <string>
#include <string_view>

class QWidget;

namespace snapsift {

// Shows the platform's folder chooser with the given title, modal to owner. Returns the chosen
// folder (UTF-8) ending in one separator, or "" on cancel or when no file-system path came back.
std::string BrowseFolder(std::string_view title, QWidget* owner);

// The chooser's result turned into a folder path: one separator appended, a doubled separator
// at the end taken back to one (so a drive root "E:\" stays "E:\"); "" stays "".
std::string FolderPathFromChooser(std::string_view chosen, char separator);

}  // namespace snapsift
