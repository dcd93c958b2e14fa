#include "support/NtfsImages.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace snapsift::test {

int Shell(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string WhyNoNtfsVolumes(std::initializer_list<const char*> tools) {
    if (::geteuid() != 0) return "not root: ntfs-3g mounts through FUSE as root";
    if (::access("/dev/fuse", R_OK | W_OK) != 0) return "no /dev/fuse";
    std::vector<const char*> needed = {"mkntfs", "ntfs-3g"};
    needed.insert(needed.end(), tools);
    for (const char* tool : needed)
        if (Shell(std::string("command -v ") + tool + " >/dev/null") != 0) return std::string("no ") + tool;
    return "";
}

bool MountNtfs(const std::string& image, const std::string& mountPoint, bool readOnly) {
    return Shell("ntfs-3g " + std::string(readOnly ? "-o ro " : "") + Quote(image) + " " + Quote(mountPoint)) == 0;
}

bool Unmount(const std::string& mountPoint) { return Shell("umount " + Quote(mountPoint)) == 0; }

bool MakeNtfsVolume(const std::string& image, int megabytes,
                    const std::vector<std::pair<std::string, std::string>>& files, const std::string& mountPoint) {
    namespace fs = std::filesystem;
    if (Shell("truncate -s " + std::to_string(megabytes) + "M " + Quote(image) + " && mkntfs -F -Q -q " +
              Quote(image) + " >/dev/null 2>&1") != 0 ||
        !MountNtfs(image, mountPoint))
        return false;
    bool written = true;
    for (const auto& [path, bytes] : files) {
        const fs::path file = fs::path(mountPoint) / path;
        std::error_code error;
        fs::create_directories(file.parent_path(), error);
        written = (std::ofstream(file, std::ios::binary) << bytes).good() && written;
    }
    return Unmount(mountPoint) && written;
}

}  // namespace snapsift::test
