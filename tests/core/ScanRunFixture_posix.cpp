#include <fcntl.h>
#include <sys/stat.h>

#include "ScanRunFixture.h"

bool snapsift::test::SetFileTimesUtc(const std::filesystem::path& path, std::int64_t accessed, std::int64_t modified) {
    const timespec times[2] = {{static_cast<time_t>(accessed), 0}, {static_cast<time_t>(modified), 0}};
    return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}
