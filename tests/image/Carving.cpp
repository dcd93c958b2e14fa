// A profile's simple-cache and cache2 folders deleted from an NTFS image and their MFT records
// taken by 3,000 new small files: the photos the live caches gave come back from the unallocated
// space, each once, with its URL and the MD5 of its decoded body, and nothing else does: not a
// photo whose clusters were written over.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <tuple>

#include "image/DiskImage.h"
#include "report/CsvReport.h"
#include "support/CliRun.h"
#include "support/NtfsImages.h"
#include "support/ReportParser.h"

namespace snapsift::test {

namespace fs = std::filesystem;

namespace {

using Photo = std::tuple<std::string, std::string, std::string>;  // URL, MD5, short name

Photo PhotoOf(const ParsedEntry& entry) {
    return {entry.rows.count("Cached from") ? entry.rows.at("Cached from") : "", entry.md5, entry.name};
}

// How many times `file` lies whole in `image` from a cluster boundary on.
std::size_t WholeCopies(const std::string& image, const std::string& file) {
    std::size_t copies = 0;
    for (std::size_t at = image.find(file); at != std::string::npos; at = image.find(file, at + 1)) copies += at % 4096 == 0;
    return copies;
}

struct Scan {
    CliResult run;
    ParsedReport report;
    std::multiset<Photo> photos;
    std::size_t summed = 0;  // the entries the summary by user ID counts
};

Scan ScanImage(TempTree& tree, const std::string& image, const std::string& output, bool carve) {
    tree.Folder(output);
    std::vector<std::string> arguments = {"--image", image, "--profiles", "--include-deleted", "--output", tree.Text(output)};
    if (carve) arguments.push_back("--carve");
    Scan scan{RunCli(tree, arguments), {}, {}};
    scan.report = ParseReport(ReadBytes(RunReport(tree.Path(output))));
    for (const ParsedEntry& entry : scan.report.entries) scan.photos.insert(PhotoOf(entry));
    const auto summary = ReadCsvRows(ReadBytes(RunReport(tree.Path(output)).parent_path() / "Quorvia user IDs.csv"));
    for (std::size_t r = 1; summary && r < summary->size(); ++r) scan.summed += std::stoul((*summary)[r][1]);
    return scan;
}

}  // namespace

TEST(Carving, PhotosOfDeletedCacheFoldersComeBackFromUnallocatedSpace) {
    if (const std::string skip = WhyNoNtfsVolumes(); !skip.empty()) GTEST_SKIP() << skip;
    TempTree tree;
    tree.Folder("fixtures");
    tree.Folder("m");
    ASSERT_EQ(Shell("tar -xJf " + Quote(SNAPSIFT_CACHE_FIXTURES) + " -C " + Quote(tree.Text("fixtures"))), 0);
    // Alice clears her caches; Bob's copy of her simple cache stays.
    const std::string local = "Users/alice/AppData/Local/", bob = "Users/bob/AppData/Local/";
    const std::string edge = "Microsoft/Edge/User Data/Default/Cache/Cache_Data/";
    const std::pair<const char*, std::string> caches[] = {
        {"chromium-simple", local + edge},
        {"firefox-cache2", local + "Mozilla/Firefox/Profiles/q1w2e3r4.default-release/cache2/"},
        {"chromium-simple", bob + edge}};
    std::vector<std::pair<std::string, std::string>> files = {{"Users/alice/Documents/kept.txt", "kept"}};
    for (const auto& [fixture, place] : caches)
        for (const auto& entry : fs::recursive_directory_iterator(tree.Path("fixtures") / fixture))
            if (entry.is_regular_file())
                files.emplace_back(place + fs::relative(entry.path(), tree.Path("fixtures") / fixture).string(),
                                   ReadBytes(entry.path()));
    const std::string image = tree.Text("volume.img");
    ASSERT_TRUE(MakeNtfsVolume(image, 128, files, tree.Text("m")));
    const Scan live = ScanImage(tree, image, "live", false);
    ASSERT_EQ(live.run.exitCode, 0);
    ASSERT_GE(live.photos.size(), 5u);

    // "Clear browsing data", then new small files in the freed records.
    ASSERT_TRUE(MountNtfs(image, tree.Text("m")));
    const std::string m = Quote(tree.Text("m"));
    EXPECT_EQ(Shell("rm -rf " + m + "/" + Quote(local + "Microsoft/Edge") + " " + m + "/" + Quote(local + "Mozilla") +
                    " && mkdir " + m + "/new && cd " + m + "/new && i=0 && while [ $i -lt 3000 ]; do echo $i > f$i; "
                    "i=$((i+1)); done"),
              0);
    ASSERT_TRUE(Unmount(tree.Text("m")));
    // The first cluster of Alice's largest cache2 entry file (a photo's) written over, as a new
    // file's data would be; the rest of its file, its metadata, is left.
    const std::string& overwritten = std::ranges::max_element(files, {}, [](const auto& file) {
        return file.first.find("/cache2/entries/") != std::string::npos ? file.second.size() : 0;
    })->second;
    const std::size_t at = ReadBytes(image).find(overwritten);
    ASSERT_TRUE(at != std::string::npos && at % 4096 == 0 && overwritten.size() > 4096);
    std::fstream(image, std::ios::in | std::ios::out | std::ios::binary).seekp(static_cast<std::streamoff>(at)) << std::string(4096, 'w');
    // Bob's photos, and Alice's whose entry file still lies whole in the image, in one piece from a
    // cluster boundary, besides Bob's copy: some are overwritten as the file system grows its own files.
    const std::string after = ReadBytes(image);
    std::set<std::string> whole;  // their files' names
    for (const auto& laid : files) {
        const auto copies =
            std::ranges::count_if(files, [&](const auto& file) { return file.first.starts_with(bob) && file.second == laid.second; });
        if (laid.first.starts_with(local) && WholeCopies(after, laid.second) > static_cast<std::size_t>(copies))
            whole.insert(laid.first.substr(laid.first.rfind('/') + 1));
    }
    std::multiset<Photo> bobs, recoverable;
    for (const ParsedEntry& entry : live.report.entries)
        if (entry.path.find("\\bob\\") != std::string::npos) bobs.insert(PhotoOf(entry));
        else if (whole.contains(entry.path.substr(entry.path.rfind('\\') + 1))) recoverable.insert(PhotoOf(entry));
    ASSERT_GE(bobs.size(), 5u);
    EXPECT_GE(recoverable.size(), live.photos.size() / 3);
    EXPECT_EQ(WholeCopies(after, overwritten), 0u);
    recoverable.insert(bobs.begin(), bobs.end());

    // The same through an E01 of the image.
    const bool ewf = Shell("cd " + Quote(tree.RootText()) + " && ewfacquire -u -q -t case -c fast volume.img >/dev/null 2>&1") == 0;
    const struct {
        std::string image;
        bool carve;
        const std::multiset<Photo>& photos;
    } rows[] = {{"volume.img", false, bobs}, {"volume.img", true, recoverable}, {"case.E01", true, recoverable}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.image + (row.carve ? " carved" : ""));
        if (row.image == "case.E01" && !ewf) GTEST_SKIP() << "no ewfacquire";
        const Scan scan = ScanImage(tree, tree.Text(row.image), "out-" + std::to_string(&row - rows), row.carve);
        EXPECT_EQ(scan.run.exitCode, 0);
        EXPECT_EQ(scan.photos, row.photos);
        EXPECT_EQ(scan.summed, scan.report.entries.size());  // the carved entries summed up with the rest
        // The run says what it searched, and how many photos came from where no file is.
        EXPECT_EQ(scan.report.runFacts.find("unallocated space searched for deleted cache entries") != std::string::npos, row.carve);
        const std::string recovered = "Of them recovered from unallocated space: " + std::to_string(recoverable.size() - bobs.size());
        EXPECT_EQ(scan.run.out.find(recovered) != std::string::npos, row.carve) << scan.run.out;
        // A carved entry says so, and names Bob's entry of the same photo in the same cache format.
        for (const ParsedEntry& entry : scan.report.entries) {
            SCOPED_TRACE(entry.path);
            const bool carved = entry.path.starts_with(row.image + ", unallocated space, byte offset ");
            EXPECT_EQ(std::tuple(carved || entry.path.find("\\bob\\") != std::string::npos,
                                 entry.status.find("recovered from unallocated space") != std::string::npos,
                                 entry.status.find("a copy of entry") != std::string::npos),
                      std::tuple(true, carved, carved && entry.rows.at("Cache") == "Chromium simple cache"));
        }
    }
}

