#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "platform/FileTimes.h"
#include "support/TempTree.h"

using namespace snapsift;

TEST(FileTimesPosix, KnownTimesInUtcInAnyTimeZone) {
    test::TempTree tree;
    tree.File("photo.jpg", "x");
    const std::string path = tree.Text("photo.jpg");
    // Accessed 2011-02-03 04:05:06.999, modified 2010-01-05 07:03:09.750 UTC.
    const timespec times[2] = {{1296705906, 999'000'000}, {1262674989, 750'000'000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    const std::string saved = std::getenv("TZ") ? std::getenv("TZ") : "";
    std::optional<DateTime> created;
    DateTime accessed, modified;
    for (const char* other : {"UTC0", "NZST-12NZDT,M9.5.0,M4.1.0/3"}) {
        ::setenv("TZ", other, 1);
        ::tzset();
        EXPECT_TRUE(GetFileTimes(path, created, accessed, modified)) << other;
        EXPECT_EQ(modified, (DateTime{2010, 1, 5, 7, 3, 9})) << other;
        EXPECT_EQ(accessed, (DateTime{2011, 2, 3, 4, 5, 6})) << other;
    }
    saved.empty() ? ::unsetenv("TZ") : ::setenv("TZ", saved.c_str(), 1);
    ::tzset();
}
