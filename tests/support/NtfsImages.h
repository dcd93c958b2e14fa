// NTFS volumes made during a test run: mkntfs on a file, then files written through an ntfs-3g
// mount, which takes root and /dev/fuse. Shell helpers for the tools that build disk images.
#pragma once

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace snapsift::test {

// The command's exit status through sh; -1 when it did not exit.
int Shell(const std::string& command);
// The text as one word for sh.
std::string Quote(const std::string& text);

// Why NTFS volumes cannot be made on this machine: not root, no /dev/fuse, or mkntfs, ntfs-3g or
// one of `tools` missing. "" when they can.
std::string WhyNoNtfsVolumes(std::initializer_list<const char*> tools = {});

bool MountNtfs(const std::string& image, const std::string& mountPoint, bool readOnly = false);
bool Unmount(const std::string& mountPoint);

// A new NTFS volume of `megabytes` in the file `image`, holding `files` (paths from its root,
// "/" separated, and their bytes) with their folders; filled through a mount at the empty folder
// `mountPoint`, unmounted again.
bool MakeNtfsVolume(const std::string& image, int megabytes,
                    const std::vector<std::pair<std::string, std::string>>& files, const std::string& mountPoint);

}  // namespace snapsift::test
