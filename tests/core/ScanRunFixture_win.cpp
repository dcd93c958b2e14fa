#include <sys/utime.h>

#include "ScanRunFixture.h"

bool snapsift::test::SetFileTimesUtc(const std::filesystem::path& path, std::int64_t accessed, std::int64_t modified) {
    __utimbuf64 times{accessed, modified};
    return _wutime64(path.c_str(), &times) == 0;
}
