// The folder chooser's answer as the program keeps a folder: ending in exactly one separator.
#pragma once

#include <string>
#include <string_view>

namespace snapsift {

// The chooser's result turned into a folder path: one separator appended, a doubled separator
// at the end taken back to one (so a drive root "E:\" stays "E:\"); "" (nothing chosen) stays "".
std::string FolderPathFromChooser(std::string_view chosen, char separator);

}  // namespace snapsift
