#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/FileTimes.h"
#include "support/TempTree.h"

namespace snapsift {

TEST(FileTimesPosix, KnownTimesInUtcInAnyTimeZone) {
    test::TempTree tree;
    tree.File("photo.jpg", "x");
    const std::string path = tree.Text("photo.jpg");
    // Accessed 2011-02-03 04:05:06.999, modified 2010-01-05 07:03:09.750 UTC.
    const timespec times[2] = {{1296705906, 999'000'000}, {1262674989, 750'000'000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    const char* saved = std::getenv("TZ");
    const std::string savedZone = saved != nullptr ? saved : "";
    for (const char* zone : {"UTC0", "NZST-12NZDT,M9.5.0,M4.1.0/3"}) {
        SCOPED_TRACE(zone);
        ::setenv("TZ", zone, 1);
        ::tzset();
        std::optional<DateTime> created;
        DateTime accessed, modified;
        EXPECT_TRUE(GetFileTimes(path, created, accessed, modified));
        EXPECT_EQ(modified, (DateTime{2010, 1, 5, 7, 3, 9}));
        EXPECT_EQ(accessed, (DateTime{2011, 2, 3, 4, 5, 6}));
    }
    if (saved != nullptr)
        ::setenv("TZ", savedZone.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}

TEST(FileTimesPosix, ALinkToAFileHasNoTimes) {
    test::TempTree tree;
    tree.File("photo.jpg", "x");
    ASSERT_EQ(::symlink(tree.Text("photo.jpg").c_str(), tree.Text("link.jpg").c_str()), 0);
    std::optional<DateTime> created;
    DateTime accessed, modified;
    EXPECT_FALSE(GetFileTimes(tree.Text("link.jpg"), created, accessed, modified));
}

}  // namespace snapsift
