#include "window/FolderChoice.h"

namespace snapsift {

std::string FolderPathFromChooser(std::string_view chosen, char separator) {
    // Nothing chosen. (The Windows shell reports this as an empty path, which the append
    // below would turn into a lone separator; on POSIX a lone separator is the root folder.)
    if (chosen.empty()) return {};
    std::string path(chosen);
    path += separator;
    if (path.size() >= 2 && path[path.size() - 2] == separator) path.pop_back();
    return path;
}

}  // namespace snapsift
