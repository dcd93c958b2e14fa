#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <thread>

#include "Fixtures.h"
#include "hash/MD5.h"
#include "platform/EvidenceFile.h"
#include "text/DateTime.h"
#include "platform/LocaleText.h"
#include "platform/ThreadWaits.h"

namespace snapsift::test {

bool SetFileTimesUtc(const fs::path& path) {
    const timespec times[2] = {{kAccessedAt, 0}, {kModifiedAt, 0}};
    return utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

std::optional<DateTime> CreatedAt(const std::string& path) {
    struct statx info {};
    if (statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BTIME, &info) != 0 || !(info.stx_mask & STATX_BTIME))
        return std::nullopt;
    const time_t seconds = info.stx_btime.tv_sec;
    tm t{};
    gmtime_r(&seconds, &t);
    return DateTime{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

bool UsDateForms() { return true; }

TEST_F(ScanRunTest, DocumentsAndSettingsLinkedToUsersIsWalkedOnce) {
    host.profileMode = true;
    host.driveRoot = tree.Text("drive");
    const Row row = AddFile("drive/Users/alice/n12345_67[1].jpg", "12345");
    fs::create_directory_symlink("Users", tree.Path("drive/Documents and Settings"));
    RunAndCheck({row});
}

// Every time stamp of each file to the nanosecond; the access times older than the modified
// times, as a relatime mount would update on any read (as the plain reads at the end show).
TEST_F(ScanRunTest, TheSourceTreeIsLeftExactlyAsItWas) {
    const Paths files = {"src/n12345_67[1].jpg", "src/a/1111_222_333_444_555_n[1].jpg", "src/a/b/photo.jpg"};
    const auto stamps = [&] {
        std::string text;
        for (const std::string& file : files) {
            struct stat info {};
            lstat(tree.Text(file).c_str(), &info);
            for (const timespec& t : {info.st_atim, info.st_mtim, info.st_ctim})
                text += std::to_string(t.tv_sec) + "." + std::to_string(t.tv_nsec) + " ";
        }
        return text;
    };
    for (const std::string& file : files) ASSERT_TRUE(SetFileTimesUtc(FromText(AddFile(file, "1", kAlphabet).path)));
    const std::string before = stamps();
    EXPECT_EQ(Run().outcome, ScanOutcome::Completed);
    EXPECT_EQ(stamps(), before);
    for (const std::string& file : files) EXPECT_EQ(ReadBytes(tree.Path(file)), kAlphabet.bytes);
    if (stamps() == before) GTEST_SKIP() << "no access times here";
}

// photo.jpg ("abc"), a FIFO, a link to the FIFO and a link to the photo; a call that blocks
// ends the test program rather than hanging it.
class EvidencePosix : public ::testing::Test {
protected:
    void SetUp() override {
        tree.File("photo.jpg", "abc");
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
        ASSERT_EQ(::symlink(fifo.c_str(), tree.Text("link").c_str()), 0);
        ASSERT_EQ(::symlink(photo.c_str(), alias.c_str()), 0);
        ::alarm(20);
    }
    void TearDown() override { ::alarm(0); }
    bool Times(const std::string& path) {
        EvidenceFile file;
        return file.Open(path) && file.Times(created, accessed, modified);
    }
    TempTree tree;
    const std::string photo = tree.Text("photo.jpg"), fifo = tree.Text("fifo"), alias = tree.Text("alias.jpg");
    std::optional<DateTime> created;
    DateTime accessed, modified;
};

// Nothing is read from a FIFO, a device or a link, by path or in a listed folder; a link has no
// times of its own.
TEST_F(EvidencePosix, FifosDevicesAndLinksAreRefusedWithoutBlocking) {
    DirectoryListing folder;
    ASSERT_TRUE(folder.OpenRoot(tree.RootText() + "/"));
    for (const std::string& from : {fifo, tree.Text("link"), alias, std::string("/dev/zero")}) {
        EvidenceFile file;
        EXPECT_EQ(std::tuple(MD5().DigestFileToHexStr(from), Times(from), file.Open(folder, from.substr(from.rfind('/') + 1), from)),
                  std::tuple(MD5::kFileFailureText, false, false)) << from;
    }
    EXPECT_TRUE(std::filesystem::is_fifo(tree.Path("fifo")));
}

// Accessed 2011-02-03 04:05:06.999, modified 2010-01-05 07:03:09.750 UTC, read in New Zealand.
TEST_F(EvidencePosix, KnownTimesInUtcInAnyTimeZone) {
    const timespec times[2] = {{1296705906, 999'000'000}, {1262674989, 750'000'000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, photo.c_str(), times, 0), 0);
    const std::string saved = std::getenv("TZ") != nullptr ? std::getenv("TZ") : "";
    ::setenv("TZ", "NZST-12NZDT,M9.5.0,M4.1.0/3", 1);
    ::tzset();
    const bool read = Times(photo);
    saved.empty() ? ::unsetenv("TZ") : ::setenv("TZ", saved.c_str(), 1);
    ::tzset();
    EXPECT_EQ(std::tuple(read, modified, accessed), std::tuple(true, DateTime{2010, 1, 5, 7, 3, 9}, DateTime{2011, 2, 3, 4, 5, 6}));
}

// Links to a file, to a folder, to the parent and to nothing, and a FIFO: passed over below the
// root; a root that is a link is walked.
TEST(LinksPosix, OnlyTheRootMayBeALink) {
    TempTree tree;
    tree.Entries({{"Real/n11111_11[1].jpg", ""}, {"Elsewhere/n22222_22[1].jpg", ""}});
    const std::pair<std::string, std::string> links[] = {  // target, link
        {tree.Text("Real/n11111_11[1].jpg"), "n33333_33[1].jpg"}, {tree.Text("Elsewhere"), "Real/Linked"},
        {"..", "Real/Loop"}, {tree.Text("gone.jpg"), "n44444_44[1].jpg"}};
    for (const auto& [target, at] : links) ASSERT_EQ(::symlink(target.c_str(), tree.Text(at).c_str()), 0);
    ASSERT_EQ(::mkfifo(tree.Text("n55555_55[1].jpg").c_str(), 0644), 0);
    const std::pair<std::string, Paths> roots[] = {
        {tree.RootText(), {tree.Text("Elsewhere/n22222_22[1].jpg"), tree.Text("Real/n11111_11[1].jpg")}},
        {tree.Text("Real/Linked"), {tree.Text("Real/Linked/n22222_22[1].jpg")}}};
    for (const auto& [root, files] : roots) {
        WalkRun run;
        run.walk.SearchFolderTree(root);
        std::ranges::sort(run.host.shownPaths);
        EXPECT_EQ(run.host.shownPaths, files) << root;
    }
}

// The United States forms in the C locale, and as the fallback of a locale that is not installed.
TEST(LocaleTextPosix, TheCLocaleAndAMissingOneWriteTheUnitedStatesForms) {
    for (const char* locale : {"C", "xx_NOWHERE.UTF-8"}) {
        setenv("LC_ALL", locale, 1);
        UseUserLocale();
        EXPECT_EQ(std::tuple(FormatReportDateTime({2010, 3, 15, 14, 5, 9}), FormatReportDateTime({2010, 1, 5, 0, 0, 1}),
                             FormatReportDateTime({2010, 3, 5, 0, 0, 0}), OutputFolderStamp({2010, 3, 5, 9, 7, 3}, MonthAbbreviation(3))),
                  std::tuple("3/15/2010 2:05:09 PM", "1/5/2010 12:00:01 AM", "3/5/2010", "Mar 05, 2010 - 090703")) << locale;
    }
    setenv("LC_ALL", "C", 1);  // as the other tests expect
    UseUserLocale();
}

// The walk tells a disk that keeps it waiting from a busy processor by this count: a sleep adds
// to it, a thread that only computes (preempted or not) leaves it as it was.
TEST(ThreadWaitsPosix, SleepsCountAndComputingDoesNot) {
    const auto before = WaitsOfThisThread();
    ASSERT_TRUE(before.has_value());
    volatile std::uint64_t sum = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(20);
    while (std::chrono::steady_clock::now() < until) sum = sum + 1;
    EXPECT_EQ(WaitsOfThisThread(), before);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_GT(WaitsOfThisThread().value_or(0), *before);
}

}  // namespace snapsift::test
