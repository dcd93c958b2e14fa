// snapsift-cli --list-cache: every entry of a browser's cache folder as tab-separated text.
#pragma once

#include <string>

namespace snapsift::cli {

// Lists the cache in `folder` on standard output, a header row first; files of a cache2
// entries/ folder that are no entry are named on standard error. 0 when the cache was read
// whole, 3 when some of it could not be read, 2 when the folder holds no cache.
int ListCacheFolder(const std::string& folder);

}  // namespace snapsift::cli
