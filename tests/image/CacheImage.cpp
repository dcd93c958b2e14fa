// A disk image holding the caches real browsers wrote (Chromium blockfile, simple and SQL, Firefox
// cache2), Firefox's legacy cache and an old cache with its index.dat, written by the tests'
// writers, in a Windows profile: its whole scan, read straight from the image, gives the report
// kept beside this test, byte for byte.
#include <gtest/gtest.h>

#include <sys/xattr.h>

#include <fstream>
#include <regex>

#include "cache/FirefoxLegacyWriter.h"
#include "cache/IndexDatWriter.h"
#include "support/CliRun.h"
#include "support/NtfsImages.h"

namespace snapsift::test {

namespace fs = std::filesystem;

TEST(CacheImage, AWholeScanOfAProfileWithThreeBrowsersCachesGivesTheKeptReport) {
    if (const std::string skip = WhyNoNtfsVolumes(); !skip.empty()) GTEST_SKIP() << skip;
    TempTree tree;
    tree.Folder("fixtures");
    tree.Folder("m");
    tree.Folder("out");
    ASSERT_EQ(Shell("tar -xJf " + Quote(SNAPSIFT_CACHE_FIXTURES) + " -C " + Quote(tree.Text("fixtures"))), 0);
    const std::pair<const char*, const char*> caches[] = {
        {"chromium-blockfile", "Users/alice/AppData/Local/Google/Chrome/User Data/Default/Cache/Cache_Data/"},
        {"chromium-simple", "Users/alice/AppData/Local/Microsoft/Edge/User Data/Default/Cache/Cache_Data/"},
        {"firefox-cache2", "Users/alice/AppData/Local/Mozilla/Firefox/Profiles/q1w2e3r4.default-release/cache2/"},
        {"chromium-sql", "Users/alice/AppData/Local/Google/Chrome/User Data/Profile 1/Cache/Cache_Data/"}};
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& [fixture, place] : caches)
        for (const auto& entry : fs::recursive_directory_iterator(tree.Path("fixtures") / fixture))
            if (entry.is_regular_file())
                files.emplace_back(place + fs::relative(entry.path(), tree.Path("fixtures") / fixture).string(),
                                   ReadBytes(entry.path()));
    // The old cache: the same name in two folders, each with its own record, and one without.
    const std::string ie = "Users/alice/AppData/Local/Microsoft/Windows/INetCache/IE/";
    IndexDatSource index;
    index.folders = {{"ABCD1234", 1}, {"EFGH5678", 2}};
    const std::string headers = "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\n\r\n";
    index.records = {{IndexDatRecordKind::Url, "http://a.example/p/n1234567_890_123.jpg", "n1234567_890_123[1].jpg", 0, 5,
                      130433498760000000, 130433534760000000, 0, FatDateTime(2014, 4, 30, 18, 0, 0), 3, headers},
                     {IndexDatRecordKind::Url, "http://b.example/q/n1234567_890_123.jpg", "n1234567_890_123[1].jpg", 1,
                      6, 130433498760000000, 130433534760000000, 0, 0, 1, headers}};
    files.emplace_back(ie + "index.dat", WriteIndexDat(index).bytes);
    files.emplace_back(ie + "ABCD1234/n1234567_890_123[1].jpg", "first");
    files.emplace_back(ie + "EFGH5678/n1234567_890_123[1].jpg", "second");
    files.emplace_back(ie + "EFGH5678/n7654321_11_22[1].jpg", "no record");
    // Firefox's legacy cache in an XP profile, its separate files in subfolders the walk has not
    // listed when it reads them.
    for (const auto& [name, bytes] : WriteFirefoxLegacyCache(SampleLegacyCache(19)).files)
        files.emplace_back("Documents and Settings/bob/Local Settings/Application Data/Mozilla/Firefox/Profiles/c3d4.default/Cache/" +
                               name, bytes);
    const std::string image = tree.Text("volume.img");
    ASSERT_TRUE(MakeNtfsVolume(image, 16, files, tree.Text("m")));
    // Every file's times fixed (2026-12-07 16:31:12, 16:31:14, 17:00:00 UTC) for a report that stays the same.
    ASSERT_TRUE(MountNtfs(image, tree.Text("m")));
    bool timesSet = true;
    for (const auto& [path, bytes] : files) {
        const std::uint64_t times[4] = {134411346720000000, 134411346740000000, 134411364000000000,
                                        134411346720000000};
        timesSet = ::setxattr((tree.Path("m") / path).c_str(), "system.ntfs_times", times, sizeof times, 0) == 0 &&
                   timesSet;
    }
    ASSERT_TRUE(Unmount(tree.Text("m")));
    ASSERT_TRUE(timesSet);

    const CliResult run = RunCli(tree, {"--image", image, "--profiles", "--output", tree.Text("out")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    // The run's own times, program, host and user are the run's, not the image's.
    std::string report = std::regex_replace(ReadBytes(RunReport(tree.Path("out"))), std::regex(tree.RootText()), "@");
    report = std::regex_replace(report, std::regex("<b>(Run started|Run ended|Program|Host|User):</b> [^\r]*<br>"),
                                "<b>$1:</b> @<br>");
    const std::string kept = ReadBytes(SNAPSIFT_CACHE_IMAGE_REPORT);
    EXPECT_EQ(report, kept);
    if (report != kept) std::ofstream(tree.Root().parent_path() / "cache-image-report.htm", std::ios::binary) << report;
}

}  // namespace snapsift::test
