// The existence and link tests the scan asks of the file system, on path text as the program
// keeps it.
#pragma once

#include <string>

#include "text/PathText.h"

namespace snapsift {

// True when a file or (with includeFolders) a folder exists at the path, hidden and system
// entries included; false on any failure.
bool PathExists(const std::string& path, bool includeFolders);

// True when the path itself is a symbolic link, a junction or a mount point (a reparse point
// that names another entry). The walk never enters such an entry below its root.
bool IsLinkOrJunction(const std::string& path);

}  // namespace snapsift
