#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/FileTimes.h"
#include "support/TempTree.h"

namespace snapsift {
namespace {

// Sets TZ for the life of one scope, and gives the old value back.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) old_ = old;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ScopedTimeZone() {
        if (old_)
            ::setenv("TZ", old_->c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::optional<std::string> old_;
};

void SetTimes(const std::string& path, timespec accessed, timespec modified) {
    const timespec times[2] = {accessed, modified};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

TEST(FileTimesPosix, KnownTimesInUtcWhateverTheTimeZone) {
    test::TempTree tree;
    tree.File("photo.jpg", "x");
    const std::string path = tree.Text("photo.jpg");
    // 2011-02-03 04:05:06.999 and 2010-01-05 07:03:09.750 UTC.
    SetTimes(path, {1296705906, 999'000'000}, {1262674989, 750'000'000});
    for (const char* zone : {"UTC0", "EST5EDT,M3.2.0,M11.1.0", "IST-5:30", "NZST-12NZDT,M9.5.0,M4.1.0/3"}) {
        SCOPED_TRACE(zone);
        ScopedTimeZone tz(zone);
        std::optional<DateTime> created;
        DateTime accessed, modified;
        ASSERT_TRUE(GetFileTimes(path, created, accessed, modified));
        EXPECT_EQ(modified, (DateTime{2010, 1, 5, 7, 3, 9}));
        EXPECT_EQ(accessed, (DateTime{2011, 2, 3, 4, 5, 6}));
    }
}

TEST(FileTimesPosix, ReadingTimesLeavesThemUnchanged) {
    test::TempTree tree;
    tree.File("photo.jpg", "some bytes");
    const std::string path = tree.Text("photo.jpg");
    SetTimes(path, {946684800, 0}, {946684800, 0});  // 2000-01-01, older than any change time
    std::optional<DateTime> created;
    DateTime accessed, modified;
    ASSERT_TRUE(GetFileTimes(path, created, accessed, modified));
    ASSERT_TRUE(GetFileTimes(path, created, accessed, modified));
    struct stat info;
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_atim.tv_sec, 946684800);
    EXPECT_EQ(info.st_mtim.tv_sec, 946684800);
    EXPECT_EQ(accessed, (DateTime{2000, 1, 1, 0, 0, 0}));
}

TEST(FileTimesPosix, CreatedTimeIsTheBirthTimeWhereKept) {
    test::TempTree tree;
    tree.File("photo.jpg", "x");
    const std::string path = tree.Text("photo.jpg");
    struct statx info;
    ASSERT_EQ(::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME, &info), 0);
    std::optional<DateTime> created;
    DateTime accessed, modified;
    ASSERT_TRUE(GetFileTimes(path, created, accessed, modified));
    if ((info.stx_mask & STATX_BTIME) == 0) {
        // No birth time here, and ordinary file systems carry no ntfs-3g attribute.
        EXPECT_EQ(created, std::nullopt);
        return;
    }
    const auto expected = FileTimeFromUnixTime(info.stx_btime.tv_sec, info.stx_btime.tv_nsec);
    ASSERT_TRUE(expected);
    EXPECT_EQ(created, FileTimeToDate(*expected));
}

TEST(FileTimesPosix, LinksAndSpecialFilesFail) {
    test::TempTree tree;
    tree.File("photo.jpg", "x");
    ASSERT_EQ(::symlink(tree.Text("photo.jpg").c_str(), tree.Text("link.jpg").c_str()), 0);
    ASSERT_EQ(::symlink(tree.Text("gone.jpg").c_str(), tree.Text("dangling.jpg").c_str()), 0);
    // Reading a FIFO's times must not wait for a writer.
    ASSERT_EQ(::mkfifo(tree.Text("fifo.jpg").c_str(), 0644), 0);
    for (const char* name : {"link.jpg", "dangling.jpg", "fifo.jpg"}) {
        std::optional<DateTime> created;
        DateTime accessed, modified;
        EXPECT_FALSE(GetFileTimes(tree.Text(name), created, accessed, modified)) << name;
    }
}

}  // namespace
}  // namespace snapsift
