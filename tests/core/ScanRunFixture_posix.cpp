#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>

#include "ScanRunFixture.h"

namespace snapsift::test {

bool SetFileTimesUtc(const fs::path& path) {
    const timespec times[2] = {{kAccessedAt, 0}, {kModifiedAt, 0}};
    return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

// Where the file system keeps no creation time, the entry has none.
std::string CreatedLine(const std::string& path) {
    struct statx info {};
    const int result = statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME, &info);
    if (result != 0 || (info.stx_mask & STATX_BTIME) == 0) return "<b>Created time:</b> Unable to determine<br>\r\n";
    const time_t seconds = info.stx_btime.tv_sec;
    tm t{};
    gmtime_r(&seconds, &t);
    return UsCreatedLine(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
}

bool UsDateForms() { return true; }

}  // namespace snapsift::test
