#include <sys/stat.h>

#include "platform/Paths.h"

namespace snapsift {

bool PathExists(const std::string& path, bool includeFolders) {
    if (path.empty()) return false;
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) return false;
    return includeFolders || !S_ISDIR(info.st_mode);
}

bool IsLinkOrJunction(const std::string& path) {
    // Without its trailing separators, so that the last component itself is looked at.
    std::size_t length = path.size();
    while (length > 1 && path[length - 1] == kSeparator) --length;
    if (length == 0) return false;
    struct stat info;
    return ::lstat(path.substr(0, length).c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

}  // namespace snapsift
