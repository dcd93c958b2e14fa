#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/FileTimes.h"
#include "support/TempTree.h"

namespace snapsift {

// Accessed 2011-02-03 04:05:06.999, modified 2010-01-05 07:03:09.750 UTC.
TEST(FileTimesPosix, KnownTimesInUtcInAnyTimeZone) {
    test::TempTree tree;
    tree.File("photo.jpg", "x");
    const timespec times[2] = {{1296705906, 999'000'000}, {1262674989, 750'000'000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, tree.Text("photo.jpg").c_str(), times, 0), 0);
    const char* saved = std::getenv("TZ");
    const std::optional<std::string> savedZone = saved != nullptr ? std::optional<std::string>(saved) : std::nullopt;
    for (const char* zone : {"UTC0", "NZST-12NZDT,M9.5.0,M4.1.0/3"}) {
        ::setenv("TZ", zone, 1);
        ::tzset();
        std::optional<DateTime> created;
        DateTime accessed, modified;
        EXPECT_TRUE(GetFileTimes(tree.Text("photo.jpg"), created, accessed, modified)) << zone;
        EXPECT_EQ(modified, (DateTime{2010, 1, 5, 7, 3, 9})) << zone;
        EXPECT_EQ(accessed, (DateTime{2011, 2, 3, 4, 5, 6})) << zone;
    }
    if (savedZone) ::setenv("TZ", savedZone->c_str(), 1);
    if (!savedZone) ::unsetenv("TZ");
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
