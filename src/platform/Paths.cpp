#include "platform/Paths.h"

namespace snapsift {

std::string AddBackslash(std::string path) {
    if (path.empty() || !IsSeparator(path.back())) path.push_back(kSeparator);
    return path;
}

std::string WithoutTrailingSeparators(std::string path) {
    while (!path.empty() && IsSeparator(path.back())) path.pop_back();
    return path;
}

std::filesystem::path PathFromText(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

}  // namespace snapsift
