#include "ScanRunFixture.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

namespace snapsift::test {

bool SetFileTimesUtc(const std::filesystem::path& path, const DateTime& accessed, const DateTime& modified) {
    const timespec times[2] = {{static_cast<time_t>(UnixSeconds(accessed)), 0},
                               {static_cast<time_t>(UnixSeconds(modified)), 0}};
    return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

long MissingFileError() { return ENOENT; }
long MissingFolderError() { return ENOENT; }

}  // namespace snapsift::test
