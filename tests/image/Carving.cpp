// A profile's simple-cache and cache2 folders deleted from an NTFS image and their MFT records
// taken by new small files: the photos the live caches gave come back from the unallocated
// space, each once, with its URL and the MD5 of its decoded body, and nothing else does.
#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "support/CliRun.h"
#include "support/NtfsImages.h"
#include "support/ReportParser.h"

namespace snapsift::test {

namespace fs = std::filesystem;

namespace {

using Photo = std::tuple<std::string, std::string, std::string>;  // URL, MD5, short name

struct Scan {
    int exitCode = -1;
    std::multiset<Photo> photos;
    std::vector<ParsedEntry> entries;
};

Photo PhotoOf(const ParsedEntry& entry) {
    return {entry.rows.count("Cached from") ? entry.rows.at("Cached from") : "", entry.md5, entry.name};
}

// Whether `file` lies whole in `image` from a cluster boundary on.
bool LiesWhole(const std::string& image, const std::string& file) {
    for (std::size_t at = image.find(file); at != std::string::npos; at = image.find(file, at + 1))
        if (at % 4096 == 0) return true;
    return false;
}

Scan ScanImage(TempTree& tree, const std::string& image, const std::string& output, bool carve) {
    tree.Folder(output);
    std::vector<std::string> arguments = {"--image", image, "--profiles", "--include-deleted", "--output", tree.Text(output)};
    if (carve) arguments.push_back("--carve");
    const CliResult run = RunCli(tree, arguments);
    Scan scan;
    scan.exitCode = run.exitCode;
    scan.entries = ParseReport(ReadBytes(RunReport(tree.Path(output)))).entries;
    for (const ParsedEntry& entry : scan.entries) scan.photos.insert(PhotoOf(entry));
    return scan;
}

}  // namespace

TEST(Carving, PhotosOfDeletedCacheFoldersComeBackFromUnallocatedSpace) {
    if (const std::string skip = WhyNoNtfsVolumes(); !skip.empty()) GTEST_SKIP() << skip;
    TempTree tree;
    tree.Folder("fixtures");
    tree.Folder("m");
    ASSERT_EQ(Shell("tar -xJf " + Quote(SNAPSIFT_CACHE_FIXTURES) + " -C " + Quote(tree.Text("fixtures"))), 0);
    const std::string local = "Users/alice/AppData/Local/";
    const std::pair<const char*, std::string> caches[] = {
        {"chromium-simple", local + "Microsoft/Edge/User Data/Default/Cache/Cache_Data/"},
        {"firefox-cache2", local + "Mozilla/Firefox/Profiles/q1w2e3r4.default-release/cache2/"}};
    std::vector<std::pair<std::string, std::string>> files = {{"Users/alice/Documents/kept.txt", "kept"}};
    for (const auto& [fixture, place] : caches)
        for (const auto& entry : fs::recursive_directory_iterator(tree.Path("fixtures") / fixture))
            if (entry.is_regular_file())
                files.emplace_back(place + fs::relative(entry.path(), tree.Path("fixtures") / fixture).string(),
                                   ReadBytes(entry.path()));
    const std::string image = tree.Text("volume.img");
    ASSERT_TRUE(MakeNtfsVolume(image, 32, files, tree.Text("m")));
    const Scan live = ScanImage(tree, image, "live", false);
    ASSERT_EQ(live.exitCode, 0);
    ASSERT_GE(live.photos.size(), 5u);

    // "Clear browsing data", then new small files in the freed records.
    ASSERT_TRUE(MountNtfs(image, tree.Text("m")));
    const std::string m = Quote(tree.Text("m"));
    EXPECT_EQ(Shell("rm -rf " + m + "/" + Quote(local + "Microsoft/Edge") + " " + m + "/" + Quote(local + "Mozilla") +
                    " && mkdir " + m + "/new && cd " + m + "/new && i=0 && while [ $i -lt 60 ]; do echo $i > f$i; "
                    "i=$((i+1)); done"),
              0);
    ASSERT_TRUE(Unmount(tree.Text("m")));
    // The photos whose entry file still lies whole in the image, in one piece from a cluster
    // boundary: some are overwritten as the file system grows its own files.
    const std::string after = ReadBytes(image);
    std::multiset<Photo> recoverable;
    for (const ParsedEntry& entry : live.entries) {
        const std::string name = entry.path.substr(entry.path.rfind('\\') + 1);
        for (const auto& [path, bytes] : files)
            if (path.ends_with("/" + name) && LiesWhole(after, bytes)) recoverable.insert(PhotoOf(entry));
    }
    EXPECT_GE(recoverable.size(), live.photos.size() / 2);

    struct Row {
        const char* what;
        bool carve;
        std::multiset<Photo> photos;
    };
    const Row rows[] = {{"the file system alone", false, {}}, {"its unallocated space too", true, recoverable}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const Scan scan = ScanImage(tree, image, std::string("out-") + (row.carve ? "carved" : "files"), row.carve);
        EXPECT_EQ(scan.exitCode, 0);
        EXPECT_EQ(scan.photos, row.photos);
        for (const ParsedEntry& entry : scan.entries) {
            EXPECT_TRUE(entry.path.starts_with("volume.img, unallocated space, byte offset ")) << entry.path;
            EXPECT_NE(entry.status.find("recovered from unallocated space"), std::string::npos) << entry.status;
        }
    }
}

}  // namespace snapsift::test