// The walk hands each run of unallocated clusters over once, in order, whatever the window and
// however much of it the reader takes each time: the bytes it gives are those at their offset.
TEST(Carving, TheWalkGivesEachUnallocatedClusterOnceWhateverTheWindow) {
    if (const std::string skip = WhyNoNtfsVolumes(); !skip.empty()) GTEST_SKIP() << skip;
    TempTree tree;
    tree.Folder("m");
    std::vector<std::pair<std::string, std::string>> files;
    for (int i = 0; i < 6; ++i) files.emplace_back("f" + std::to_string(i), std::string(40000 + i * 9000, char('a' + i)));
    const std::string image = tree.Text("volume.img");
    ASSERT_TRUE(MakeNtfsVolume(image, 8, files, tree.Text("m")));
    ASSERT_TRUE(MountNtfs(image, tree.Text("m")));
    ASSERT_EQ(Shell("rm " + Quote(tree.Text("m/f1")) + " " + Quote(tree.Text("m/f4"))), 0);
    ASSERT_TRUE(Unmount(tree.Text("m")));
    const std::string bytes = ReadBytes(image);
    std::string problem;
    const std::unique_ptr<DiskImage> disk = DiskImage::Open(image, problem);
    ASSERT_TRUE(disk) << problem;

    // Each cluster the reader is done with, by number, with its bytes; at a run's end, all of it.
    using Taken = std::vector<std::pair<std::uint64_t, std::string>>;
    const auto walk = [&](std::size_t windowClusters, std::size_t takeClusters, Taken& taken) {
        return disk->WalkUnallocated(1, windowClusters * 4096, [&](const UnallocatedWindow& window) -> std::size_t {
            EXPECT_EQ(std::tuple(window.clusterSize, window.bytes.size() % 4096, window.imageOffset),
                      std::tuple(4096u, 0u, window.firstCluster * 4096));
            const std::size_t clusters = window.bytes.size() / 4096, take = window.runEnds ? clusters : std::min(takeClusters, clusters);
            for (std::size_t i = 0; i < std::max<std::size_t>(take, 1); ++i) {
                taken.emplace_back(window.firstCluster + i,
                                   std::string(reinterpret_cast<const char*>(window.bytes.data()) + i * 4096, 4096));
                EXPECT_EQ(taken.back().second, bytes.substr(window.imageOffset + i * 4096, 4096));
            }
            return take * 4096;
        }, {});
    };
    Taken whole;
    const UnallocatedWalk all = walk(1 << 16, 0, whole);
    EXPECT_EQ(std::pair(all.failure, all.bytesRead), std::pair(std::string(), whole.size() * 4096));
    // The deleted files' clusters are among them.
    const auto deleted = [](const auto& taken) { return taken.second == std::string(4096, 'b') || taken.second == std::string(4096, 'e'); };
    EXPECT_GE(std::ranges::count_if(whole, deleted), (49000 + 76000) / 4096 - 2);
    const std::pair<std::size_t, std::size_t> rows[] = {{8, 3}, {8, 8}, {8, 0}, {1, 1}, {3, 2}};  // window, clusters taken
    for (const auto& [windowClusters, takeClusters] : rows) {
        SCOPED_TRACE(std::to_string(windowClusters) + " clusters, " + std::to_string(takeClusters) + " taken");
        Taken taken;
        EXPECT_EQ(walk(windowClusters, takeClusters, taken).bytesRead, all.bytesRead);
        EXPECT_EQ(taken, whole);
    }
}

}  // namespace snapsift::test
